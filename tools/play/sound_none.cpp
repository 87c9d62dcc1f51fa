// Built without a sound library: the modelled output plays.
#include "tools/play/sound_output.h"

namespace fulgora_play {

std::unique_ptr<sound_output> open_sound(unsigned, unsigned, double, std::string& why) {
  why = "built without sound";
  return nullptr;
}

}  // namespace fulgora_play
