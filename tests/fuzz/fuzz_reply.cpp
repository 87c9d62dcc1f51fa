// The reply collector on a scripted port: any bytes, in any pieces, for a
// level command and then the closing command. No read may ask for more than
// the scratch buffer, no wait may poll past its limit, and a finished wait
// leaves nothing of its own poll queued.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "serial/serial_link.h"
#include "tests/support/fake_port.h"

namespace fulgora {
// The fuzzer's clock: polls without pausing, and time stands still, so every
// wait ends by its poll limit alone (and the port layer is not linked in).
void sleep_ms(unsigned) {}
unsigned long long monotonic_ms() { return 0; }
}  // namespace fulgora

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace fulgora;
  fulgora_test::fake_port port;
  // Pieces: a length byte, then that many bytes; one piece per status query.
  for (size_t at = 0; at < size;) {
    const size_t length = data[at++];
    const size_t take = length < size - at ? length : size - at;
    port.arrivals.emplace_back(reinterpret_cast<const char*>(data + at), take);
    at += take;
  }
  serial_link link(port);
  if (!link.open(L"COM3")) std::abort();
  port.read_requests.clear();
  const uint8_t values[3] = {1, 2, 3};
  for (int command = 0; command < 2; ++command) {
    const int before = port.clear_calls;
    const bool ok = command == 0 ? link.send_level_command(values) : link.send_closing_command();
    const int limit = (command == 0 ? level_pass_limit : closing_pass_limit) + 1;
    if (port.clear_calls - before > limit) std::abort();
    if (ok && !port.input.empty()) std::abort();  // the rest of the poll was dropped
  }
  for (uint32_t r : port.read_requests)
    if (r > 256) std::abort();
  link.close();
  return 0;
}
