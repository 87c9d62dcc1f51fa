#include "platform/utf8.h"

namespace fulgora {
namespace {

constexpr unsigned long replacement = 0xfffd;

bool is_surrogate(unsigned long cp) { return cp >= 0xd800 && cp <= 0xdfff; }

// The code point at bytes[i]; its length in n. False, with n = 1, when the
// sequence there is malformed (overlong, a surrogate, beyond U+10FFFF, cut).
bool next_code_point(const unsigned char* p, size_t size, size_t i, unsigned long& cp, size_t& n) {
  const unsigned c = p[i];
  size_t extra = 0;
  n = 1;
  if (c < 0x80) {
    cp = c;
    return true;
  } else if ((c & 0xe0) == 0xc0 && c >= 0xc2) {
    extra = 1;
    cp = c & 0x1f;
  } else if ((c & 0xf0) == 0xe0) {
    extra = 2;
    cp = c & 0x0f;
  } else if ((c & 0xf8) == 0xf0 && c <= 0xf4) {
    extra = 3;
    cp = c & 0x07;
  } else {
    return false;
  }
  if (i + extra >= size) return false;
  for (size_t k = 1; k <= extra; ++k) {
    const unsigned d = p[i + k];
    if ((d & 0xc0) != 0x80) return false;
    cp = (cp << 6) | (d & 0x3f);
  }
  if ((extra == 2 && (cp < 0x800 || is_surrogate(cp))) ||
      (extra == 3 && (cp < 0x10000 || cp > 0x10ffff)))
    return false;
  n = 1 + extra;
  return true;
}

void append_utf8(std::string& out, unsigned long c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xe0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
}

// A surrogate pair where wchar_t is 16 bits.
void append_code_point(std::wstring& out, unsigned long cp) {
  if (sizeof(wchar_t) == 2 && cp > 0xffff) {
    cp -= 0x10000;
    out += static_cast<wchar_t>(0xd800 + (cp >> 10));
    out += static_cast<wchar_t>(0xdc00 + (cp & 0x3ff));
  } else {
    out += static_cast<wchar_t>(cp);
  }
}

}  // namespace

std::string utf8_of(const wchar_t* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    unsigned long c = static_cast<unsigned long>(text[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xd800 && c <= 0xdbff && i + 1 < length) {
      const unsigned long low = static_cast<unsigned long>(text[i + 1]);
      if (low >= 0xdc00 && low <= 0xdfff) {
        c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
        ++i;
      }
    }
    append_utf8(out, is_surrogate(c) || c > 0x10ffff ? replacement : c);
  }
  return out;
}

std::wstring wide_of(const std::string& utf8) {
  std::wstring out;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  for (size_t i = 0, n = 0; i < utf8.size(); i += n) {
    unsigned long cp = 0;
    append_code_point(out, next_code_point(p, utf8.size(), i, cp, n) ? cp : replacement);
  }
  return out;
}

bool decode_utf8(const char* bytes, size_t size, std::wstring& out) {
  out.clear();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  for (size_t i = 0, n = 0; i < size; i += n) {
    unsigned long cp = 0;
    if (!next_code_point(p, size, i, cp, n)) return false;
    append_code_point(out, cp);
  }
  return true;
}

}  // namespace fulgora
