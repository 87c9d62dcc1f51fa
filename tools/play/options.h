// fulgora-play's command line: the options record and its parser.
#pragma once

#include <string>
#include <vector>

#include "tools/play/output_model.h"

namespace fulgora_play {

struct options {
  std::string component;
  std::string settings;
  std::string plot;
  std::string log;
  unsigned chunk = 4096;
  double buffer_ms = 1000;
  double clock_step_ms = 0;
  double seek_at = -1, seek_to = 0;       // --seek AT:TO
  double pause_at = -1, pause_for = 0;    // --pause AT:SECONDS
  double swap_at = -1;                    // --swap-at SECONDS
  double rebuild_at = -1;                 // --rebuild-at SECONDS
  double second_at = -1, second_for = 8;  // --second-chain AT[:SECONDS]
  std::string after;                      // --after: an own_dsp's name
  played_faults vis;                      // --vis-*
  bool fast = false;
  bool no_sound = false;
  bool board = false;
  std::vector<std::string> files;
};

// Fills o from the command line; false (after a message on standard error)
// when it is wrong. --help prints the usage and exits.
bool parse(int argc, char** argv, options& o);

}  // namespace fulgora_play
