// Where the component finds the player's services: the services interface
// the export was handed, and whether the player has said they may be called.
#pragma once

#include "host/component.h"
#include "host/service.h"

namespace fulgora {

// Process-wide, written only by the player's calls to the export and to
// services_init; read without synchronisation.
extern foobar2000_api* g_foobar2000_api;
extern bool g_services_available;

// The player's first service of a class (index 0), with one reference the
// caller releases; null before the player's services are up or when it has
// none. No destructor has work to do while the player runs.
service_base* first_service(const GUID& class_guid);

}  // namespace fulgora
