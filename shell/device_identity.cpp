#include "shell/device_identity.h"

#include <cstdlib>

#include "shell/system_tree.h"

namespace cat {

namespace fs = std::filesystem;

namespace {

constexpr const char* kById = "dev/serial/by-id";

// The by-id entry that leads to `node`; its target may be relative ("../../ttyUSB0") or absolute,
// and an absolute one outside the root is the system's own path (a real pseudo-terminal).
std::string ByIdName(const fs::path& root, const std::string& node) {
    for (const fs::path& entry : Entries(root / kById)) {
        const std::string name = entry.filename().string();
        if (Resolved(root, "/" + std::string(kById) + "/" + name) == node) return name;
    }
    return {};
}

}  // namespace

std::optional<DeviceIdentity> IdentityOf(const fs::path& root, const std::string& device) {
    // A port opened through the made-up tree itself is named by its real path in it.
    const std::string node = Resolved(root, Inside(root, device));
    const std::optional<UsbPlace> place = UsbPlaceOf(root, node);
    if (!place) return std::nullopt;
    const auto attribute = [&](const char* name) { return FirstLine(place->device / name); };
    DeviceIdentity identity;
    identity.byId = ByIdName(root, node);
    identity.serial = attribute("serial");
    identity.product = attribute("product");
    identity.manufacturer = attribute("manufacturer");
    identity.vendorId = attribute("idVendor");
    identity.productId = attribute("idProduct");
    identity.usbPath = place->device.filename().string();
    identity.interface = place->interface.filename().string();
    identity.bus = NumberIn<int>(attribute("busnum")).value_or(0);
    identity.devnum = NumberIn<int>(attribute("devnum")).value_or(0);
    identity.bootId = FirstLine(root / "proc/sys/kernel/random/boot_id");
    return identity;
}

fs::path SystemRoot() {
    const char* root = std::getenv("CAT_SYSTEM_ROOT");
    return root && *root ? fs::path(root) : fs::path("/");
}

}  // namespace cat
