#pragma once

// The ports where the check for a five-byte radio may be skipped. The check costs every Open half
// a second or more; its result holds only while the device is provably the same radio. That is
// true of a radio's own USB port (the radio carries the USB chip and says its name in it) until
// the device is unplugged or the computer restarts: both change what we compare. A USB cable
// proves only the cable: its far end can move to another radio with no USB event at all, so a
// cable is never remembered. Nothing here reads or writes files: the shell reads the identity
// and keeps the text.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cat {

// Who a serial device is, as the system's USB tree says it.
struct DeviceIdentity {
    std::string byId;  // the /dev/serial/by-id entry's name that leads to the device, "" when none
    std::string serial;  // the USB device's serial attribute, "IC-7300 03001234"
    std::string product, manufacturer, vendorId, productId;
    std::string usbPath;    // the USB device's sysfs name, "1-1.2"
    std::string interface;  // the USB interface the port belongs to, "1-1.2:1.0": a radio with two
                            // ports has one USB device, and each port must be proven alone
    int bus = 0, devnum = 0;  // busnum, devnum: devnum is given anew at every plug-in
    std::string bootId;       // /proc/sys/kernel/random/boot_id
};

// Whether `identity` is a radio's own USB port: the radio's name is in its serial or product
// string ("IC-7300 03001234"), so that the device cannot be moved to another radio without an
// unplug.
bool RadioOwnPort(const DeviceIdentity& identity);

class KnownPorts {
public:
    static constexpr std::size_t kMost = 32;  // entries kept; the oldest goes first

    struct Entry {
        DeviceIdentity identity;
        std::string family;  // the family that answered, as the caller names it
        int speed = 0;       // at this speed
    };

    static KnownPorts Parse(std::string_view text);  // lines it cannot read are skipped
    std::string Text() const;

    // The check for a five-byte radio found none on this very device, and its radio answered
    // since: same serial, same USB path, same bus and devnum (no unplug), same boot, and a radio's
    // own port.
    bool CheckedBefore(const DeviceIdentity& identity) const;
    // The entry that says so, for the family and speed that answered; null when there is none.
    const Entry* Find(const DeviceIdentity& identity) const;

    // Only a radio's own port whose identity is complete is remembered; others are left out.
    void Remember(const DeviceIdentity& identity, std::string_view family, int speed);
    // Everything remembered of this device, wherever it was plugged, and of its USB place, e.g.
    // when a five-byte radio answers there.
    void Forget(const DeviceIdentity& identity);

    const std::vector<Entry>& Entries() const { return entries_; }

private:
    std::vector<Entry> entries_;  // oldest first
};

}  // namespace cat
