// The settings record an engine would read from a file holding the given
// bytes, or from no file at all: handed to the engine directly.
#pragma once

#include <string>

#include "engine/settings_record.h"
#include "tests/support/temp_settings.h"

namespace fulgora_test {

inline fulgora::settings_record settings_of(const std::string& bytes) {
  temp_settings_file file(bytes);
  return fulgora::read_settings(file.path());
}

inline fulgora::settings_record no_settings_file() {
  return fulgora::read_settings(fulgora::settings_file{});
}

}  // namespace fulgora_test
