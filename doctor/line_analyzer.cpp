#include "doctor/line_analyzer.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "core/lookup.h"
#include "core/mode.h"
#include "core/session_state.h"
#include "protocols/civ/civ_codes.h"
#include "protocols/ft817/ft817.h"
#include "protocols/ft817/ft817_codes.h"
#include "protocols/kenwood/kenwood.h"
#include "protocols/kenwood/kenwood_codes.h"

namespace cat::doctor {

namespace {

// Longer than any reply of the three radios; a run this long without its end is not one.
constexpr std::size_t kLongestReply = 64;

std::uint8_t Byte(char c) { return static_cast<std::uint8_t>(c); }

int HexValue(std::string_view text) {
    if (text.size() != 2) return -1;
    int value = 0;
    for (char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

bool Printable(char c) { return Byte(c) >= 0x20 && Byte(c) < 0x7F; }

std::string Megahertz(long long hertz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f MHz", static_cast<double>(hertz) / 1e6);
    return text;
}

// Packed decimal, least significant byte first (CI-V): 00 40 07 14 00 is 14 074 000 Hz.
std::optional<long long> CivHertz(std::string_view data) {
    if (data.size() != 4 && data.size() != 5) return std::nullopt;
    long long hertz = 0;
    for (auto it = data.rbegin(); it != data.rend(); ++it) {
        const int high = Byte(*it) >> 4;
        const int low = Byte(*it) & 15;
        if (high > 9 || low > 9) return std::nullopt;
        hertz = hertz * 100 + high * 10 + low;
    }
    return hertz;
}

std::string CivName(std::uint8_t command) {
    if (const auto name = Lookup(civ::kCommandNames, command)) return std::string(*name);
    char text[16];
    std::snprintf(text, sizeof text, "command %02X", command);
    return text;
}

std::string KenwoodName(std::string_view text) {
    if (const auto name = Lookup(kenwood::kCommandNames, text.substr(0, 2)))
        return std::string(*name);
    return std::string(text.substr(0, 2));
}

// A CI-V frame is fe fe <to> <from> <command> ... fd.
struct CivFrame {
    std::uint8_t to = 0;
    std::uint8_t from = 0;
    std::uint8_t command = 0;
    std::string_view data;
};

std::optional<CivFrame> ReadCivFrame(std::string_view frame) {
    if (frame.size() < 6) return std::nullopt;
    return CivFrame{Byte(frame[2]), Byte(frame[3]), Byte(frame[4]),
                    frame.substr(5, frame.size() - 6)};
}

// Where a CI-V frame that starts at 0 ends (one past its fd); 0 while it is incomplete; npos when
// a new preamble inside shows the start was a broken piece.
std::size_t CivFrameEnd(std::string_view bytes) {
    for (std::size_t i = 2; i < bytes.size(); ++i) {
        if (Byte(bytes[i]) == civ::kEndOfMessage) return i + 1;
        if (Byte(bytes[i]) == civ::kPreamble && i + 1 < bytes.size() &&
            Byte(bytes[i + 1]) == civ::kPreamble)
            return std::string_view::npos;
    }
    return 0;
}

bool StartsCivFrame(std::string_view bytes) {
    return bytes.size() >= 2 && Byte(bytes[0]) == civ::kPreamble &&
           Byte(bytes[1]) == civ::kPreamble;
}

}  // namespace

LineAnalyzer::LineAnalyzer(std::int16_t protocolCode, std::string_view radioAddress)
    : protocol_(protocolCode), address_(HexValue(radioAddress)) {}

void LineAnalyzer::Add(LineUnit unit) {
    LineSummary& s = summary_;
    switch (unit.kind) {
        case UnitKind::Command:
            if (!s.firstCommand) s.firstCommand = unit.at;
            if (!s.firstUnanswered) s.firstUnanswered = unit.at;
            break;
        case UnitKind::Reply:
            s = LineSummary{s.firstCommand, unit.at, std::nullopt, 0, 0, 0, {}, {}};
            break;
        case UnitKind::Echo:
            ++s.echo;
            break;
        case UnitKind::Refusal:
            ++s.refusals;
            break;
        case UnitKind::Noise:
            ++s.noise;
            break;
        case UnitKind::OtherAddress:
            ++s.otherAddresses[unit.address];
            break;
        case UnitKind::OtherProtocol:
            ++s.otherProtocols[unit.otherProtocol];
            break;
    }
    units_.push_back(std::move(unit));
    ++total_;
    if (units_.size() > kKeptUnits) units_.pop_front();
}

void LineAnalyzer::Sent(double at, std::string_view bytes) {
    LineUnit unit{at, UnitKind::Command, std::string(bytes), {}, -1, 0};
    if (IsICOM(protocol_)) {
        // Our frames end in fd and a 00 outside the frame.
        if (const auto frame = ReadCivFrame(bytes.substr(0, bytes.find_last_of('\xFD') + 1)))
            unit.note = CivName(frame->command);
    } else if (IsKenwood(protocol_)) {
        std::string_view text = bytes;
        if (!text.empty() && text.back() == ';') text.remove_suffix(1);
        unit.note = KenwoodName(text);
        sentKenwood_.emplace_back(text);
        if (sentKenwood_.size() > 8) sentKenwood_.pop_front();
    } else if (IsFT817(protocol_) && bytes.size() == 5) {
        const auto name = Lookup(ft817::kOpcodeNames, Byte(bytes[4]));
        unit.note = name ? std::string(*name) : "opcode";
        lastCommand_ = std::string(bytes);
    }
    Add(std::move(unit));
}

void LineAnalyzer::Received(double at, std::string_view bytes) {
    if (bytes.empty()) return;
    if (pending_.empty()) pendingSince_ = at;
    pending_.append(bytes);
    Cut(at, false);
}

void LineAnalyzer::Settle(double now) {
    if (!pending_.empty() && now - pendingSince_ >= kSettleSeconds) Cut(now, true);
}

void LineAnalyzer::Cut(double at, bool final) {
    bool cut = false;
    while (!pending_.empty()) {
        std::size_t used = 0;
        if (IsICOM(protocol_)) {
            used = CutCiv(pending_, at, final);
        } else if (IsKenwood(protocol_)) {
            used = CutKenwood(pending_, at, final);
        } else if (IsFT817(protocol_)) {
            used = CutFt817(pending_, at, final);
        } else {
            Add({at, UnitKind::Noise, pending_, "no protocol chosen", -1, 0});
            used = pending_.size();
        }
        if (used == 0) break;
        pending_.erase(0, used);
        cut = true;
    }
    if (cut) pendingSince_ = at;
}

// Replies framed as another protocol frames them: a CI-V frame, or printable text up to a ";".
bool LineAnalyzer::TakeForeign(std::string_view bytes, double at, std::size_t& used) {
    if (!IsICOM(protocol_) && StartsCivFrame(bytes)) {
        const std::size_t end = CivFrameEnd(bytes);
        if (end == 0 || end == std::string_view::npos) return false;
        Add({at, UnitKind::OtherProtocol, std::string(bytes.substr(0, end)), "a CI-V frame", -1,
             kICOM});
        used = end;
        return true;
    }
    if (!IsKenwood(protocol_) && !bytes.empty() && Printable(bytes[0])) {
        const std::size_t end = bytes.find(';');
        if (end == std::string_view::npos || end > kLongestReply) return false;
        const std::string_view text = bytes.substr(0, end);
        if (!std::all_of(text.begin(), text.end(), Printable)) return false;
        Add({at, UnitKind::OtherProtocol, std::string(bytes.substr(0, end + 1)),
             "text ending in \";\"", -1, kKenwood});
        used = end + 1;
        return true;
    }
    return false;
}

void LineAnalyzer::AddCivFrame(std::string_view frame, double at) {
    const auto f = ReadCivFrame(frame);
    LineUnit unit{at, UnitKind::Noise, std::string(frame), "not a frame", -1, 0};
    if (!f) {
    } else if (f->from == civ::kController) {
        unit.kind = UnitKind::Echo;
        unit.note = "echo of " + CivName(f->command);
        echoAwaited_ = true;  // the 00 we send after every frame may follow
    } else if (f->from != address_) {
        unit.kind = UnitKind::OtherAddress;
        unit.address = f->from;
        char text[64];
        std::snprintf(text, sizeof text, "from a radio at %02X: %s", f->from,
                      CivName(f->command).c_str());
        unit.note = text;
    } else if (f->command == civ::kNg) {
        unit.kind = UnitKind::Refusal;
        unit.note = "the radio refuses the command (NG)";
    } else if (f->command == 0x00 || f->command == 0x03) {
        // A frequency that is not packed decimal fails the frame's only check.
        if (const auto hertz = CivHertz(f->data)) {
            unit.kind = UnitKind::Reply;
            unit.note = CivName(f->command) + ": " + Megahertz(*hertz);
        } else {
            unit.note = "a frequency frame that is not packed decimal";
        }
    } else {
        unit.kind = UnitKind::Reply;
        unit.note = CivName(f->command);
        // The mode byte reads as two decimal digits: 04 is RTTY, shown as FSK.
        if ((f->command == 0x01 || f->command == 0x04) && !f->data.empty()) {
            const int code = (Byte(f->data[0]) >> 4) * 10 + (Byte(f->data[0]) & 15);
            const auto mode = Lookup(civ::kReceivedModes, code);
            const auto name = mode ? ModeName(ToInt(*mode)) : std::nullopt;
            unit.note += ": " + (name ? std::string(*name) : "a mode without a name here");
        }
    }
    Add(std::move(unit));
}

std::size_t LineAnalyzer::CutCiv(std::string_view bytes, double at, bool final) {
    if (StartsCivFrame(bytes)) {
        const std::size_t end = CivFrameEnd(bytes);
        if (end == std::string_view::npos) {
            // A frame cut short by a new one: its start is noise, the new frame follows.
            const std::size_t next = bytes.find("\xFE\xFE", 2);
            Add({at, UnitKind::Noise, std::string(bytes.substr(0, next)), "a broken frame", -1, 0});
            return next;
        }
        if (end > 0) {
            AddCivFrame(bytes.substr(0, end), at);
            // Our frames go out with a 00 after them; its echo belongs with theirs.
            if (echoAwaited_ && end < bytes.size() && bytes[end] == '\0') {
                units_.back().bytes.push_back('\0');
                echoAwaited_ = false;
                return end + 1;
            }
            return end;
        }
        if (!final && bytes.size() < kLongestReply) return 0;
        Add({at, UnitKind::Noise, std::string(bytes), "a frame without its end", -1, 0});
        return bytes.size();
    }
    if (echoAwaited_ && bytes[0] == '\0') {
        echoAwaited_ = false;
        Add({at, UnitKind::Echo, std::string(1, '\0'), "echo of the 00 after our frame", -1, 0});
        return 1;
    }
    echoAwaited_ = false;
    std::size_t used = 0;
    if (TakeForeign(bytes, at, used)) return used;
    // Anything up to the next preamble forms nothing; a lone FE waits to see whether a second
    // follows.
    std::size_t next = bytes.find('\xFE', Byte(bytes[0]) == civ::kPreamble ? 1 : 0);
    if (next == std::string_view::npos) {
        if (!final && bytes.size() < kLongestReply) return 0;
        next = bytes.size();
    }
    Add({at, UnitKind::Noise, std::string(bytes.substr(0, next)), "forms no frame", -1, 0});
    return next;
}

std::size_t LineAnalyzer::CutKenwood(std::string_view bytes, double at, bool final) {
    std::size_t used = 0;
    if (TakeForeign(bytes, at, used)) return used;
    const std::size_t end = bytes.find(';');
    if (end == std::string_view::npos) {
        if (StartsCivFrame(bytes) && CivFrameEnd(bytes) == 0 && !final) return 0;
        if (!final && bytes.size() < kLongestReply) return 0;
        Add({at, UnitKind::Noise, std::string(bytes), "no \";\" ends it", -1, 0});
        return bytes.size();
    }
    const std::string_view text = bytes.substr(0, end);
    LineUnit unit{at, UnitKind::Noise, std::string(bytes.substr(0, end + 1)), "forms no reply", -1,
                  0};
    const auto echoed = std::find(sentKenwood_.begin(), sentKenwood_.end(), text);
    const bool printable = std::all_of(text.begin(), text.end(), Printable);
    if (text == kenwood::kRefusal) {
        unit.kind = UnitKind::Refusal;
        unit.note = "the radio refuses the command";
    } else if (echoed != sentKenwood_.end()) {
        sentKenwood_.erase(echoed);
        unit.kind = UnitKind::Echo;
        unit.note = "echo of " + KenwoodName(text);
    } else if (printable && text.size() >= 2 && text[0] >= 'A' && text[0] <= 'Z' &&
               text[1] >= 'A' && text[1] <= 'Z') {
        if (text.substr(0, 2) != kenwood::kReadStatus) {
            unit.kind = UnitKind::Reply;
            unit.note = KenwoodName(text);
        } else if (IsStatusReply(text)) {
            unit.kind = UnitKind::Reply;
            long long hertz = 0;
            for (char c : text.substr(2, 11)) hertz = hertz * 10 + (c - '0');
            unit.note = "status: " + Megahertz(hertz);
            std::int16_t mode = -1;
            std::int16_t reverse = 0;
            if (text[29] >= '0' && text[29] <= '9')
                KenwoodMode(static_cast<std::int16_t>(text[29] - '0'), mode, reverse);
            if (const auto name = ModeName(mode)) unit.note += " " + std::string(*name);
        } else {
            unit.note = "a damaged status reply";
        }
    }
    Add(std::move(unit));
    return end + 1;
}

std::size_t LineAnalyzer::CutFt817(std::string_view bytes, double at, bool final) {
    std::size_t used = 0;
    if (TakeForeign(bytes, at, used)) return used;
    const bool textSoFar = std::all_of(bytes.begin(), bytes.end(), Printable);
    if (!final && (bytes.size() < 5 || (textSoFar && bytes.size() < kLongestReply) ||
                   (StartsCivFrame(bytes) && CivFrameEnd(bytes) == 0)))
        return 0;
    if (bytes.size() < 5) {
        Add({at, UnitKind::Noise, std::string(bytes), "too short for a reply", -1, 0});
        return bytes.size();
    }
    const std::string_view five = bytes.substr(0, 5);
    if (!lastCommand_.empty() && five == lastCommand_) {
        lastCommand_.clear();  // one echo per command
        Add({at, UnitKind::Echo, std::string(five), "echo of our command", -1, 0});
        return 5;
    }
    Ft817Reply reply;
    for (std::size_t i = 0; i < 5; ++i) reply.Data[i] = Byte(five[i]);
    reply.NData = 5;
    if (const auto tens = PlausibleTensOfHertz(reply)) {
        Add({at, UnitKind::Reply, std::string(five), "frequency and mode: " + Megahertz(*tens * 10),
             -1, 0});
    } else {
        Add({at, UnitKind::Noise, std::string(five), "cannot be a reading", -1, 0});
    }
    return 5;
}

}  // namespace cat::doctor
