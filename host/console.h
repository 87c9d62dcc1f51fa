// The component's only status output: one line on the player's console.
// May be called from any thread; never fails, never throws, takes no lock.
// Silent until the player has handed over its services and said they may be
// called (the export and services_init set the two values below).
#pragma once

#include "host/service.h"

namespace fulgora {

// Process-wide, written only by the player's calls to the export and to
// services_init; read without synchronisation.
extern foobar2000_api* g_foobar2000_api;
extern bool g_services_available;

void console_print(const char* text);

}  // namespace fulgora
