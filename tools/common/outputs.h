// Every file each tool writes, one table per tool: the tool checks what it
// will write against its own table, and tests/tools/outputs_test.cpp walks
// every table and tries each output against a user's files.
#pragma once

#include "tools/common/output_file.h"

namespace fulgora_tools {

// fulgora-demo-track OUT.wav (every mode writes this one file).
inline const output_use demo_track_outputs[] = {
    {"OUT.wav", output_mark::wav_comment, nullptr, "{BIN}/fulgora-demo-track --tone 440 1 {OUT}"},
};

// fulgora-record ... OUT.raw STAMPS.txt: raw audio and the recorder's time
// stamps carry no mark.
inline const output_use record_outputs[] = {
    {"OUT.raw", output_mark::none, nullptr,
     "{BIN}/fulgora-record nosuch.monitor 44100 2 1 {OUT} {WORK}/stamps.txt"},
    {"STAMPS.txt", output_mark::none, nullptr,
     "{BIN}/fulgora-record nosuch.monitor 44100 2 1 {WORK}/audio.raw {OUT}"},
};

// fulgora-board --csv FILE, --link PATH.
inline const output_use board_outputs[] = {
    {"--csv", output_mark::header, board_log_header,
     "{BIN}/fulgora-board --quiet --seconds 0.2 --csv {OUT}"},
    {"--link", output_mark::board_link, nullptr,
     "{BIN}/fulgora-board --quiet --seconds 0.2 --link {OUT}"},
};

// fulgora-play --plot FILE, --log FILE (its working folder is made by
// make_work_folder).
inline const output_use play_outputs[] = {
    {"--plot", output_mark::header, picture_header,
     "{BIN}/fulgora-play --fast --no-sound --board --plot {OUT} {IN}"},
    {"--log", output_mark::header, heard_log_header,
     "{BIN}/fulgora-play --fast --no-sound --board --log {OUT} {IN}"},
};

}  // namespace fulgora_tools
