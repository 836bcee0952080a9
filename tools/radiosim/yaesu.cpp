// The Yaesu text side (FT-991A, FT-891, FT-710, FTDX10, FTDX101D): two-letter commands ended by
// ';' as on a Kenwood, but with Yaesu's own widths and codes: nine frequency digits, a mode
// character after a receiver digit (MD0), a four-digit ID and an IF answer of its own layout.
// What the radio does not know, or a value it cannot take, draws ?;.

#include "tools/radiosim/radio.h"
#include "tools/radiosim/text.h"

namespace radiosim {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::optional<int> OneOf(std::string_view params, char last) {
    if (params.size() != 1 || params[0] < '0' || params[0] > last) return std::nullopt;
    return params[0] - '0';
}

}  // namespace

const Radio::KenwoodCommand Radio::kYaesuCommands[] = {
    {"AB", 0, &Radio::YaesuAb, kAlwaysWrites},
    {"AI", 0, &Radio::YaesuAi},
    {"EX", 0, &Radio::YaesuEx},
    {"FA", 0, &Radio::YaesuFa},
    {"FB", 0, &Radio::YaesuFb},
    {"FT", 0, &Radio::YaesuFt},
    {"ID", 0, &Radio::YaesuId, kNeverWrites},
    {"IF", 0, &Radio::YaesuIf, kNeverWrites},
    {"MD", 0, &Radio::YaesuMd, 1},
    {"NA", 0, &Radio::YaesuNa, 1},
    {"RF", 0, &Radio::YaesuRf, 1},
    {"SH", 0, &Radio::YaesuSh, 1},
    {"ST", 0, &Radio::YaesuSt},
    {"PS", 0, &Radio::YaesuPs},
    {"TX", 0, &Radio::YaesuTx},
    {"VS", 0, &Radio::YaesuVs},
};

void Radio::YaesuCommandText(std::string_view text) {
    // The manuals allow lower case. Every other byte is part of the command, line ends too.
    std::string command;
    for (char c : text) command.push_back(Upper(c));
    const std::string_view name = std::string_view(command).substr(0, 2);
    const std::string_view params = std::string_view(command).substr(name.size());
    const KenwoodCommand* found = nullptr;
    for (const KenwoodCommand& row : kYaesuCommands) {
        if (row.name == name) found = &row;
    }
    // A menu read names its item in as many digits as the radio's menu numbers have.
    const int reads = name == "EX" ? model_.menu_digits : found != nullptr ? found->reads : 0;
    if (found == nullptr ? TextIsWrite(name, params, true) : Writes(reads, params.size())) {
        ReportWrite("yaesu", command + ";");
    }
    Reply reply;
    if (config_.refuse) {
        reply = std::nullopt;
    } else if (found == nullptr) {
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
    for (std::string& answer : deferred_) listener_.Transmit(std::move(answer));
    deferred_.clear();
}

std::string Radio::YaesuInformation() const {
    // IF, memory channel (3), frequency (9), clarifier direction and offset (5), RX clarifier,
    // TX clarifier, mode, VFO (0) or memory, CTCSS (0 off), 00, shift (0 simplex): 28 characters.
    std::string reply = "IF001" + HertzDigits(tuning().hz, 9) + "+0000";
    reply += clarifier_ ? "1" : "0";
    reply += "0";
    reply.push_back(tuning().mode->yaesu);
    reply += "00000;";
    return reply;
}

Radio::Reply Radio::YaesuFrequency(int vfo, std::string_view params) {
    if (params.empty())
        return std::string(vfo == 0 ? "FA" : "FB") + HertzDigits(Vfo(vfo).hz, 9) + ";";
    return TuneVfoFromDigits(vfo, params, 9);
}

Radio::Reply Radio::YaesuMd(std::string_view params) {
    // MD0 is the main receiver; these radios are read and set through it.
    if (params.empty() || params[0] != '0' || params.size() > 2) return std::nullopt;
    if (params.size() == 1) return std::string("MD0") + tuning().mode->yaesu + ";";
    for (std::string_view name : model_.modes) {
        const Mode* mode = FindMode(name);
        if (mode->yaesu == params[1]) {
            SelectMode(*mode, tuning().filter);
            return std::string();
        }
    }
    return std::nullopt;
}

Radio::Reply Radio::YaesuIf(std::string_view params) {
    if (!params.empty()) return std::nullopt;
    return YaesuInformation();
}

Radio::Reply Radio::YaesuId(std::string_view params) {
    if (!params.empty()) return std::nullopt;
    return "ID" + std::string(model_.id) + ";";
}

Radio::Reply Radio::YaesuAi(std::string_view params) {
    if (params.empty()) return std::string("AI") + auto_information_ + ";";
    if (!OneOf(params, '1')) return std::nullopt;
    auto_information_ = params[0];
    return std::string();
}

Radio::Reply Radio::YaesuPs(std::string_view params) {
    if (params.empty()) return std::string("PS1;");
    // Taken and reported; the radio stays on to be useful.
    if (!OneOf(params, '1')) return std::nullopt;
    listener_.Report(params == "1" ? "power on" : "power off");
    return std::string();
}

Radio::Reply Radio::YaesuTx(std::string_view params) {
    // The answer tells who keyed the radio: TX1; CAT, TX2; the radio itself (its PTT, VOX or a
    // line of the CAT port wired to it), TX0; nobody.
    if (params.empty()) {
        if (KeyedBy(KeySource::kCat)) return std::string("TX1;");
        return std::string(Transmitting() ? "TX2;" : "TX0;");
    }
    if (!OneOf(params, '2')) return std::nullopt;
    listener_.Report(params == "0" ? "ptt off" : "ptt on");
    Key(KeySource::kCat, params != "0");
    return std::string();
}

Radio::Reply Radio::YaesuVs(std::string_view params) {
    if (params.empty()) return "VS" + std::to_string(selected_) + ";";
    const auto vfo = OneOf(params, '1');
    if (!vfo) return std::nullopt;
    Select(*vfo);
    return std::string();
}

Radio::Reply Radio::YaesuEx(std::string_view params) {
    // Menu items: what was written reads back, an item never written reads 0. radiosim knows the
    // menus' numbering, not their factory values.
    const auto digits = static_cast<std::size_t>(model_.menu_digits);
    if (params.size() < digits) return std::nullopt;
    int item = 0;
    for (char c : params.substr(0, digits)) {
        if (!IsDigit(c)) return std::nullopt;
        item = item * 10 + (c - '0');
    }
    if (item == 0) return std::nullopt;
    if (params.size() == digits) {
        const auto stored = settings_.find(item);
        return "EX" + std::string(params) + (stored != settings_.end() ? stored->second : "0") +
               ";";
    }
    settings_[item] = params.substr(digits);
    listener_.Report("setting " + std::string(params.substr(0, digits)) + " " +
                     std::string(params.substr(digits)));
    return std::string();
}

Radio::Reply Radio::YaesuSetting(std::string_view name, std::string_view params,
                                 std::string_view initial) {
    // Receiver digit 0 (main), then the value: the width (SH: index, with an on/off digit before
    // it on some models), narrow on/off (NA), roofing filter (RF). Kept and read back; radiosim
    // has no filters to change.
    if (params.empty() || params[0] != '0') return std::nullopt;
    const std::string key(name);
    if (params.size() == 1) {
        const auto stored = text_settings_.find(key);
        return key + "0" +
               (stored != text_settings_.end() ? stored->second : std::string(initial)) + ";";
    }
    const std::string_view value = params.substr(1);
    if (value.size() < initial.size() || value.size() > initial.size() + 1) return std::nullopt;
    for (char c : value) {
        if (!IsDigit(c)) return std::nullopt;
    }
    text_settings_[key] = value;
    listener_.Report("setting " + key + "0 " + std::string(value));
    return std::string();
}

Radio::Reply Radio::YaesuSt(std::string_view params) {
    if (params.empty()) return std::string("ST") + (split_ ? '1' : '0') + ";";
    const auto on = OneOf(params, '1');
    if (!on) return std::nullopt;
    transmit_ = *on == 1 ? 1 - selected_ : selected_;
    SetSplit(*on == 1);
    return std::string();
}

Radio::Reply Radio::YaesuAb(std::string_view params) {
    if (!params.empty()) return std::nullopt;
    vfo_[1] = vfo_[0];
    listener_.Report("vfo equal");
    return std::string();
}

Radio::Reply Radio::YaesuFt(std::string_view params) {
    if (params.empty()) return "FT" + std::to_string(transmit_) + ";";
    const auto vfo = OneOf(params, '1');
    if (!vfo) return std::nullopt;
    transmit_ = *vfo;
    SetSplit(transmit_ != selected_);
    return std::string();
}

}  // namespace radiosim
