#include "doctor/diagnosis.h"

#include <cstdio>
#include <map>
#include <optional>

#include "core/port_names.h"
#include "core/text.h"
#include "doctor/server_diagnosis.h"
#include "doctor/verdict_text.h"
#include "protocols/common/family_support.h"
#include "protocols/families.h"

namespace cat::doctor {

namespace {

std::string Joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
    return out;
}

std::string WhereText(const Observation& o) { return o.port + " at " + o.speed + " baud"; }

// The device as the status line names it: "ttyUSB0" for /dev/ttyUSB0. A stable USB name is as
// long as a sentence; its start names the maker and the chip, which is what tells adapters apart.
std::string ShortDevice(const std::string& device) {
    std::string name = device.substr(device.find_last_of('/') + 1);
    if (name.rfind("usb-", 0) == 0) name.erase(0, 4);
    return Cut(name, 14);
}

// "flrig" of "flrig (process 1234)": the program is the fact, its number is in the details.
std::string ShortHolder(const std::string& holder) {
    return Cut(holder.substr(0, holder.find(" (")), 16);
}

// The radio's own menu items that decide whether it listens on its CAT port.
std::string MenuAdvice(const Observation& o) {
    const RadioFamily* family = FamilyFor(o.protocol);
    return family ? family->MenuAdvice(o.speed, o.radioAddress) : std::string();
}

bool Addressed(const Observation& o) {
    const RadioFamily* family = FamilyFor(o.protocol);
    return family && family->Record().addressed;
}

// The bytes as the chosen family's monitor shows them.
std::string Shown(const Observation& o, const std::string& bytes) {
    constexpr std::size_t kShownSample = 80;
    const RadioFamily* family = FamilyFor(o.protocol);
    return Bounded(family ? family->ShowBytes(bytes) : family::HexBytes(bytes), kShownSample);
}

// "an ICOM", "an FT-817", "a Yaesu", as the names are spoken.
std::string Article(const std::string& name) {
    const bool vowelSound = name.find_first_of("AEIOU") == 0 || name.rfind("FT-", 0) == 0;
    return vowelSound ? "an " : "a ";
}

// "?;" as it is; a binary refusal is named too: "NG: fe fe e0 5e fa fd".
std::string RefusalText(const Observation& o, const std::string& bytes) {
    const std::string shown = Shown(o, bytes);
    return shown == bytes ? shown : "NG: " + shown;
}

Verdict FromFailure(const Observation& o) {
    const OpenFailure& f = *o.failure;
    switch (f.fault.value_or(CommFault::OpenFailed)) {
        case CommFault::DeviceNotFound:
            return Make(
                VerdictKind::DeviceMissing, true, "device-missing",
                ShortDevice(o.device) + " is missing",
                (o.device == o.port ? o.device + " does not exist. "
                                    : o.port + " opens " + o.device + ", which does not exist. ") +
                    (f.present.empty() ? std::string("No serial device is present now.")
                                       : "Serial devices present now: " + Joined(f.present) + ".") +
                    (o.waitingForDevice ? " The link opens by itself when it appears." : ""),
                "Plug the interface in and switch it on, or pick the Com number of a "
                "device that is present.");
        case CommFault::DeviceInUse:
            return Make(
                VerdictKind::InUse, true, "in-use",
                f.holder.empty() ? o.port + " is in use" : "In use by " + ShortHolder(f.holder),
                PortText(o) + " is in use by " +
                    (f.holder.empty() ? "another program (the system does not say which)"
                                      : f.holder) +
                    ".",
                "Close that program, or pick another port.");
        case CommFault::PermissionDenied:
            return Make(VerdictKind::NoPermission, true, "no-permission",
                        "Not allowed to use " + o.port, f.text,
                        "Join the group that may use serial devices (on Debian: sudo adduser " +
                            (f.user.empty() ? std::string("$USER") : f.user) +
                            " dialout), then log in again.");
        default:
            return Make(VerdictKind::PortError, true, "port-error", o.port + " did not open",
                        f.text, "Check the port's settings and the interface.");
    }
}

template <typename Map>
typename Map::key_type MostFrequent(const Map& counts) {
    auto best = counts.begin();
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it->second > best->second) best = it;
    return best->first;
}

// Refusals or clean text that no family reads tell of a radio only when they are not a few short
// texts among much noise: a flood of random bytes holds "?;" and "MM;" somewhere.
bool StandsOut(int count, const LineSummary& line) { return count > 0 && count >= line.noise; }

// One refusal may be of a read the radio lacks (many have no transmit-state read) while it
// answers the polls: a radio refuses "the commands" only when it refuses more than one.
bool RefusesPlainly(const LineSummary& line) {
    return line.refusals >= 2 && StandsOut(line.refusals, line);
}

// The radio said something of its own, then left a command without a word for longer than a
// radio takes: it has stopped, whatever it said before.
bool FellSilent(const Observation& o, const LineSummary& line) {
    return line.lastHeard && line.firstUnheard && o.now - *line.firstUnheard > kAnswerSeconds;
}

Verdict OtherAddressVerdict(const Observation& o, const LineSummary& line) {
    const std::string found = family::Hex2(MostFrequent(line.otherAddresses));
    Verdict v = Make(VerdictKind::OtherAddress, true, "other-address",
                     "Radio at " + found + ", not " + o.radioAddress,
                     "A radio answers at address " + found + ", not " + o.radioAddress + ".",
                     "Use address " + found + ".");
    v.useAddress = found;
    return v;
}

Verdict OtherProtocolVerdict(const Observation& o, const LineSummary& line) {
    const std::string other = ProtocolName(MostFrequent(line.otherProtocols));
    Verdict v = Make(VerdictKind::OtherProtocol, true, "other-protocol", "Radio speaks " + other,
                     "This is " + Article(other) + other + " radio: choose " + other +
                         ". The replies are " + other + " commands (" + Shown(o, line.sample) +
                         "), not " + ProtocolName(o.protocol) + ".",
                     "Choose " + other + " as the protocol, or let Find radio try them all.");
    v.offerScan = true;
    return v;
}

Verdict RefusesVerdict(const Observation& o, const LineSummary& line) {
    return Make(VerdictKind::Refuses, true, "refuses", "Radio refuses commands",
                "The radio answers but refuses every command (" + RefusalText(o, line.sample) +
                    "): a menu may be open, it may be transmitting, or it expects another "
                    "protocol.",
                "Close the radio's menus, stop transmitting, and check which protocol it "
                "speaks.");
}

Verdict UnreadableVerdict(const Observation& o, const LineSummary& line) {
    Verdict v = Make(VerdictKind::Unreadable, true, "unreadable", "Replies not read here",
                     "The radio answers, but in commands this program does not read: " +
                         Shown(o, line.sample) + ".",
                     "Copy the details and the traffic to ask which radio this is; Find "
                     "radio tries every protocol this program reads.");
    v.offerScan = true;
    return v;
}

Verdict GarbledVerdict(const Observation& o, const LineSummary& line) {
    Verdict v = Make(
        VerdictKind::Garbled, true, "garbled", "Garbled: wrong speed?",
        std::string("Bytes come back") + (line.echo > 0 ? " besides our echo" : "") +
            " but form no reply: most likely the radio runs at another speed "
            "than " +
            o.speed + " baud.",
        "Set the radio's CAT speed to " + o.speed + " baud, or let Find radio try every speed.");
    v.offerScan = true;
    return v;
}

Verdict StoppedVerdict(double silentFor) {
    return Make(VerdictKind::Stopped, true, "stopped",
                "Radio silent for " + std::to_string(static_cast<long>(silentFor)) + " s",
                "The radio stopped answering: its last reply came " + Ago(silentFor) +
                    ". The display shows the last values, not live ones.",
                "Is the radio still switched on, and the cable in place?");
}

Verdict EchoOnlyVerdict(const Observation& o) {
    return Make(VerdictKind::EchoOnly, true, "echo-only", "Echo only, no radio",
                std::string("Only our own bytes come back: the interface echoes (") +
                    (Addressed(o) ? "a CI-V bus or a level converter"
                                  : "a level converter or a cable that joins the data lines") +
                    ") but no radio answers.",
                "Is the radio switched on, at " + WhereText(o) +
                    (Addressed(o) ? " and address " + o.radioAddress : "") + "? " + MenuAdvice(o));
}

Verdict NoReplyVerdict(const Observation& o) {
    Verdict v = Make(VerdictKind::NoReply, true, "no-reply", "No reply from the radio",
                     "Nothing comes back on " + WhereText(o) +
                         ": the radio may be off, the cable on another port, or its CAT port "
                         "switched off.",
                     MenuAdvice(o));
    v.offerScan = true;
    return v;
}

// The verdict from what came back when no good reply did. The order is the order of certainty:
// a reply from another radio or protocol names the fault outright; noise only suggests a speed.
Verdict FromEvidence(const Observation& o, const LineSummary& line) {
    if (!line.otherAddresses.empty()) return OtherAddressVerdict(o, line);
    if (!line.otherProtocols.empty()) return OtherProtocolVerdict(o, line);
    if (FellSilent(o, line)) return StoppedVerdict(o.now - *line.lastHeard);
    if (StandsOut(line.refusals, line)) return RefusesVerdict(o, line);
    // Clean replies are never blamed on the line speed: at a wrong speed they would not be clean.
    if (StandsOut(line.unread, line)) return UnreadableVerdict(o, line);
    if (line.noise > 0) return GarbledVerdict(o, line);
    if (line.lastReply) return StoppedVerdict(o.now - *line.lastReply);
    if (line.echo > 0) return EchoOnlyVerdict(o);
    return NoReplyVerdict(o);
}

Verdict NoProtocolVerdict() {
    return Make(VerdictKind::NoProtocol, true, "no-protocol", "Choose a protocol first",
                "No protocol is chosen, so nothing is sent to the radio.",
                "Pick the radio's protocol in the Protocol list, then tick Open again.");
}

// The port went away while open: a network port's far end, or a USB adapter pulled out.
Verdict VanishedVerdict(const Observation& o) {
    const std::string ago = Ago(o.now - *o.lostAt);
    if (IsNetworkAddress(o.device))
        return Make(
            VerdictKind::Vanished, true, "vanished", "Connection lost",
            PortText(o) + " lost its connection " + ago + ": " +
                (o.lostWhy.empty() ? "the far end closed it or stopped answering" : o.lostWhy) +
                ". The display shows the last values, not live ones." +
                std::string(o.waitingForDevice ? " The link reopens by itself when the far end "
                                                 "answers again."
                                               : ""),
            "Check that the computer beside the radio is on the network and still serves the "
            "port.");
    return Make(
        VerdictKind::Vanished, true, "vanished", "Adapter unplugged",
        PortText(o) + " disappeared " + ago +
            ": the adapter was unplugged or switched off. The display shows the last "
            "values, not live ones." +
            std::string(o.waitingForDevice ? " The link reopens by itself when it is back." : ""),
        "Plug it in again.");
}

Verdict ClosedVerdict(const Observation& o) {
    return Make(VerdictKind::Closed, false, "closed", "Closed",
                o.everOpened ? "The link is closed: the display shows the last values, not "
                               "live ones."
                             : "The link is closed.",
                "Choose the protocol, port and speed, and tick Open.");
}

// A five-byte radio answered the probe sent before our own family's commands, which were then
// held back.
Verdict FiveByteRadioVerdict(const Observation& o) {
    const std::string other = ProtocolName(o.fiveByteRadio->protocol);
    const std::string speed = std::to_string(o.fiveByteRadio->speed);
    Verdict v =
        Make(VerdictKind::OtherProtocol, true, "other-protocol", "Radio speaks " + other,
             "This is " + Article(other) + other + " radio at " + speed + " baud: choose " + other +
                 ". It answered the read sent before the " + ProtocolName(o.protocol) +
                 " commands; they are not sent, as at another speed they would reach "
                 "it as commands of its own.",
             "Choose " + other + " and " + speed + " baud.");
    v.offerScan = true;
    return v;
}

// "[Ports] Com3.Handshake=none": the key as the settings file spells it for Com 3. A port named
// by its device (catlink --doctor /dev/ttyUSB0) has no key of its own.
std::string HandshakeSetting(int com) {
    if (com == 0) return "ComN.Handshake=none for the Com number that opens it";
    return "Com" + std::to_string(com) + ".Handshake=none";
}

Verdict OutputBlockedVerdict(const Observation& o) {
    return Make(VerdictKind::OutputBlocked, true, "output-blocked", "Nothing leaves the port",
                "Our bytes do not leave " + PortText(o) +
                    (o.handshaking ? ": RTS/CTS flow control is on and the radio holds CTS low."
                                   : ": the port holds them back."),
                o.handshaking
                    ? "Use a cable that carries the RTS and CTS lines, or turn flow control "
                      "off for this port in the settings file ([Ports] " +
                          HandshakeSetting(o.com) + "), or use 4800 baud."
                    : "Check the cable and the interface: with flow control off, only the "
                      "interface or its driver holds our bytes back.");
}

// A radio that answered its last read in time is live, however long ago that read was: an ICOM
// link reads each value every two seconds, and "reply 2 s ago" there would look late. Only a
// radio not asked for a while (the poll pauses while the window is minimised) shows an age.
bool Live(const Observation& o, const LineSummary& line) {
    return o.now - *line.lastReply < kLiveSeconds || line.firstUnanswered;
}

Verdict AnsweringVerdict(const Observation& o, const LineSummary& line) {
    const double lastReply = *line.lastReply;
    const std::string name = ProtocolName(o.protocol);
    const std::string who = Addressed(o) ? name + " " + o.radioAddress : name;
    return Make(VerdictKind::Answering, false, "answering",
                who + (Live(o, line) ? ": answering" : ": reply " + Ago(o.now - lastReply)),
                "The " + name + " radio" + (Addressed(o) ? " at address " + o.radioAddress : "") +
                    " answers on " + WhereText(o) + "; its last reply came " +
                    Ago(o.now - lastReply) + ".",
                "");
}

Verdict WaitingVerdict(const Observation& o) {
    return Make(VerdictKind::Waiting, false, "waiting", "Waiting for radio, " + o.port,
                "Open on " + PortText(o) + " at " + o.speed + " baud; waiting for the " +
                    ProtocolName(o.protocol) + " radio to answer.",
                "");
}

// Verdicts that need nothing from the line: the link is not open, or cannot be.
std::optional<Verdict> FromLinkState(const Observation& o) {
    if (!o.protocolChosen) return NoProtocolVerdict();
    if (o.failure) return FromFailure(o);
    if (o.lostAt) return VanishedVerdict(o);
    if (!o.open) return ClosedVerdict(o);
    return std::nullopt;
}

// An open link, judged by what its line carried.
Verdict FromLine(const Observation& o, const LineSummary& line) {
    const bool overdue = line.firstUnanswered && o.now - *line.firstUnanswered > kAnswerSeconds;
    // A radio that answered is answering still until a command it left without a word has had
    // its time: whether it refused a read before that or not, what it does next is the verdict.
    const bool deciding = line.firstUnheard && o.now - *line.firstUnheard <= kAnswerSeconds;
    if (line.lastReply && (!overdue || deciding)) return AnsweringVerdict(o, line);
    // Another radio's frames, another protocol and refusals are plain at once; silence and noise
    // need a command to have gone unanswered for a while.
    const bool plain = !line.otherAddresses.empty() || !line.otherProtocols.empty() ||
                       RefusesPlainly(line) || StandsOut(line.unread, line);
    if (!plain && !overdue) return WaitingVerdict(o);
    return FromEvidence(o, line);
}

}  // namespace

std::string ProtocolName(Protocol protocol) {
    const RadioFamily* family = FamilyFor(protocol);
    return family ? std::string(family->Name()) : "no";
}

Verdict Diagnose(const Observation& o) {
    if (std::optional<Verdict> server = DiagnoseServerLink(o)) return *server;
    if (std::optional<Verdict> state = FromLinkState(o)) return *state;
    if (o.fiveByteRadio) return FiveByteRadioVerdict(o);
    if (o.outputHeldSince && o.now - *o.outputHeldSince > kHeldSeconds)
        return OutputBlockedVerdict(o);
    static const LineSummary kNothing;
    return FromLine(o, o.line ? *o.line : kNothing);
}

}  // namespace cat::doctor
