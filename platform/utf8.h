// The component's one conversion between UTF-8 and the system's wide text
// (UTF-16 on Windows, UTF-32 elsewhere). Plain code, no system call: any
// thread; allocates the result only.
#pragma once

#include <cstddef>
#include <string>

namespace fulgora {

// A malformed sequence or a lone surrogate becomes U+FFFD, as the Windows
// conversions do.
std::string utf8_of(const wchar_t* text, size_t length);
inline std::string utf8_of(const std::wstring& text) { return utf8_of(text.data(), text.size()); }
std::wstring wide_of(const std::string& utf8);

// Strict: false, with out undefined, at the first malformed sequence (the
// settings file's bytes are then read as another encoding).
bool decode_utf8(const char* bytes, size_t size, std::wstring& out);

}  // namespace fulgora
