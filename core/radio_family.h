#pragma once

// A radio family: everything the program knows about one kind of CAT language (ICOM CI-V, the
// Kenwood commands, the FT-817's five-byte blocks, Yaesu's text commands). protocols/ implements
// it once per family; the link, the doctor and the window ask the family and never test which one
// it is, so a new family is a new folder there and nothing else.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/mode.h"
#include "core/platform.h"
#include "core/port_names.h"
#include "core/protocol.h"
#include "core/session_state.h"
#include "core/text.h"

namespace cat {

// One option of a rig-sharing server's own command line, so that the program can tell where a
// server it finds holding a device takes its commands.
struct ServerOption {
    std::string_view name;  // long: --port=4533, --port 4533
    char letter;            // short: -t4533, -t 4533, -vt 4533; 0 for none
    bool takesValue;
};

// What a rig-sharing server is and how it is reached: the facts the port list, the holders of a
// device and the doctor's advice name. Its family declares them (the port entry's parser below
// the families keeps the scheme and usual port too; family_record_test holds the two alike).
struct ServerFacts {
    PortKind portKind;             // the port entry that chooses it
    std::string_view scheme;       // "rigctld://"
    std::uint16_t defaultPort;     // when the entry names none
    std::string_view processName;  // its program, as a holder of a device is named
    std::string_view startAdvice;  // how to start it so that it serves the radio
    std::string_view setupAdvice;  // where its own link to the radio is set
    std::string_view portRemark;   // what the port list says a port of this kind is
    // Its command line: every option that takes a value (so that a value is never read as an
    // option), whether a long option may be cut to any prefix that names only it (--po=4533), the
    // options that name its address and port, and whether a renamed build ("rigctld-wsjtx") is
    // still the same server.
    std::span<const ServerOption> options;
    bool abbreviatedOptions = false;
    std::string_view addressOption;
    std::string_view portOption;
    bool renamedBuilds = false;
};

// What a family is, declared by itself: callers read it, never infer it from other answers.
struct FamilyRecord {
    // Commands carry the radio's address (the address box applies).
    bool addressed = false;
    // The radio takes every five bytes it receives as one command, whatever they were meant to be:
    // it is probed before any other family's bytes reach it, and framed by count.
    bool countsInFives = false;
    // Silence the line keeps before each probe of a family that counts in fives: such a radio
    // drops a half-received block after a pause, and must hear our block from its start.
    double silenceBefore = 0;
    // The speeds its radios offer, in the order a scan tries them; empty for a server.
    std::span<const int> lineSpeeds;
    // A rig-sharing server's language: reached by its port entry, never found by a scan.
    std::optional<ServerFacts> server;
    // The family can read whether the radio transmits (ReadTransmitting answers).
    bool transmitRead = false;
    // The reads the scan sends at one speed (its identity reads), each in one write, the shortest
    // first. Never a command that changes the radio. None for a server.
    std::vector<std::string> identityReads;
};

// What a piece of the received bytes is, as one family reads it.
enum class PieceKind {
    Echo,          // our own bytes coming back (an echoing interface, a one-wire CI-V bus)
    Reply,         // a reply this family reads, from the radio we talk to
    Refusal,       // the radio answers but refuses: ?;, NG
    OtherAddress,  // a frame from a radio at another address than the one chosen
    Unread,        // well formed in this family, but nothing this program reads
    Noise,         // forms nothing in this family
};

struct Piece {
    std::size_t length = 0;  // bytes taken from the front; 0 while the piece is not whole yet
    PieceKind kind = PieceKind::Noise;
    std::string note;                   // what it is, for people: "read frequency: 14.074000 MHz"
    int address = -1;                   // OtherAddress: the radio's address
    std::optional<std::int64_t> hertz;  // a reply that carries the frequency
    bool modeReported = false;          // a reply that carries the mode (named or not)
    std::optional<ModeIndex> mode;      // and the mode, when the list has a name for it
    std::optional<bool> transmitting;   // a reply that says whether the radio transmits
    // What a rig-sharing server says of itself or the radio it serves: "Icom IC-7300, backend
    // version 20230109.10", "flrig 1.4.7 with IC-7300".
    std::string identity;
};

// One link's reading of the line: remembers what we sent (so its echo is known) and cuts what
// comes back into pieces. The live link and the doctor use the same reader.
class LineReader {
public:
    virtual ~LineReader() = default;
    // Our command going out; returns its name for people ("read frequency").
    virtual std::string Sent(std::string_view bytes) = 0;
    // The first piece of `bytes`. With `final`, nothing more is coming for now: what is there
    // is taken for what it is instead of waiting for the rest.
    virtual Piece Next(std::string_view bytes, bool final) = 0;
};

// What a scan probe's answer tells: the radio and, where the reply says, its address and model.
struct Identity {
    std::string address;  // ICOM: two hexadecimal digits
    std::string model;    // "IC-7300", "FT-991A", "K3"; empty when the reply does not say
    // A further read that tells models of one identity apart (Elecraft's radios all answer
    // ID017;); empty when there is none. Only ever a read.
    std::string followUp;
    // ICOM: more than one address of the scan's address train answered; `address` is the radio's
    // own only once its address read has given it.
    bool everyAddress = false;
};

class RadioFamily {
public:
    virtual ~RadioFamily() = default;

    // The protocol list's caption ("ICOM") and the protocol the family speaks.
    virtual std::string_view Name() const = 0;
    virtual Protocol Id() const = 0;
    virtual const FamilyRecord& Record() const = 0;

    // ---- the line -------------------------------------------------------------------------
    // Whether the family's rule wants RTS/CTS flow control at `speed` (a port may override it).
    virtual bool FlowControl(int speed) const = 0;
    // The address box's text as the link's radio address; nothing for a text that is no address
    // of this family. A family without addresses keeps the text as it is ("00" for none).
    virtual std::optional<std::string> RadioAddress(std::string_view text) const {
        const std::string_view address = Trim(text);
        return address.empty() ? "00" : std::string(address);
    }
    // The operator's words for a text RadioAddress refused.
    virtual std::string AddressRefusal(std::string_view text) const {
        return "The address \"" + std::string(Trim(text)) + "\" is not valid.";
    }
    // Our own address as the family's frames carry it (hexadecimal); empty where there is none.
    virtual std::string ControllerAddress() const { return {}; }

    // ---- the live link --------------------------------------------------------------------
    // Seconds between polls, measured from the end of the last one; nothing when the family
    // polls on every tick.
    virtual std::optional<Seconds> PollPeriod() const = 0;
    // The period for this link now: a family may read again sooner while a new link has not
    // yet shown what is on the line.
    virtual std::optional<Seconds> PollPeriodNow(const SessionState&) const { return PollPeriod(); }
    // How long the link waits for the answer to one command of a rig-sharing server, which may
    // deliver it in pieces as its network and its own pace allow; nothing for a radio, whose
    // reply comes whole at its line speed.
    virtual std::optional<Seconds> AnswerPatience() const { return std::nullopt; }
    // Asks the radio for its frequency and mode, and takes in whatever answer is already there.
    virtual void Poll(SessionState& state, Platform& platform) const = 0;
    // Bytes that empty the radio's command buffer of what the check for a five-byte radio left
    // in it (its probe at other speeds), sent before the link's first command so that this
    // reaches the radio whole; empty when the family's framing needs none.
    virtual std::string_view BufferClear() const { return {}; }
    // The link's first read, made the moment it may send, so that a working link shows its
    // reading at once and what is wrong shows soon: the poll's own read unless the family has
    // another (a server's account of its radio).
    virtual void ReadAtOpen(SessionState& state, Platform& platform) const {
        Poll(state, platform);
    }
    // The port's receive notification: parses replies that came in after a command returned.
    virtual void Receive(SessionState& state, CommPort& port) const = 0;
    // `hertz` as the operator asked for it; the family encodes it as its set command carries it,
    // and raises CatError, sending nothing, for a frequency the command cannot carry.
    virtual void SetFrequency(SessionState& state, Platform& platform,
                              std::int64_t hertz) const = 0;
    // `mode` is the mode list's position; one the list does not have is sent as the radio's
    // plain code for that number, as the list position has always been.
    virtual void SetMode(SessionState& state, Platform& platform, ModeIndex mode,
                         bool reversed) const = 0;

    // ---- transmit safety ------------------------------------------------------------------
    // Whether the radio transmits, by one read and a bounded wait (about 0.3 s at most) for its
    // answer; nothing when the radio does not say (no answer, a refusal, a radio without the
    // read). Never a command that changes the radio, even when the radio on the line speaks
    // another family's commands. Replies to the link's polls that come in meanwhile are taken
    // in as the receive pass would.
    virtual std::optional<bool> ReadTransmitting(SessionState& state, Platform& platform) const {
        (void)state;
        (void)platform;
        return std::nullopt;
    }
    // Keys (`on`) or unkeys the transmitter by command. Only the operator's PTT test sends it.
    virtual void KeyByCommand(SessionState& state, Platform& platform, bool on) const {
        (void)state;
        (void)platform;
        (void)on;
    }
    // The unkey command's bytes as they go on the line, for a program that is going down and
    // can only write them once: empty when the family has none.
    virtual std::string UnkeyBytes(const SessionState& state) const {
        (void)state;
        return {};
    }

    // ---- the doctor -----------------------------------------------------------------------
    // `radioAddress`: the chosen address as two hexadecimal digits (ignored where unaddressed).
    virtual std::unique_ptr<LineReader> Reader(std::string_view radioAddress) const = 0;
    // How long a whole reply of this family at the front of `bytes` is, when there is one that
    // the family reads as its own: the doctor asks every other family this of what the chosen
    // one cannot read. Nothing for bytes no radio of this family sends.
    virtual std::optional<std::size_t> Recognise(std::string_view bytes) const = 0;
    // Bytes as the monitor shows them: hex for binary families, text for text ones.
    virtual std::string ShowBytes(std::string_view bytes) const = 0;
    // The radio's own menu items that decide whether it listens, named for the advice.
    virtual std::string MenuAdvice(const std::string& speed,
                                   const std::string& radioAddress) const = 0;

    // ---- the scan -------------------------------------------------------------------------
    // A reply without frame or checksum must come twice alike before it counts.
    virtual bool ConfirmByRepeat() const { return false; }
    // What the answer to `probe` shows; nothing when it shows no radio of this family.
    virtual std::optional<Identity> Identify(std::string_view probe,
                                             std::string_view received) const = 0;
    // The answer to a follow-up read narrows the model down.
    virtual void Refine(Identity&, std::string_view /*received*/) const {}
    // "Elecraft K3 (Kenwood commands)", "Yaesu FT-991A", "IC-705 at A4".
    virtual std::string Describe(const Identity& identity) const = 0;
};

}  // namespace cat
