// The tools' side of the settings file: which one a tool uses, and what is
// wrong in it, key by key (the component itself stops at the first bad key).
#pragma once

#include <string>
#include <vector>

namespace fulgora_tools {

// The file a tool uses: explicit (--settings) when given, else FULGORA_INI
// when set, else the first the component would find (components/ here, then
// beside component_path). False with a one-line reason when the named file is
// missing or a folder; true with an empty path when none exists anywhere.
bool choose_settings(const std::string& explicit_path, const std::string& component_path,
                     std::string& path, std::string& error);

// One line per finding: every empty or malformed value (the opt-in keys
// included), and keys the component does not know, with the known key they
// most likely meant. Empty for a clean file.
std::vector<std::string> check_settings(const std::string& path);

// The settings for a run against the simulated board: each key the
// component's own reader finds in the file at path (none for an empty path),
// written afresh, PORTNAME set to port. ASCII, or UTF-8 with a byte-order
// mark when a value needs more. A file without a [SETTING] section gives an
// empty text, as the component finds no key in either. False with a one-line
// reason when the file cannot be read.
bool settings_for_board(const std::string& path, const std::string& port, std::string& text,
                        std::string& error);

// True when a finding makes the component fall back to its built-in defaults.
bool fails_the_load(const std::string& finding);

}  // namespace fulgora_tools
