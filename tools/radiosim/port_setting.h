#pragma once

// Points the program's "Com N" entry at our pty: key ComN under [Ports] of its INI settings
// file, written the way the program's settings reader expects it (Com3=/dev/pts/7).

#include <string>

namespace radiosim {

// Replaces or adds ComN=device under [Ports]; every other line of the file stays as it was.
// Creates the file and its folders when missing; replaces the file in one rename so the program
// never reads half of it. Returns an empty text on success, otherwise what went wrong.
std::string WritePortSetting(const std::string& file, int com, const std::string& device);

// The program's own store: $XDG_CONFIG_HOME/CAT/CAT.ini, or ~/.config/CAT/CAT.ini.
std::string DefaultSettingsFile();

}  // namespace radiosim
