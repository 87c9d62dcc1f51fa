// Our INI reader on any bytes: it must answer every key with a terminated
// value that fits the buffer, and never read or write outside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fulgora;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<ini_section> sections = parse_ini(decode_ini_text(bytes));
  const wchar_t* keys[] = {L"PORTNAME", L"LOW_FREQ", L"RECONNECT", L"", L" A "};
  for (unsigned buffer_size : {1u, 2u, 256u}) {
    for (const wchar_t* key : keys) {
      wchar_t buffer[256];
      const unsigned length =
          ini_lookup(sections, L"SETTING", key, L"fallback ", buffer, buffer_size);
      if (length >= buffer_size || buffer[length] != 0) std::abort();
    }
  }
  return 0;
}
