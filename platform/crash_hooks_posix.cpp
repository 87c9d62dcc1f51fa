#include "platform/crash_hooks.h"

namespace fulgora {

// Nothing on POSIX. The hooks exist to turn run-time failures into the
// player's structured exceptions, which POSIX does not have; and signal
// dispositions belong to the host process: a library that took SIGINT or
// SIGTERM would steal the host's own Ctrl-C and shutdown handling. A pure
// call or an abort already ends in std::terminate / SIGABRT with a core dump.
void install_crash_hooks() {}

}  // namespace fulgora
