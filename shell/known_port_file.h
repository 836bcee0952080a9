#pragma once

// The known ports kept between runs, in $XDG_CACHE_HOME/CAT/known-ports (~/.cache/CAT/known-ports
// when it is not set): a cache, so a file that cannot be read means that nothing is known, and one
// that cannot be written leaves the check to run again next time.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "link/known_ports.h"

namespace cat {

// Where the file lives; nothing when neither XDG_CACHE_HOME nor HOME says.
std::optional<std::filesystem::path> KnownPortFile();

KnownPorts LoadKnownPorts(const std::filesystem::path& file);
// Written whole to a file beside it and renamed over it, so a reader never sees half a file.
// False when it could not be written.
bool SaveKnownPorts(const std::filesystem::path& file, const KnownPorts& ports);

// True when the check for a five-byte radio may be skipped on `device` (settings' path of the
// port).
bool CheckKnownDone(const std::string& device);
// The link's radio answered after a check that found no five-byte radio (or after a skipped
// one): remember it.
void RememberCheckDone(const std::string& device, std::string_view family, int speed);
// A five-byte radio answered on `device`: nothing of it is known any more. A device that is gone
// needs no forgetting: its plug-in number went with it.
void ForgetDevice(const std::string& device);

}  // namespace cat
