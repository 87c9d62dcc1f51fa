// The tools' rule for the files they write (--plot, --log, --csv): checked
// before any work starts, and a file that is there is replaced only when the
// tool wrote it itself, known by the first line each of its formats begins
// with. The user's audio, settings or notes are never overwritten.
#pragma once

#include <string>
#include <vector>

namespace fulgora_tools {

// The first lines the tools write: a file that begins with one of them is
// the tool's own and may be replaced.
extern const char* const picture_header;    // fulgora-play --plot
extern const char* const heard_log_header;  // fulgora-play --log
extern const char* const board_log_header;  // fulgora-board --csv

// Whether path may take the output: false with "PATH: reason" when it is a
// folder, one of inputs (or another output), something other than a
// regular file, a file that does not begin with own_header, or a place that
// cannot be written. A probe file made to test a new path is removed.
bool output_allowed(const std::string& path, const std::string& own_header,
                    const std::vector<std::string>& inputs, std::string& error);

}  // namespace fulgora_tools
