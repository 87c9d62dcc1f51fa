// Failure hooks of the C run-time library, installed once at load.
#pragma once

namespace fulgora {

void install_crash_hooks();

}  // namespace fulgora
