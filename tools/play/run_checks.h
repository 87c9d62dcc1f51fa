// What the stand-in checks and says beside the run: the output paths and the
// option times before any work, why a port does not open, and the mode of
// the run in words for the picture.
#pragma once

#include <string>
#include <vector>

#include "engine/settings_record.h"
#include "tools/play/decoder.h"
#include "tools/play/inputs.h"
#include "tools/play/options.h"

namespace fulgora_play {

// --plot and --log against the inputs (audio, settings, component) and each
// other; false with a one-line reason.
bool outputs_allowed(const run_paths& p, const std::string& settings_path, std::string& error);

// --seek, --pause and --swap-at against the length of the audio (total_s):
// a time past the end would silently do nothing.
bool times_within(const options& o, double total_s, std::string& error);

// Why the port cannot be opened, as far as its name and the file system
// tell: a Windows name on another system, no such device, no permission.
// Empty when nothing is seen (or on Windows, where the system says it).
std::string port_trouble(const std::string& port);

// "sync on (offset -20 ms, 60/s), real time, buffer 1000 ms, 44100 Hz".
std::string mode_text(const options& o, const fulgora::settings_record& r,
                      const std::vector<decoded_audio>& audio);

// Whether the component, as set, plays synced: SYNC=1 needs the playback
// clock, which --fast does not offer.
std::string fast_sync_note(const options& o, const fulgora::settings_record& r);

}  // namespace fulgora_play
