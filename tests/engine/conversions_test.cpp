// The three conversions against the C library's own, over a generated table
// of forms: signs, white space, decimal and hexadecimal numbers with and
// without exponents at the edges of both precisions, infinities, NaNs,
// malformed exponents and trailing junk.
#include "engine/conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace fulgora {
namespace {

#ifdef _WIN32
// msvcrt's wcstod knows no hexadecimal, infinity or NaN forms; mingw-w64's
// C99 conversion is the standard's wcstod that the settings follow. Its
// NAN(...) takes characters C does not allow ("nan(-)") and gives payloads
// their own sign; C leaves payloads to the library, so those forms are
// compared against glibc only.
double c_wcstod(const wchar_t* s, wchar_t** end) { return __mingw_wcstod(s, end); }
float c_wcstof(const wchar_t* s, wchar_t** end) { return __mingw_wcstof(s, end); }
constexpr bool compare_nan_payloads = false;
#else
double c_wcstod(const wchar_t* s, wchar_t** end) { return std::wcstod(s, end); }
float c_wcstof(const wchar_t* s, wchar_t** end) { return std::wcstof(s, end); }
constexpr bool compare_nan_payloads = true;
#endif

std::wstring widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::vector<std::wstring> real_forms() {
  const std::string signs[] = {"", "+", "-", " ", "\t-", "+-", "- "};
  const std::string zeros45(45, '0'), zeros50(50, '0');
  const std::string decimals[] = {"0",
                                  "1",
                                  "12",
                                  "1.5",
                                  ".5",
                                  "5.",
                                  ".",
                                  "007",
                                  "0.000",
                                  "1" + zeros45,
                                  "0." + zeros50 + "1",
                                  "123456789012345678901234567890",
                                  "3.4028235",
                                  "3.4028236",
                                  "1.17549435",
                                  "1.4012984",
                                  "0.7006",
                                  "2.2250738585072014",
                                  "4.9406564584124654",
                                  "2.4703282292062328",
                                  "0.1",
                                  ""};
  const std::string exponents[] = {
      "",      "e0",   "e5",   "E-5",  "e-1",   "e+38",  "e39",          "e-38",
      "e-45",  "e-46", "e308", "e309", "e-308", "e-324", "e-330",        "e400",
      "e-400", "e",    "e+",   "e-",   "e+-3",  "e1.5",  "e99999999999", "e-99999999999"};
  const std::string hexes[] = {"0x1",  "0X1",  "0x",   "0x.", "0x.8",     "0x1.8",           "0xA",
                               "0xfF", "0x-1", "0x+1", "0xg", "0x0.0001", "0x1fffffffffffff"};
  const std::string hex_exponents[] = {"",       "p3",     "P-3",    "p+3",   "p+-3",  "p",
                                       "p-1074", "p-1075", "p-1080", "p1023", "p1024", "p128",
                                       "p-149",  "p-150",  "p127",   "p-126", "e3"};
  const std::string specials[] = {"inf",   "INF",    "Infinity", "infinit",  "infinityx",
                                  "nan",   "NaN",    "nan()",    "nan(123)", "nan(abc_XYZ)",
                                  "nan(",  "nan(-)", "nanx",     "0x-inf",   "0Xnan",
                                  "0xinf", "-0x-1"};
  const std::string suffixes[] = {"", " ", "x"};
  std::vector<std::string> bodies;
  for (const auto& d : decimals)
    for (const auto& e : exponents) bodies.push_back(d + e);
  for (const auto& h : hexes)
    for (const auto& e : hex_exponents) bodies.push_back(h + e);
  for (const auto& s : specials) bodies.push_back(s);
  std::vector<std::wstring> forms;
  for (const auto& sign : signs)
    for (const auto& body : bodies)
      for (const auto& suffix : suffixes) forms.push_back(widen(sign + body + suffix));
  return forms;
}

template <typename T>
bool same_value(T a, T b) {
  if (std::isnan(a) || std::isnan(b))
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Accepted exactly when the library consumes the whole text, with its value.
template <typename T>
int mismatches(const std::vector<std::wstring>& forms, bool (*ours)(const wchar_t*, T&),
               T (*library)(const wchar_t*, wchar_t**), const char* name) {
  int wrong = 0;
  for (const std::wstring& form : forms) {
    if (!compare_nan_payloads && form.find(L"nan(") != std::wstring::npos) continue;
    wchar_t* end = nullptr;
    const T expected = library(form.c_str(), &end);
    const bool expected_ok = end != form.c_str() && *end == 0;
    T got = T(-12345);
    const bool ok = ours(form.c_str(), got);
    if (ok != expected_ok || (ok && !same_value(got, expected))) {
      if (++wrong <= 10)
        ADD_FAILURE() << name << " \"" << std::string(form.begin(), form.end()) << "\": ours "
                      << (ok ? "accepts " : "rejects ") << got << ", the library "
                      << (expected_ok ? "accepts " : "rejects ") << expected;
    }
  }
  return wrong;
}

// The settings' whole numbers saturate at the 32-bit limits.
int32_t c_wcstoi(const wchar_t* s, wchar_t** end) {
  const long v = std::wcstol(s, end, 10);
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

TEST(conversions, agree_with_the_c_library_over_a_generated_table) {
  const std::vector<std::wstring> reals = real_forms();
  ASSERT_GT(reals.size(), 10000u);
  EXPECT_EQ(mismatches<double>(reals, parse_double, c_wcstod, "double"), 0);
  EXPECT_EQ(mismatches<float>(reals, parse_float, c_wcstof, "float"), 0);

  const std::string signs[] = {"", "+", "-", " ", " -", "+-"};
  const std::string digits[] = {
      "0",          "1",          "007",         "2147483647",
      "2147483648", "4294967296", "99999999999", "99999999999999999999999",
      "0x10",       "1.0",        "1e3",         ""};
  std::vector<std::wstring> ints;
  for (const auto& sign : signs)
    for (const auto& d : digits)
      for (const auto& suffix : {"", " ", "x"}) ints.push_back(widen(sign + d + suffix));
  EXPECT_EQ(mismatches<int32_t>(ints, parse_int, c_wcstoi, "int"), 0);
}

}  // namespace
}  // namespace fulgora
