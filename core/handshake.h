#pragma once

// Whether a link uses RTS/CTS handshaking, and why. By default the radio family's rule decides (a
// Kenwood link above 4800 baud, a Yaesu text link); a home-made or TTL-level cable without the
// handshake lines then sends nothing at all, so each port may override the rule in the settings
// store:
//
//   [Ports]
//   Com3.Handshake=none      (or rtscts, or auto for the default rule)

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/settings_store.h"

namespace cat {

enum class Handshake { None, RtsCts };
enum class HandshakeSetting { Auto, None, RtsCts };

enum class HandshakeSource {
    Default,         // the protocol's rule: no override stored, or "auto"
    Override,        // the port's stored none/rtscts
    IgnoredOverride  // a stored value that is none of none/rtscts/auto: the rule applies
};

struct HandshakeChoice {
    Handshake mode = Handshake::None;
    HandshakeSource source = HandshakeSource::Default;
    std::string stored;  // the stored text as found (trimmed), empty when there is none
};

// "Com3.Handshake", in the [Ports] group.
std::string HandshakeKey(std::int16_t port);

// none / rtscts / auto in any letter case, blanks around allowed; nothing otherwise.
std::optional<HandshakeSetting> ParseHandshakeSetting(std::string_view text);

// The family's rule and the port's stored override together: `ruleWantsRtsCts` is what the
// link's radio family asks for at the link's speed.
HandshakeChoice ResolveHandshake(std::optional<std::string> stored, bool ruleWantsRtsCts);

// What a link on Com `port` uses, read from the store; for the link itself and for anyone who
// explains a silent line (the choice names whether it came from the rule or an override).
HandshakeChoice HandshakeFor(SettingsStore& store, std::int16_t port, bool ruleWantsRtsCts);

}  // namespace cat
