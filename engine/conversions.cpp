#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <limits>

#include "engine/led_settings.h"

namespace fulgora {
namespace {

const wchar_t* skip_space(const wchar_t* p) {
  while (*p != 0 && std::iswspace(static_cast<wint_t>(*p))) ++p;
  return p;
}

// Narrows the number's text to ASCII; false if any character is not ASCII
// (it could not be part of a number, so the text would not be used whole).
bool narrow(const wchar_t* p, char* out, size_t size, size_t& length) {
  length = 0;
  for (; *p != 0; ++p) {
    if (static_cast<unsigned long>(*p) > 0x7f || length + 1 >= size) return false;
    out[length++] = static_cast<char>(*p);
  }
  out[length] = 0;
  return true;
}

// wcstod's syntax, but with the point as decimal separator in every locale.
template <typename T>
bool parse_real(const wchar_t* text, T& out) {
  char buffer[512];
  size_t length = 0;
  if (!narrow(skip_space(text), buffer, sizeof buffer, length)) return false;
  const char* p = buffer;
  const char* end = buffer + length;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
  if (p == end || *p == '+' || *p == '-') return false;
  std::chars_format format = std::chars_format::general;
  if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    format = std::chars_format::hex;
    p += 2;
  }
  T value{};
  const auto result = std::from_chars(p, end, value, format);
  if (result.ptr != end) return false;
  if (result.ec == std::errc::result_out_of_range) {
    // Like wcstod: overflow gives infinity, underflow zero.
    const char* exponent = nullptr;
    for (const char* q = p; q < end; ++q)
      if (*q == 'e' || *q == 'E' || *q == 'p' || *q == 'P') exponent = q;
    const bool tiny = exponent != nullptr && exponent + 1 < end && exponent[1] == '-';
    value = tiny ? T(0) : std::numeric_limits<T>::infinity();
  } else if (result.ec != std::errc()) {
    return false;
  }
  out = negative ? -value : value;
  return true;
}

}  // namespace

bool parse_int(const wchar_t* text, int32_t& out) {
  wchar_t* end = nullptr;
  errno = 0;
  long value = std::wcstol(text, &end, 10);
  if (end == text || *end != 0) return false;
  // long is 32 bits on Windows and 64 on Linux: saturate the same way on both.
  if (value > INT32_MAX) value = INT32_MAX;
  if (value < INT32_MIN) value = INT32_MIN;
  out = static_cast<int32_t>(value);
  return true;
}

bool parse_double(const wchar_t* text, double& out) { return parse_real(text, out); }
bool parse_float(const wchar_t* text, float& out) { return parse_real(text, out); }

}  // namespace fulgora
