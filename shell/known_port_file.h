#pragma once

// The known ports kept between runs, in $XDG_CACHE_HOME/CAT/known-ports (~/.cache/CAT/known-ports
// when it is not set): a cache, so a file that cannot be read means that nothing is known, and one
// that cannot be written leaves the check to run again next time.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "link/known_ports.h"
#include "link/link.h"
#include "link/link_control.h"

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

// What one link teaches of its device, kept for the next Open: its radio answered after the
// check found no five-byte radio, or a five-byte radio answered. The window and `--doctor` both
// open their links through it.
class CheckMemory {
public:
    // `choices` for an Open on `device`, with the check skipped where it is known done.
    LinkChoices Opening(LinkChoices choices, const std::string& device);
    // The device came back after a loss: the link checks it afresh (Link::Reopen), and what it
    // finds is kept again.
    void Reopened() { settled_ = false; }
    // After each tick of the link.
    void Follow(const Link& link);

private:
    std::string device_;
    bool settled_ = true;  // nothing more to keep from this Open
};

}  // namespace cat
