// The two keys of the opt-in sync mode, read beside the seventeen tuning
// values but on their own: a malformed one is ignored (it keeps its default)
// and changes nothing else. Written once while the engine is built, before
// its worker starts; read-only afterwards.
#pragma once

#include <cstdint>

namespace fulgora {

struct sync_settings {
  bool SYNC = false;           // 1: each command goes out when its audio is heard
  int32_t SYNC_OFFSET_MS = 0;  // added to that moment; negative sends earlier
};

// SYNC takes 0 or 1, SYNC_OFFSET_MS an integer from -10000 to 10000; any
// other value, or an empty one, leaves that key at its default. Prints nothing.
sync_settings load_sync_settings();

}  // namespace fulgora
