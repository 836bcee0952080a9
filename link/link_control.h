#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/control_lines.h"
#include "core/handshake.h"
#include "core/platform.h"
#include "core/port_names.h"
#include "core/radio_family.h"
#include "core/session_state.h"

namespace cat {

// The setup controls as the operator left them when ticking "Open".
struct LinkChoices {
    const RadioFamily* family = nullptr;  // the protocol list's; nothing while none is chosen
    int portListIndex = -1;               // the port list's position; -1 when nothing is chosen
    std::string addressText;              // the radio address box
    std::string speedText;                // the speed list's text
    // The port's stored Handshake override ([Ports] ComN.Handshake), when there is one.
    std::optional<std::string> handshakeOverride;
    // DTR and RTS while the link is open ([Ports] ComN.DTR, ComN.RTS).
    ControlLineLevels lines;
    // What the port's entry opens: a rig-sharing server chooses the link's language itself.
    PortKind portKind = PortKind::Device;
    // The check for a five-byte radio found none on this very device before, and the link's
    // radio answered after it, with no unplug since: the check is not made again.
    bool checkKnownDone = false;
};

// The kind of port the port list's position opens, as the [Ports] entry names it.
PortKind PortKindAt(SettingsStore& store, int portListIndex);

// `setup` (the protocol, port, address and speed) with what the port's [Ports] entry adds: its
// handshake override, its DTR and RTS, and the kind of port it opens. The window and the command
// line both open a link with this.
LinkChoices WithPortEntry(LinkChoices setup, SettingsStore& store);

// Records the choices, configures the port (9600,n,8,2; RTS/CTS where the radio family's rule wants
// it unless the port overrides it, see core/handshake.h), opens it and starts the poll timer. A
// port that reaches a rig-sharing server speaks the server's language whatever the list shows,
// and the server keeps the radio's line: no speed, handshake, address or five-byte check.
// Raises CatError at the first failing step; the steps before it keep their effect. Returns the
// flow control it set.
Handshake OpenLink(SessionState& state, Platform& platform, const LinkChoices& choices);

// Unticking "Open": the port closes, everything else stays as it is.
void CloseLink(Platform& platform);

// "Error 8002 : description", as the open box shows it.
std::string OpenErrorText(int number, const std::string& description);

}  // namespace cat
