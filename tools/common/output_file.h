// The one gate for every file the tools create, replace or remove: the
// demo track, the recorder's outputs, the board's log and link, the
// stand-in's picture and log and its working folder. What a run will write
// is checked before any work starts: a free path, or a file that carries
// this tool's own mark (the first line of a text it wrote, the comment of a
// WAV it wrote); an output that cannot carry a mark takes free paths only; a
// link is replaced only when it is a board's link whose device is gone.
// Never a link to something else, never an input of the run, never the same
// path twice. Nothing in tools/ opens a file for writing, renames, links or
// removes one but through here (tests/layers/check_writes.sh holds that).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace fulgora_tools {

// The first lines the tools write: a file that begins with one of them is
// the tool's own and may be replaced.
extern const char* const picture_header;    // fulgora-play --plot
extern const char* const heard_log_header;  // fulgora-play --log
extern const char* const board_log_header;  // fulgora-board --csv
// The comment (a LIST/INFO chunk's ICMT) in every WAV fulgora-demo-track writes.
extern const char* const demo_track_mark;

// What makes an existing file at an output's path the tool's own.
enum class output_mark {
  header,       // a text that begins with own_header
  wav_comment,  // a WAV whose LIST/INFO comment is demo_track_mark
  none,         // raw data: no mark, free paths only
  board_link,   // a symbolic link to a pseudo-terminal (/dev/pts/N)
};

// One output of a tool, as its table declares it.
struct output_use {
  const char* role;  // the option or argument that names it
  output_mark mark;
  const char* own_header;  // output_mark::header: the first line
  // A run that writes it, for the test that tries every output against a
  // user's files: {OUT} the output, {IN} an input of the run, {BIN} the
  // tools' folder.
  const char* command;
};

// One output of a run: its path and what it is.
struct planned_output {
  std::string path;
  const output_use* use;
};

// Whether every output may be written: false with "PATH: reason" for the
// first that may not (a folder, one of inputs or another output, a link, a
// file without the tool's mark, a place that cannot be written). A probe
// file made to test a new path is removed.
bool outputs_allowed(const std::vector<planned_output>& outputs,
                     const std::vector<std::string>& inputs, std::string& error);
// The same for one output with a text header (the stand-in's --plot, --log).
bool output_allowed(const std::string& path, const std::string& own_header,
                    const std::vector<std::string>& inputs, std::string& error);

// Opens an output that passed the check, emptied, never through a link;
// nullptr with error set when it cannot.
FILE* open_output(const std::string& path, std::string& error);
// Writes text as the whole of an output that passed the check.
bool write_output(const std::string& path, const std::string& text);
// Whether the file at path begins as a WAV with demo_track_mark.
bool carries_wav_mark(const std::string& path);

// A board's link: made at a path that passed the check (an old board's
// dangling link goes first), and removed at exit only while it is still the
// one made here.
bool place_link(const std::string& path, const std::string& device, std::string& error);
void remove_own_link(const std::string& path, const std::string& device);

// A tool's private working folder under the system's temporary folder,
// marked with its owner's process id; folders of the same tool whose owner
// is gone (a run killed) are removed first. Empty with error set when it
// cannot be made.
std::string make_work_folder(const std::string& tool, std::string& error);
// Removes a folder make_work_folder made (only one that carries its mark).
void remove_work_folder(const std::string& folder);
// Writes name (a path inside such a folder) there: whole, through a
// temporary name and one rename, so that a reader never sees half of it.
bool write_in_work_folder(const std::string& folder, const std::string& name,
                          const std::string& text, std::string& error);

}  // namespace fulgora_tools
