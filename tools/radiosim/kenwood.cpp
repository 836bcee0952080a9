// The Kenwood side: two-letter commands with fixed-width parameters, each ended by ';'. A read
// is the bare command, a set carries parameters; what the radio does not take is answered ?;.

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "tools/radiosim/radio.h"
#include "tools/radiosim/text.h"

namespace radiosim {
namespace {

constexpr std::size_t kMaxCommand = 64;

// IF answer fields between the frequency and the TX/RX digit: step (4), RIT/XIT offset (6), RIT,
// XIT, memory channel (3). The TX/RX digit follows at index 28 of the answer, then the mode.
constexpr std::string_view kBeforeTransmit = "0000+0000000000";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<int> VfoDigit(std::string_view params) {
    if (params.size() != 1 || (params[0] != '0' && params[0] != '1')) return std::nullopt;
    return params[0] - '0';
}

}  // namespace

// The commands, the feature a radio needs beyond the core set, and their handlers.
const Radio::KenwoodCommand Radio::kKenwoodCommands[] = {
    {"AI", 0, &Radio::KenwoodAi},
    {"DA", kKenwoodData, &Radio::KenwoodDa},
    {"FA", 0, &Radio::KenwoodFa},
    {"FB", kKenwoodFull, &Radio::KenwoodFb},
    {"FR", kKenwoodFull, &Radio::KenwoodFr},
    {"FT", kKenwoodFull, &Radio::KenwoodFt},
    {"FV", kKenwoodFirmware, &Radio::KenwoodFv, kNeverWrites},
    {"ID", 0, &Radio::KenwoodId, kNeverWrites},
    {"IF", 0, &Radio::KenwoodIf, kNeverWrites},
    {"MD", 0, &Radio::KenwoodMd},
    {"PS", 0, &Radio::KenwoodPs},
    {"RX", kKenwoodFull, &Radio::KenwoodRx, kAlwaysWrites},
    {"SM", kKenwoodFull, &Radio::KenwoodSm, 1},
    {"TX", kKenwoodFull, &Radio::KenwoodTx, kAlwaysWrites},
    {"K2", kKenwoodElecraft, &Radio::KenwoodK2},
    {"K3", kKenwoodElecraft, &Radio::KenwoodK3},
    {"OM", kKenwoodElecraft, &Radio::KenwoodOm, kNeverWrites},
    {"RV", kKenwoodElecraft, &Radio::KenwoodRv, 1},
    {"BW", kKenwoodElecraft, &Radio::KenwoodBw},
    {"TQ", kKenwoodElecraft, &Radio::KenwoodTq, kNeverWrites},
    {"ZZFA", kKenwoodZz, &Radio::KenwoodZzFa},
    {"ZZFB", kKenwoodZz, &Radio::KenwoodZzFb},
    {"ZZIF", kKenwoodZz, &Radio::KenwoodZzIf, kNeverWrites},
    {"ZZMD", kKenwoodZz, &Radio::KenwoodZzMd},
};

void Radio::KenwoodText(char c) {
    // The radio keeps every byte up to the next ';' and reads the whole run as one command:
    // bytes of another family's frame, or sent at another speed, end up in front of the next
    // command, which is then no command at all and draws ?; (FT-991 CAT reference book, p. 2:
    // unnecessary characters make a command wrong). A run longer than any command still ends at
    // its ';': the bytes past the buffer are gone, but the radio knows the command is broken.
    if (c == ';') {
        if (kenwood_overflow_) {
            listener_.Report("unknown (" + std::to_string(kMaxCommand) + " bytes and more);");
            listener_.Transmit("?;");
        } else if (config_.protocol == Protocol::kYaesu) {
            YaesuCommandText(kenwood_pending_);
        } else {
            KenwoodCommandText(kenwood_pending_);
        }
        kenwood_pending_.clear();
        kenwood_overflow_ = false;
    } else if (kenwood_pending_.size() < kMaxCommand) {
        kenwood_pending_.push_back(c);
    } else {
        kenwood_overflow_ = true;
    }
}

void Radio::KenwoodCommandText(std::string_view command) {
    // The SDR programs' own commands have four letters, ZZ and two more.
    const bool zz = Has(kKenwoodZz) && command.substr(0, 2) == "ZZ";
    const std::string_view name = command.substr(0, zz ? 4 : 2);
    const KenwoodCommand* found = nullptr;
    for (const KenwoodCommand& row : kKenwoodCommands) {
        if (row.name == name && (row.needs == 0 || Has(row.needs))) found = &row;
    }
    const std::string_view params = command.substr(name.size());
    // '$' alone asks an Elecraft radio about VFO B: a read.
    if (params != "$" && (found == nullptr ? TextIsWrite(name, params, false)
                                           : Writes(found->reads, params.size()))) {
        ReportWrite("kenwood", std::string(command) + ";");
    }
    if (config_.refuse) {
        listener_.Transmit("?;");
        return;
    }
    Reply reply;
    if (found == nullptr) {
        listener_.Report("unknown " + Printable(command) + ";");
    } else {
        answering_ = true;
        reply = (this->*found->handle)(params);
        answering_ = false;
    }
    if (!reply) {
        listener_.Transmit("?;");
    } else if (!reply->empty()) {
        listener_.Transmit(std::move(*reply));
    }
    for (std::string& text : deferred_) listener_.Transmit(std::move(text));
    deferred_.clear();
}

bool Radio::TextIsWrite(std::string_view name, std::string_view params, bool yaesu) {
    // A text command is a read when bare. These reads name what they read in their first
    // characters: a receiver (SM0), a meter (RM1), a menu item (EX), a VFO ('$' on Elecraft
    // radios, main or sub on Yaesu radios).
    struct Row {
        std::string_view name;
        std::size_t reads;
    };
    static constexpr Row kKenwoodReads[] = {{"SM", 1}, {"RM", 1}, {"EX", 7}, {"RV", 1}};
    static constexpr Row kYaesuReads[] = {
        {"SM", 1}, {"RM", 1}, {"EX", 3}, {"AG", 1}, {"RG", 1}, {"SQ", 1}, {"SH", 1},
        {"NA", 1}, {"IS", 1}, {"RL", 1}, {"NL", 1}, {"MD", 1}, {"CT", 1}, {"CN", 2},
        {"CO", 2}, {"BP", 2}, {"FN", 0}, {"GT", 1}, {"VM", 1},
    };
    // And these change something even when bare: transmit, receive, steps, copying VFOs and
    // memories.
    static constexpr std::string_view kKenwoodBare[] = {"TX", "RX", "UP", "DN", "RC", "BU", "BD"};
    static constexpr std::string_view kYaesuBare[] = {"AB", "BA", "SV", "AM", "MA",
                                                      "QI", "QR", "UP", "DN"};
    // Bytes that are no two letters (another family's, or sent at another speed) name no
    // command: the radio refuses them and changes nothing.
    const auto letter = [](char c) { return c >= 'A' && c <= 'Z'; };
    if (name.size() < 2 || !std::all_of(name.begin(), name.end(), letter)) return false;
    if (params.empty()) {
        for (std::string_view bare : yaesu ? std::span<const std::string_view>(kYaesuBare)
                                           : std::span<const std::string_view>(kKenwoodBare)) {
            if (bare == name) return true;
        }
        return false;
    }
    if (!yaesu && params == "$") return false;
    for (const Row& row :
         yaesu ? std::span<const Row>(kYaesuReads) : std::span<const Row>(kKenwoodReads)) {
        if (row.name == name) return params.size() > row.reads;
    }
    return true;
}

std::string Radio::KenwoodInformation() const {
    const std::string frequency = HertzDigits(tuning().hz, 11);
    const char mode = tuning().mode->kenwood;
    const char vfo = static_cast<char>('0' + selected_);
    const char split = selected_ != transmit_ ? '1' : '0';
    if (Has(kKenwoodElecraft)) {
        // Blanks where the Elecraft radios have no step or memory bank; the two fields before
        // the final 1 are 0 in the basic layout (K22, K31 fill them).
        return "IF" + frequency + "     +000000 00" + TransmitDigit() + mode + vfo + "0" + split +
               "001 ;";
    }
    if (Has(kKenwoodBlankStep)) {
        return "IF" + frequency + "     +0000" + "00000" + TransmitDigit() + mode + vfo + "0" +
               split + "000 ;";
    }
    // IF, frequency, step, RIT/XIT, memory, TX/RX, mode, VFO, scan, split, tone, tone number,
    // shift: 38 characters.
    std::string reply = "IF" + frequency;
    reply.append(kBeforeTransmit);
    reply.push_back(TransmitDigit());
    reply.push_back(mode);
    reply.push_back(vfo);
    reply.push_back('0');
    reply.push_back(split);
    reply.append("0000;");
    return reply;
}

std::string Radio::TextInformation() const {
    return config_.protocol == Protocol::kYaesu ? YaesuInformation() : KenwoodInformation();
}

Radio::Reply Radio::KenwoodFrequency(int vfo, std::string_view params) {
    if (params.empty())
        return std::string(vfo == 0 ? "FA" : "FB") + HertzDigits(Vfo(vfo).hz, 11) + ";";
    return TuneVfoFromDigits(vfo, params, 11);
}

Radio::Reply Radio::KenwoodK2(std::string_view params) {
    if (params.empty()) return std::string("K2") + k2_mode_ + ";";
    if (params.size() != 1 || params[0] < '0' || params[0] > '3') return std::nullopt;
    k2_mode_ = params[0];
    return std::string();
}

Radio::Reply Radio::KenwoodK3(std::string_view params) {
    if (params.empty()) return std::string("K3") + k3_mode_ + ";";
    if (params.size() != 1 || params[0] < '0' || params[0] > '1') return std::nullopt;
    k3_mode_ = params[0];
    return std::string();
}

Radio::Reply Radio::KenwoodOm(std::string_view params) {
    if (!params.empty()) return std::nullopt;
    return "OM " + std::string(model_.modules) + ";";
}

Radio::Reply Radio::KenwoodRv(std::string_view params) {
    // The firmware revision of one of the radio's processors: M main, D DSP, A auxiliary, R DVR,
    // F front panel.
    if (params.size() != 1 || std::string_view("MDARF").find(params[0]) == std::string_view::npos) {
        return std::nullopt;
    }
    return "RV" + std::string(params) + "05.67;";
}

Radio::Reply Radio::KenwoodBw(std::string_view params) {
    // Kept and read back; radiosim has no filter to change.
    if (params.empty()) return "BW" + bandwidth_ + ";";
    if (params.size() != 4) return std::nullopt;
    for (char c : params) {
        if (!IsDigit(c)) return std::nullopt;
    }
    bandwidth_ = params;
    listener_.Report("setting BW " + bandwidth_);
    return std::string();
}

Radio::Reply Radio::KenwoodTq(std::string_view params) {
    // Transmit query: TQ1; while transmitting, whatever keyed the radio.
    if (!params.empty()) return std::nullopt;
    return std::string("TQ") + TransmitDigit() + ";";
}

namespace {

// ZZMD codes of the SDR programs for the modes radiosim has: 00 LSB, 01 USB, 03 CW-L, 04 CW-U,
// 05 FM, 06 AM, 07 DIG-U, 09 DIG-L. FSK rides on DIG-L and FSK-R on DIG-U there.
constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kZzModes{{
    {"LSB", "00"},
    {"USB", "01"},
    {"CW-R", "03"},
    {"CW", "04"},
    {"FM", "05"},
    {"AM", "06"},
    {"FSK-R", "07"},
    {"FSK", "09"},
}};

std::string_view ZzCode(std::string_view mode) {
    for (const auto& [name, code] : kZzModes) {
        if (name == mode) return code;
    }
    return mode == "PKT" ? "07" : "05";  // data rides on DIG-U, WFM on FM
}

}  // namespace

Radio::Reply Radio::KenwoodZzFa(std::string_view params) {
    Reply reply = KenwoodFrequency(0, params);
    return reply && !reply->empty() ? "ZZ" + *reply : reply;
}

Radio::Reply Radio::KenwoodZzFb(std::string_view params) {
    Reply reply = KenwoodFrequency(1, params);
    return reply && !reply->empty() ? "ZZ" + *reply : reply;
}

Radio::Reply Radio::KenwoodZzMd(std::string_view params) {
    if (params.empty()) return "ZZMD" + std::string(ZzCode(tuning().mode->name)) + ";";
    for (const auto& [name, code] : kZzModes) {
        if (code == params && HasMode(model_, name)) {
            SelectMode(*FindMode(name), tuning().filter);
            return std::string();
        }
    }
    return std::nullopt;
}

Radio::Reply Radio::KenwoodZzIf(std::string_view params) {
    // The IF fields with a two-digit mode: frequency, step, RIT/XIT offset, RIT, XIT, memory,
    // TX/RX, mode, VFO, scan, split, tone, tone number, shift.
    if (!params.empty()) return std::nullopt;
    return "ZZIF" + HertzDigits(tuning().hz, 11) + std::string(kBeforeTransmit) + TransmitDigit() +
           std::string(ZzCode(tuning().mode->name)) + static_cast<char>('0' + selected_) + "0" +
           (selected_ != transmit_ ? "1" : "0") + "0000;";
}

Radio::Reply Radio::KenwoodFr(std::string_view params) {
    if (params.empty()) return "FR" + std::to_string(selected_) + ";";
    const auto vfo = VfoDigit(params);
    if (!vfo) return std::nullopt;
    // Choosing the receive VFO makes it the transmit VFO too; FT then splits them.
    Select(*vfo);
    transmit_ = *vfo;
    return std::string();
}

Radio::Reply Radio::KenwoodFt(std::string_view params) {
    if (params.empty()) return "FT" + std::to_string(transmit_) + ";";
    const auto vfo = VfoDigit(params);
    if (!vfo) return std::nullopt;
    transmit_ = *vfo;
    SetSplit(transmit_ != selected_);
    return std::string();
}

Radio::Reply Radio::KenwoodIf(std::string_view params) {
    if (!params.empty()) return std::nullopt;
    return KenwoodInformation();
}

Radio::Reply Radio::KenwoodMd(std::string_view params) {
    if (params.empty()) return std::string("MD") + tuning().mode->kenwood + ";";
    if (params == "$" && Has(kKenwoodElecraft)) {
        return std::string("MD$") + Vfo(1 - selected_).mode->kenwood + ";";
    }
    if (params.size() != 1) return std::nullopt;
    for (std::string_view name : model_.modes) {
        const Mode* mode = FindMode(name);
        // WFM and PKT share digits with FM and USB; a set command means the plain mode.
        if (mode->kenwood == params[0] && name != "WFM" && name != "PKT" && name != "DV" &&
            name != "DD") {
            SelectMode(*mode, tuning().filter);
            return std::string();
        }
    }
    return std::nullopt;
}

Radio::Reply Radio::KenwoodId(std::string_view params) {
    if (!params.empty()) return std::nullopt;
    return "ID" + std::string(model_.id) + ";";
}

Radio::Reply Radio::KenwoodFv(std::string_view params) {
    if (!params.empty()) return std::nullopt;
    return "FV" + std::string(model_.firmware) + ";";
}

Radio::Reply Radio::KenwoodDa(std::string_view params) {
    if (params.empty()) return "DA" + std::to_string(tuning().data) + ";";
    const auto on = VfoDigit(params);
    if (!on) return std::nullopt;
    Vfo(selected_).data = static_cast<std::uint8_t>(*on);
    listener_.Report("data " + std::to_string(*on));
    return std::string();
}

Radio::Reply Radio::KenwoodPs(std::string_view params) {
    if (params.empty()) return std::string("PS1;");
    // Switching off is taken and reported, but the radio stays on to be useful.
    if (Has(kKenwoodFull) && (params == "0" || params == "1")) {
        listener_.Report(params == "1" ? "power on" : "power off");
        return std::string();
    }
    return std::nullopt;
}

Radio::Reply Radio::KenwoodAi(std::string_view params) {
    if (params.empty()) return std::string("AI") + auto_information_ + ";";
    // Without a model only AI0 is taken: controllers switch auto-information off before polling.
    const bool taken = params == "0" || (Has(kKenwoodFull) && params.size() == 1 &&
                                         params[0] >= '0' && params[0] <= '4');
    if (!taken) return std::nullopt;
    auto_information_ = params[0];
    return std::string();
}

Radio::Reply Radio::KenwoodSm(std::string_view params) {
    // SM0 is the main receiver; SM1 the sub receiver, which hears nothing.
    if (params == "0") return "SM0" + std::string(model_.meter) + ";";
    if (params == "1" && Has(kKenwoodMeterSub)) return std::string("SM10000;");
    return std::nullopt;
}

Radio::Reply Radio::KenwoodTx(std::string_view params) {
    // TX; and TX0..TX2 (microphone, data, tune) all key the transmitter until RX;.
    if (params.size() > 1 || (params.size() == 1 && (params[0] < '0' || params[0] > '2'))) {
        return std::nullopt;
    }
    listener_.Report("ptt on");
    Key(KeySource::kCat, true);
    return std::string();
}

Radio::Reply Radio::KenwoodRx(std::string_view params) {
    if (!params.empty()) return std::nullopt;
    listener_.Report("ptt off");
    Key(KeySource::kCat, false);
    return std::string();
}

}  // namespace radiosim
