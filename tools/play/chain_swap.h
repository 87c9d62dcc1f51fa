// The player's DSP chain helper when the chain's configuration changes during
// playback, for a chain of one DSP: the new instance is made from the preset
// while the old one still lives, the old one runs that call's chunks one last
// time with FLUSH added, and only then is it released; the new one runs from
// the next call on. A DSP that holds a device sees its successor created
// before it lets the device go.
//
// Main thread of the stand-in, where it runs the DSP.
#pragma once

#include "host/dsp.h"

namespace fulgora_play {

// Runs `list` as the helper's call does; `instance` then holds the new DSP.
// False, with nothing run and `instance` unchanged, when the entry makes no
// new one (the player treats that as fatal).
bool run_swapping_chain(dsp_entry& entry, const dsp_preset& preset, service_ptr_t<dsp>& instance,
                        dsp_chunk_list* list, int flags);

}  // namespace fulgora_play
