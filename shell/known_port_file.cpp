#include "shell/known_port_file.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "core/stored_values.h"
#include "shell/device_identity.h"

namespace cat {

namespace fs = std::filesystem;

namespace {

// Far more than 32 entries take; a larger file is not ours, and is not read whole.
constexpr std::size_t kLargest = 64 * 1024;

}  // namespace

std::optional<fs::path> KnownPortFile() {
    // A relative XDG_CACHE_HOME is ignored, as the XDG base directory rules require.
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && fs::path(cache).is_absolute()) return fs::path(cache) / "CAT/known-ports";
    const char* home = std::getenv("HOME");
    if (home && fs::path(home).is_absolute()) return fs::path(home) / ".cache/CAT/known-ports";
    return std::nullopt;
}

KnownPorts LoadKnownPorts(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text(kLargest, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return KnownPorts::Parse(text);
}

bool SaveKnownPorts(const fs::path& file, const KnownPorts& ports) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    const fs::path temporary =
        file.parent_path() / (file.filename().string() + "." + std::to_string(::getpid()));
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << ports.Text();
        out.flush();
        if (!out) {
            fs::remove(temporary, error);
            return false;
        }
    }
    fs::rename(temporary, file, error);
    if (error) fs::remove(temporary, error);
    return !error;
}

bool CheckKnownDone(const std::string& device) {
    const std::optional<fs::path> file = KnownPortFile();
    if (!file) return false;
    const std::optional<DeviceIdentity> identity = IdentityOf(SystemRoot(), device);
    return identity && LoadKnownPorts(*file).CheckedBefore(*identity);
}

void RememberCheckDone(const std::string& device, std::string_view family, int speed) {
    const std::optional<fs::path> file = KnownPortFile();
    const std::optional<DeviceIdentity> identity = IdentityOf(SystemRoot(), device);
    // A cable is never remembered: its file is left as it is.
    if (!file || !identity || !RadioOwnPort(*identity)) return;
    KnownPorts ports = LoadKnownPorts(*file);
    ports.Remember(*identity, family, speed);
    SaveKnownPorts(*file, ports);
}

void ForgetDevice(const std::string& device) {
    const std::optional<fs::path> file = KnownPortFile();
    const std::optional<DeviceIdentity> identity = IdentityOf(SystemRoot(), device);
    if (!file || !identity) return;
    KnownPorts ports = LoadKnownPorts(*file);
    const std::size_t before = ports.Entries().size();
    ports.Forget(*identity);
    if (ports.Entries().size() != before) SaveKnownPorts(*file, ports);
}

LinkChoices CheckMemory::Opening(LinkChoices choices, const std::string& device) {
    device_ = device;
    settled_ = choices.portKind != PortKind::Device;
    if (!settled_) choices.checkKnownDone = CheckKnownDone(device);
    return choices;
}

void CheckMemory::Follow(const Link& link) {
    if (settled_) return;
    if (link.FiveByteRadioFound()) {
        ForgetDevice(device_);
        settled_ = true;
    } else if (link.AnsweredAfterCheck() && link.Choices().family) {
        RememberCheckDone(device_, link.Choices().family->Name(),
                          static_cast<int>(NumericValue(link.Choices().speedText)));
        settled_ = true;
    }
}

}  // namespace cat
