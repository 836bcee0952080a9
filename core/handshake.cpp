#include "core/handshake.h"

#include <array>
#include <utility>

#include "core/lookup.h"
#include "core/port_names.h"
#include "core/text.h"

namespace cat {

namespace {

constexpr std::array<std::pair<std::string_view, HandshakeSetting>, 3> kSettings{{
    {"AUTO", HandshakeSetting::Auto},
    {"NONE", HandshakeSetting::None},
    {"RTSCTS", HandshakeSetting::RtsCts},
}};

}  // namespace

std::string HandshakeKey(std::int16_t port) { return PortKey(port) + ".Handshake"; }

std::optional<HandshakeSetting> ParseHandshakeSetting(std::string_view text) {
    return Lookup(kSettings, std::string_view(UpperCase(Trim(text, kBlanks))));
}

HandshakeChoice ResolveHandshake(std::optional<std::string> stored, bool ruleWantsRtsCts) {
    HandshakeChoice choice;
    choice.mode = ruleWantsRtsCts ? Handshake::RtsCts : Handshake::None;
    if (!stored) return choice;
    choice.stored = std::string(Trim(*stored, kBlanks));
    if (choice.stored.empty()) return choice;
    const auto setting = ParseHandshakeSetting(choice.stored);
    if (!setting) {
        choice.source = HandshakeSource::IgnoredOverride;
    } else if (*setting != HandshakeSetting::Auto) {
        choice.mode = *setting == HandshakeSetting::RtsCts ? Handshake::RtsCts : Handshake::None;
        choice.source = HandshakeSource::Override;
    }
    return choice;
}

HandshakeChoice HandshakeFor(SettingsStore& store, std::int16_t port, bool ruleWantsRtsCts) {
    return ResolveHandshake(store.Read(kPortsGroup, HandshakeKey(port)), ruleWantsRtsCts);
}

}  // namespace cat
