#include "engine/conversions.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <limits>

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

bool is_digit(char c, bool hex) {
  if (c >= '0' && c <= '9') return true;
  return hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
}

bool same_letters(const char* p, const char* end, const char* word) {
  for (; *word; ++p, ++word)
    if (p == end || (*p | 0x20) != *word) return false;
  return p == end;
}

// wcstod's NAN or NAN(n-char-sequence), whole.
bool is_nan_text(const char* p, const char* end) {
  if (end - p < 3 || !same_letters(p, p + 3, "nan")) return false;
  p += 3;
  if (p == end) return true;
  if (*p != '(' || end[-1] != ')') return false;
  for (++p; p < end - 1; ++p)
    if (!is_digit(*p, false) && !((*p | 0x20) >= 'a' && (*p | 0x20) <= 'z') && *p != '_')
      return false;
  return true;
}

// The number after its sign (and after 0x for hex) in wcstod's grammar:
// digits with at most one point, at least one digit, then optionally an
// exponent (e for decimal, p for hex) with an optional sign and at least one
// decimal digit. On success tells where the value lies: its leading digit's
// place plus the exponent, in decimal digits or in bits.
bool number_shape(const char* p, const char* end, bool hex, long long& order) {
  bool point = false, any = false, significant = false;
  long long int_digits = 0, zeros_after_point = 0;
  for (; p < end; ++p) {
    if (*p == '.' && !point) {
      point = true;
    } else if (is_digit(*p, hex)) {
      any = true;
      if (*p != '0') significant = true;
      if (!point && significant) ++int_digits;
      if (point && !significant && int_digits == 0) ++zeros_after_point;
    } else {
      break;
    }
  }
  if (!any) return false;
  long long exponent = 0;
  if (p < end && (*p | 0x20) == (hex ? 'p' : 'e')) {
    ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end) return false;
    for (; p < end && is_digit(*p, false); ++p)
      if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
    if (negative) exponent = -exponent;
  }
  if (p != end) return false;
  // Place of the first significant digit, 0 = units.
  const long long lead = int_digits > 0 ? int_digits - 1 : -(zeros_after_point + 1);
  order = (hex ? 4 * lead : lead) + exponent;
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
  T value{};
  if (same_letters(p, end, "inf") || same_letters(p, end, "infinity")) {
    value = std::numeric_limits<T>::infinity();
  } else if (is_nan_text(p, end)) {
    value = std::numeric_limits<T>::quiet_NaN();
  } else {
    const bool hex = end - p > 2 && p[0] == '0' && (p[1] | 0x20) == 'x';
    if (hex) p += 2;
    long long order = 0;
    if (!number_shape(p, end, hex, order)) return false;
    const auto result =
        std::from_chars(p, end, value, hex ? std::chars_format::hex : std::chars_format::general);
    if (result.ptr != end) return false;
    if (result.ec == std::errc::result_out_of_range) {
      // Like wcstod: a value too large gives infinity, one too small zero;
      // which one it is follows from where its leading digit lies.
      value = order >= 0 ? std::numeric_limits<T>::infinity() : T(0);
    } else if (result.ec != std::errc()) {
      return false;
    }
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
