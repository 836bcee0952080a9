#include "tools/radiosim/radio.h"

#include <utility>

#include "tools/radiosim/text.h"

namespace radiosim {
namespace {

constexpr std::array<Mode, 17> kModes{{
    {"LSB", 0x00, '1', 0x00, '1'},
    {"USB", 0x01, '2', 0x01, '2'},
    {"CW", 0x03, '3', 0x02, '3'},
    {"CW-R", 0x07, '7', 0x03, '7'},
    {"AM", 0x02, '5', 0x04, '5'},
    {"FM", 0x05, '4', 0x08, '4'},
    {"WFM", 0x06, '4', 0x06, '4'},
    {"FSK", 0x04, '6', 0x0A, '6'},
    {"FSK-R", 0x08, '9', 0x0A, '9'},
    {"PKT", 0x01, '2', 0x0C, 'C'},
    // D-STAR voice and data: only the ICOM radios that have them offer them.
    {"DV", 0x17, '4', 0x08, '4'},
    {"DD", 0x22, '4', 0x08, '4'},
    // Yaesu's own: data on LSB and FM, the narrow filters, and C4FM digital voice.
    {"DATA-L", 0x00, '1', 0x0A, '8'},
    {"DATA-FM", 0x05, '4', 0x0C, 'A'},
    {"FM-N", 0x05, '4', 0x08, 'B'},
    {"AM-N", 0x02, '5', 0x04, 'D'},
    {"C4FM", 0x05, '4', 0x08, 'E'},
}};

constexpr std::array<std::pair<KeySource, std::string_view>, 4> kKeySourceNames{{
    {KeySource::kCat, "cat"},
    {KeySource::kRts, "rts"},
    {KeySource::kDtr, "dtr"},
    {KeySource::kHand, "key"},
}};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

const Mode* FindMode(std::string_view name) {
    std::string upper;
    for (char c : name) upper.push_back(Upper(c));
    for (const Mode& mode : kModes) {
        if (mode.name == upper) return &mode;
    }
    return nullptr;
}

std::string ModeNames(const Model& model) {
    std::string names;
    for (std::string_view mode : model.modes) {
        if (!names.empty()) names.push_back(' ');
        names.append(mode);
    }
    return names;
}

std::int64_t Radio::Limit(Protocol protocol) {
    return protocol == Protocol::kFt817 || protocol == Protocol::kYaesu ? 1'000'000'000
                                                                        : 10'000'000'000;
}

Radio::Radio(Config config, Tuning initial, Listener& listener)
    : config_(config),
      model_(config.model != nullptr ? *config.model : GenericModel(config.protocol)),
      listener_(listener) {
    if (initial.mode == nullptr) initial.mode = FindMode("USB");
    initial.hz = Quantise(initial.hz);
    vfo_ = {initial, initial};
}

bool Radio::Allowed(const Mode& mode) const { return HasMode(model_, mode.name); }

std::int64_t Radio::Quantise(std::int64_t hz) const {
    // The FT-817 synthesiser steps in 10 Hz.
    return config_.protocol == Protocol::kFt817 ? hz - hz % 10 : hz;
}

bool Radio::Tune(std::int64_t hz) { return TuneVfo(selected_, hz); }

bool Radio::SelectMode(const Mode& mode, std::uint8_t filter) {
    return SetVfoMode(selected_, mode, filter, tuning().data);
}

Radio::Reply Radio::TuneVfoFromDigits(int vfo, std::string_view digits, std::size_t width) {
    if (digits.size() != width) return std::nullopt;
    std::int64_t hz = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        hz = hz * 10 + (c - '0');
    }
    if (!TuneVfo(vfo, hz)) return std::nullopt;
    return std::string();
}

bool Radio::TuneVfo(int vfo, std::int64_t hz) {
    if (hz < 0) return false;
    hz = Quantise(hz);
    if (!CanTune(model_, hz)) return false;
    Vfo(vfo).hz = hz;
    if (vfo != selected_) {
        listener_.Report("unselected freq " + std::to_string(hz));
        return true;
    }
    listener_.Report("freq " + std::to_string(hz));
    if (config_.protocol == Protocol::kIcom && config_.transceive) {
        std::string payload(1, '\x00');
        for (int i = 0; i < 5; ++i, hz /= 100) {
            payload.push_back(static_cast<char>((hz / 10 % 10) << 4 | hz % 10));
        }
        Announce(std::move(payload));
    }
    if (config_.protocol != Protocol::kIcom && auto_information_ != '0') {
        Announce(TextInformation());
    }
    return true;
}

bool Radio::SetVfoMode(int vfo, const Mode& mode, std::uint8_t filter, std::uint8_t data) {
    if (!Allowed(mode)) return false;
    Tuning& target = Vfo(vfo);
    target.mode = &mode;
    target.filter = filter;
    target.data = data;
    if (vfo != selected_) {
        listener_.Report("unselected mode " + std::string(mode.name));
        return true;
    }
    listener_.Report("mode " + std::string(mode.name));
    if (config_.protocol == Protocol::kIcom && config_.transceive) {
        Announce(std::string{'\x01'} + IcomModeBytes(target));
    }
    if (config_.protocol != Protocol::kIcom && auto_information_ != '0') {
        Announce(TextInformation());
    }
    return true;
}

void Radio::Select(int vfo) {
    selected_ = vfo;
    listener_.Report(std::string("vfo ") + (vfo == 0 ? "A" : "B"));
}

void Radio::SetSplit(bool on) {
    split_ = on;
    listener_.Report(std::string("split ") + (on ? "on" : "off"));
}

void Radio::Key(KeySource source, bool on) {
    const bool was = Transmitting();
    keys_ = static_cast<std::uint8_t>(on ? keys_ | Bit(source) : keys_ & ~Bit(source));
    if (Transmitting() == was) return;
    if (!Transmitting()) {
        listener_.Event("transmit off");
        return;
    }
    for (const auto& [key, name] : kKeySourceNames) {
        if (key == source) listener_.Event("transmit on (" + std::string(name) + ")");
    }
}

void Radio::Announce(std::string bytes) {
    if (config_.protocol == Protocol::kIcom) {
        // Transceive frames go to every station (address 00).
        std::string frame{'\xFE', '\xFE', '\x00', static_cast<char>(config_.address)};
        frame += bytes;
        frame.push_back('\xFD');
        bytes = std::move(frame);
    }
    if (answering_) {
        deferred_.push_back(std::move(bytes));
    } else {
        listener_.Transmit(std::move(bytes));
    }
}

void Radio::ReportWrite(std::string_view language, std::string_view command) {
    listener_.Report("write " + std::string(language) + " " + Printable(command));
}

void Radio::Receive(std::string_view bytes) {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    Receive(bytes, now);
}

void Radio::Receive(std::string_view bytes, std::chrono::milliseconds at) {
    for (char c : bytes) {
        switch (config_.protocol) {
            case Protocol::kIcom:
                IcomByte(static_cast<std::uint8_t>(c));
                break;
            case Protocol::kKenwood:
            case Protocol::kYaesu:
                KenwoodText(c);
                break;
            case Protocol::kFt817:
                Ft817Byte(c, at);
                break;
        }
    }
}

}  // namespace radiosim
