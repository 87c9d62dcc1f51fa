// The three conversions against the C library's wcstod, wcstof and wcstol:
// accepted exactly when the library uses the whole text, with the same value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "engine/conversions.h"

namespace {

// Bytes become characters that numbers are made of, so the fuzzer spends
// its time on forms the conversions may accept.
const char alphabet[] = "0123456789+-.eEpPxXaAbBcCdDfFiInNtTyY()_ \t\x01\xe9";

template <typename T>
bool same(T a, T b) {
  if (std::isnan(a) || std::isnan(b))
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

[[noreturn]] void mismatch(const char* what, const std::wstring& text) {
  std::fprintf(stderr, "%s differs from the C library on \"%ls\"\n", what, text.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fulgora;
  std::wstring text;
  for (size_t i = 0; i < size && text.size() < 255; ++i)
    text +=
        static_cast<wchar_t>(static_cast<unsigned char>(alphabet[data[i] % (sizeof alphabet - 1)]));
  const wchar_t* s = text.c_str();
  wchar_t* end = nullptr;

  const double d_ref = std::wcstod(s, &end);
  const bool d_ok = end != s && *end == 0;
  double d = 0;
  const bool d_ours = parse_double(s, d);
  if (d_ours != d_ok || (d_ok && !same(d, d_ref))) mismatch("double", text);

  const float f_ref = std::wcstof(s, &end);
  const bool f_ok = end != s && *end == 0;
  float f = 0;
  const bool f_ours = parse_float(s, f);
  if (f_ours != f_ok || (f_ok && !same(f, f_ref))) mismatch("float", text);

  long l_ref = std::wcstol(s, &end, 10);
  const bool l_ok = end != s && *end == 0;
  l_ref = l_ref > INT32_MAX ? INT32_MAX : l_ref < INT32_MIN ? INT32_MIN : l_ref;
  int32_t l = 0;
  const bool l_ours = parse_int(s, l);
  if (l_ours != l_ok || (l_ok && l != l_ref)) mismatch("int", text);
  return 0;
}
