#include "link/link_control.h"

#include <algorithm>
#include <array>
#include <utility>

#include "core/cat_error.h"
#include "core/handshake.h"
#include "core/stored_values.h"
#include "core/text.h"
#include "link/five_byte_check.h"
#include "protocols/families.h"

namespace cat {

namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The speed list's text as the port's speed: it must be a number, written back without blanks.
std::string SpeedSetting(const std::string& speed) {
    const std::string_view trimmed = Trim(speed);
    const bool numeric =
        !trimmed.empty() &&
        std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!numeric || trimmed.size() > 9)
        throw CatError(ErrorKind::TypeMismatch,
                       "The speed \"" + speed + "\" is not a number of bauds (for example 9600).");
    return std::to_string(std::stol(std::string(trimmed)));
}

// The server sets the radio's line and its own connection has none: the list's speed (even an
// empty one) and the port's handshake and DTR/RTS settings do not reach the radio from here.
Handshake OpenServerLink(SessionState& state, Platform& platform, const LinkChoices& choices,
                         const RadioFamily& server) {
    state.protocol = server.Id();
    state.reader.reset();
    platform.port.SelectPort(choices.portListIndex + 1);
    state.radioAddress = "00";
    state.controllerAddress = "E0";
    state.speed = choices.speedText;
    state.stopBits = "2";
    platform.port.SetHandshake(Handshake::None);
    state.transmitting.reset();
    state.fiveByteCheck.reset();
    platform.port.Open();
    platform.pollTimer.SetEnabled(true);
    return Handshake::None;
}

}  // namespace

std::optional<std::string> NormaliseICOMAddress(std::string_view text) {
    std::string address(Trim(text));
    if (address.empty()) return "00";
    if (address.size() > 2 || !std::all_of(address.begin(), address.end(), IsHexDigit))
        return std::nullopt;
    address = UpperCase(address);
    return address.size() == 1 ? "0" + address : address;
}

PortKind PortKindAt(SettingsStore& store, int portListIndex) {
    const auto number = static_cast<std::int16_t>(portListIndex + 1);
    if (number < kFirstPort || number > kLastPort) return PortKind::Device;
    const std::optional<PortTarget> target = ParsePortTarget(DeviceForPort(store, number));
    return target ? target->kind : PortKind::Device;
}

LinkChoices WithPortEntry(LinkChoices setup, SettingsStore& store) {
    const auto port = static_cast<std::int16_t>(setup.portListIndex + 1);
    if (port >= kFirstPort && port <= kLastPort) {
        setup.handshakeOverride = store.Read(kPortsGroup, HandshakeKey(port));
        setup.lines = ControlLinesFor(store, port).levels;
    }
    setup.portKind = PortKindAt(store, setup.portListIndex);
    return setup;
}

Handshake OpenLink(SessionState& state, Platform& platform, const LinkChoices& choices) {
    if (const RadioFamily* server = ServerFamily(choices.portKind))
        return OpenServerLink(state, platform, choices, *server);
    const RadioFamily* family = FamilyNamed(choices.protocolText);
    state.protocol = ProtocolNamed(choices.protocolText);
    // A new link reads the line afresh: nothing learnt of the last radio carries over.
    state.reader.reset();
    platform.port.SelectPort(choices.portListIndex + 1);

    // CI-V frames carry the address as one byte and replies are matched on its upper-case text,
    // so a one-digit or lower-case address must be brought into that form here, once.
    if (family && family->Addressed()) {
        const auto address = NormaliseICOMAddress(choices.addressText);
        if (!address)
            throw CatError(ErrorKind::InvalidValue,
                           "The ICOM address \"" + std::string(Trim(choices.addressText)) +
                               "\" is not valid: it must be two hexadecimal digits (00 to FF).");
        state.radioAddress = *address;
    } else {
        state.radioAddress = std::string(Trim(choices.addressText));
        if (state.radioAddress.empty()) state.radioAddress = "00";
    }
    state.controllerAddress = "E0";  // the controller's CI-V address
    state.speed = choices.speedText;
    state.stopBits = "2";
    const LineSettings line = RequireLineSettings(SpeedSetting(state.speed) + ",n,8," +
                                                  std::string(Trim(state.stopBits)));
    platform.port.SetLineSettings(line);
    const int speed = static_cast<int>(NumericValue(state.speed));
    const HandshakeChoice handshake =
        ResolveHandshake(choices.handshakeOverride, family && family->FlowControl(speed));
    platform.port.SetHandshake(handshake.mode);
    platform.port.SetControlLines(choices.lines);
    state.transmitting.reset();
    state.fiveByteCheck.reset();
    platform.port.Open();
    if (family) state.fiveByteCheck = FiveByteCheck::For(*family, speed, line, handshake.mode);
    platform.pollTimer.SetEnabled(true);
    return handshake.mode;
}

void CloseLink(Platform& platform) { platform.port.Close(); }

std::string OpenErrorText(int number, const std::string& description) {
    return "Error " + std::to_string(number) + " : " + description;
}

}  // namespace cat
