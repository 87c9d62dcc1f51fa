// The settings file's text as the stand-in hands it on: pointed at the
// simulated board's port.
#pragma once

#include <string>

namespace fulgora_play {

// Sets PORTNAME to port in the settings text, touching nothing else: the
// first PORTNAME key of the first [SETTING] section, as the component's
// reader finds them, is replaced (or one is added right after its header).
// Empty text becomes a file of that one key. False, with the text unchanged,
// when it has no [SETTING] section (a misspelt one stays misspelt).
bool with_port(std::string& ini, const std::string& port);

}  // namespace fulgora_play
