#include "tools/play/board_child.h"

namespace fulgora_play {

// The simulator runs on a POSIX pseudo-terminal; a Windows build has none.
bool board_child::start(const std::string&, const std::string&, std::string&, std::string& error) {
  error =
      "--board needs the Linux build (the simulated board is a pseudo-terminal); "
      "on Windows, run fulgora-board on Linux or use a real board";
  return false;
}

void board_child::stop() {}

}  // namespace fulgora_play
