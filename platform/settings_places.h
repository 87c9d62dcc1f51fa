// The folders, after components\foo_Fulgora.ini, where the two settings
// readers look for foo_Fulgora.ini. Shared by them only.
#pragma once

#include <string>
#include <vector>

namespace fulgora {

// In order: foo_Fulgora.ini beside the library, then in the profile folder;
// UTF-8 paths joined with separator.
std::vector<std::string> settings_candidates(char separator);

}  // namespace fulgora
