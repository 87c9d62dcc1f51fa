// The number forms of the settings file: conversions of one value's text,
// true only when the whole text was used. Decimal point whatever the locale;
// integers saturate at the 32-bit range. Any thread; no allocation.
#pragma once

#include <cstdint>

namespace fulgora {

bool parse_int(const wchar_t* text, int32_t& out);
bool parse_double(const wchar_t* text, double& out);
bool parse_float(const wchar_t* text, float& out);

}  // namespace fulgora
