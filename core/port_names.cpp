#include "core/port_names.h"

#include <string_view>

#include "core/text.h"

namespace cat {

std::string PortKey(std::int16_t number) { return "Com" + std::to_string(number); }

std::string DefaultDeviceForPort(std::int16_t number) {
    if (number < 1) return {};
#ifdef _WIN32
    return "COM" + std::to_string(number);
#else
    return "/dev/ttyS" + std::to_string(number - 1);
#endif
}

std::string DeviceForPort(SettingsStore& store, std::int16_t number) {
    if (number < 1) return {};
    const std::optional<std::string> named = store.Read(kPortsGroup, PortKey(number));
    const std::string_view device = named ? Trim(*named, kBlanks) : std::string_view{};
    if (device.empty()) return DefaultDeviceForPort(number);
#ifndef _WIN32
    if (device.front() != '/') return "/dev/" + std::string(device);
#endif
    return std::string(device);
}

std::string PortLabel(std::int16_t number, const std::string& device) {
    std::string label = "Com " + std::to_string(number);
    if (!device.empty()) label += " (" + device + ")";
    return label;
}

std::string PortTooltip(SettingsStore& store, std::int16_t number) {
    return "Com " + std::to_string(number) + " opens " + DeviceForPort(store, number);
}

}  // namespace cat
