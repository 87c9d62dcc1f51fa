// The player's output settings (follows the SDK's output.h, players from
// 1.3.5 on): the output manager tells the output buffer length the user chose,
// which is how far the DSP runs ahead of what is heard once playback has
// filled the buffer. Every slot is declared in the SDK's order, the unused one
// too, so the player's table lines up.
#pragma once

#include <cstdint>

#include "host/service.h"

#pragma pack(push, 1)
struct output_core_config {
  GUID output;
  GUID device;
  double buffer_length;  // seconds
  uint32_t flags;
  uint32_t bit_depth;
};
#pragma pack(pop)
static_assert(sizeof(output_core_config) == 48, "the SDK's packed layout");

class output_manager : public service_base {
 public:
  static constexpr GUID class_guid = {
      0x6CC5827E, 0x2C89, 0x42FF, {0x83, 0x51, 0x76, 0xA9, 0x2E, 0x2F, 0x34, 0x50}};
  // Never called here: it makes an output (returned by value in the SDK);
  // declared so that the next slot is where the player has it.
  virtual void instantiate_core_default_slot() = 0;
  // Fills out_size bytes of out with the player's output_core_config.
  virtual void get_core_config(void* out, size_t out_size) = 0;

 protected:
  ~output_manager() = default;
};

namespace fulgora {

// The player's output buffer length in seconds, found through the services
// interface as the SDK's standard services are. False when the services are
// not there yet, the player has no output manager (before 1.3.5) or the
// length is no positive number of at most a minute. The player's own
// exceptions pass through, as everywhere.
bool read_output_buffer_length(double& seconds);

}  // namespace fulgora
