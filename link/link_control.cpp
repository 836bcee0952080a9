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

// The speed list's text as the port's speed: it must be a number.
std::int64_t SpeedSetting(const std::string& speed) {
    const std::string_view trimmed = Trim(speed);
    const bool numeric =
        !trimmed.empty() &&
        std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!numeric || trimmed.size() > 9)
        throw CatError(ErrorKind::TypeMismatch,
                       "The speed \"" + speed + "\" is not a number of bauds (for example 9600).");
    return std::stoll(std::string(trimmed));
}

// The server sets the radio's line and its own connection has none: the list's speed (even an
// empty one) and the port's handshake and DTR/RTS settings do not reach the radio from here.
Handshake OpenServerLink(SessionState& state, Platform& platform, const LinkChoices& choices,
                         const RadioFamily& server) {
    state.protocol = server.Id();
    state.reader.reset();
    platform.port.SelectPort(choices.portListIndex + 1);
    state.radioAddress = "00";
    state.controllerAddress = server.ControllerAddress();
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
    const RadioFamily* family = choices.family;
    state.protocol = family ? family->Id() : Protocol::None;
    // A new link reads the line afresh: nothing learnt of the last radio carries over.
    state.reader.reset();
    platform.port.SelectPort(choices.portListIndex + 1);

    // The family brings the address box's text into the form its frames carry, once.
    if (family) {
        const auto address = family->RadioAddress(choices.addressText);
        if (!address)
            throw CatError(ErrorKind::InvalidValue, family->AddressRefusal(choices.addressText));
        state.radioAddress = *address;
        state.controllerAddress = family->ControllerAddress();
    } else {
        state.radioAddress = std::string(Trim(choices.addressText));
        if (state.radioAddress.empty()) state.radioAddress = "00";
        state.controllerAddress.clear();
    }
    state.speed = choices.speedText;
    state.stopBits = "2";
    const LineSettings line = LineSettings::TwoStopBits(SpeedSetting(state.speed));
    platform.port.SetLineSettings(line);
    const int speed = static_cast<int>(NumericValue(state.speed));
    const HandshakeChoice handshake =
        ResolveHandshake(choices.handshakeOverride, family && family->FlowControl(speed));
    platform.port.SetHandshake(handshake.mode);
    platform.port.SetControlLines(choices.lines);
    state.transmitting.reset();
    state.fiveByteCheck.reset();
    platform.port.Open();
    if (family && !choices.checkKnownDone)
        state.fiveByteCheck = FiveByteCheck::For(*family, speed, line, handshake.mode);
    platform.pollTimer.SetEnabled(true);
    return handshake.mode;
}

void CloseLink(Platform& platform) { platform.port.Close(); }

std::string OpenErrorText(int number, const std::string& description) {
    return "Error " + std::to_string(number) + " : " + description;
}

}  // namespace cat
