#include "tools/radiosim/options.h"

#include <array>
#include <string_view>

#include "tools/radiosim/line.h"
#include "tools/radiosim/port_setting.h"
#include "tools/radiosim/text.h"

namespace radiosim {
namespace {

// What the rows below fill in before the checks that need more than one option.
struct Draft {
    Options options;
    std::string freq;  // empty: where the radio starts
    std::string mode = "USB";
    bool protocol_given = false;
    bool address_given = false;
};

// Each handler takes the option's value (empty for a flag) and returns what is wrong with it.
using Handler = std::string (*)(Draft&, std::string_view);

struct OptionRow {
    std::string_view name;
    bool takes_value;
    Handler apply;
};

std::string SetProtocol(Draft& d, std::string_view value) {
    static constexpr std::array<std::pair<std::string_view, Protocol>, 4> kProtocols{{
        {"icom", Protocol::kIcom},
        {"kenwood", Protocol::kKenwood},
        {"ft817", Protocol::kFt817},
        {"yaesu", Protocol::kYaesu},
    }};
    for (const auto& [name, protocol] : kProtocols) {
        if (value == name) {
            d.options.radio.protocol = protocol;
            d.protocol_given = true;
            return {};
        }
    }
    return "unknown protocol '" + std::string(value) + "' (icom, kenwood, ft817 or yaesu)";
}

std::string SetAddress(Draft& d, std::string_view digits) {
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
    }
    const auto bytes =
        ParseHexBytes(digits.size() == 1 ? "0" + std::string(digits) : std::string(digits));
    if (digits.empty() || digits.size() > 2 || !bytes || bytes->size() != 1) {
        return "the address is one or two hexadecimal digits, e.g. 5E";
    }
    d.options.radio.address = static_cast<std::uint8_t>((*bytes)[0]);
    d.address_given = true;
    return {};
}

std::string SetModel(Draft& d, std::string_view value) {
    d.options.radio.model = FindModel(value);
    if (d.options.radio.model == nullptr) {
        return "unknown model '" + std::string(value) + "' (" + ModelNames() + ")";
    }
    return {};
}

std::string SetSpeed(Draft& d, std::string_view value) {
    const auto baud = ParseInt(value, 1, 1'000'000);
    if (!baud || !IsRadioSpeed(*baud)) {
        return "--speed takes 1200 2400 4800 9600 19200 38400 57600 or 115200";
    }
    d.options.speed = *baud;
    return {};
}

std::string SetEchoOnly(Draft& d, std::string_view) {
    d.options.echo_only = true;
    return {};
}

std::string SetCtsLow(Draft& d, std::string_view) {
    d.options.cts_low = true;
    return {};
}

std::string SetRefuse(Draft& d, std::string_view) {
    d.options.radio.refuse = true;
    return {};
}

std::string SetStopAfter(Draft& d, std::string_view value) {
    const auto ms = ParseSeconds(value);
    if (!ms) return "--stop-after takes seconds, e.g. 2 or 0.5";
    d.options.stop_after_ms = *ms;
    return {};
}

std::string SetFreq(Draft& d, std::string_view value) {
    d.freq = value;
    return {};
}

std::string SetMode(Draft& d, std::string_view value) {
    d.mode = value;
    return {};
}

std::string SetEcho(Draft& d, std::string_view) {
    d.options.echo = true;
    return {};
}

std::string SetTransceive(Draft& d, std::string_view) {
    d.options.radio.transceive = true;
    return {};
}

std::string SetSilent(Draft& d, std::string_view) {
    d.options.silent = true;
    return {};
}

std::string SetGarble(Draft& d, std::string_view) {
    d.options.garble = true;
    return {};
}

std::string SetDelay(Draft& d, std::string_view value) {
    const auto ms = ParseInt(value, 0, 60'000);
    if (!ms) return "--delay takes milliseconds, 0 to 60000";
    d.options.delay_ms = *ms;
    return {};
}

std::string SetLink(Draft& d, std::string_view value) {
    if (value.empty()) return "--link takes a path";
    d.options.link = value;
    return {};
}

std::string SetSettings(Draft& d, std::string_view value) {
    if (value.empty()) return "--settings takes a file";
    d.options.settings = value;
    return {};
}

std::string SetCom(Draft& d, std::string_view value) {
    const auto com = ParseInt(value, 1, 32);
    if (!com) return "--com takes a port number from 1 to 32";
    d.options.com = *com;
    return {};
}

std::string SetQuiet(Draft& d, std::string_view) {
    d.options.quiet = true;
    return {};
}

constexpr std::array<OptionRow, 19> kOptionRows{{
    {"cts-low", false, SetCtsLow},
    {"protocol", true, SetProtocol},
    {"model", true, SetModel},
    {"speed", true, SetSpeed},
    {"echo-only", false, SetEchoOnly},
    {"refuse", false, SetRefuse},
    {"stop-after", true, SetStopAfter},
    {"address", true, SetAddress},
    {"freq", true, SetFreq},
    {"mode", true, SetMode},
    {"echo", false, SetEcho},
    {"transceive", false, SetTransceive},
    {"silent", false, SetSilent},
    {"garble", false, SetGarble},
    {"delay", true, SetDelay},
    {"link", true, SetLink},
    {"settings", true, SetSettings},
    {"com", true, SetCom},
    {"quiet", false, SetQuiet},
}};

std::string BandsText(const Model& model) {
    std::string text;
    for (const Band& band : model.bands) {
        if (!text.empty()) text += ", ";
        text += std::to_string(static_cast<double>(band.low_hz) / 1e6) + "-" +
                std::to_string(static_cast<double>(band.high_hz) / 1e6);
    }
    return text;
}

std::string SpeedsText(const Model& model) {
    std::string text;
    for (int speed : model.speeds) text += (text.empty() ? "" : " ") + std::to_string(speed);
    return text;
}

// The model decides the protocol and, unless given, the address and the start frequency.
std::string ApplyModel(Draft& d) {
    Radio::Config& radio = d.options.radio;
    if (radio.model == nullptr) return {};
    const Model& model = *radio.model;
    if (d.protocol_given && radio.protocol != model.protocol) {
        return "the " + std::string(model.title) + " does not speak that protocol";
    }
    radio.protocol = model.protocol;
    if (!d.address_given) radio.address = model.address;
    if (d.options.speed != 0 && !HasSpeed(model, d.options.speed)) {
        return "the " + std::string(model.title) + " runs at " + SpeedsText(model) + " baud";
    }
    return {};
}

// The checks that need the whole command line.
std::string Finish(Draft& d) {
    Options& o = d.options;
    if (std::string failure = ApplyModel(d); !failure.empty()) return failure;
    const bool generic = o.radio.model == nullptr;
    const Model& model = generic ? GenericModel(o.radio.protocol) : *o.radio.model;
    const std::int64_t limit = Radio::Limit(o.radio.protocol);
    const auto hz =
        d.freq.empty() ? std::optional<std::int64_t>(model.start_hz) : ParseMegahertz(d.freq);
    const std::int64_t step = o.radio.protocol == Protocol::kFt817 ? 10 : 1;
    if (generic && (!hz || *hz >= limit)) {
        return "--freq takes megahertz below " + std::to_string(limit / 1'000'000) +
               ", e.g. 14.074";
    }
    if (!hz || !CanTune(model, *hz - *hz % step)) {
        return "the " + std::string(model.title) + " tunes " + BandsText(model) + " MHz";
    }
    o.tuning.hz = *hz;
    o.tuning.mode = FindMode(d.mode);
    if (o.tuning.mode == nullptr || !HasMode(model, o.tuning.mode->name)) {
        return "unknown mode '" + d.mode + "' (" + ModeNames(model) + ")";
    }
    if (o.radio.refuse && o.radio.protocol == Protocol::kFt817) {
        return "--refuse: an FT-817 has no answer that refuses a command";
    }
    if (!o.settings.empty() && o.com == 0) return "--settings needs --com N";
    if (o.com != 0 && o.settings.empty()) o.settings = DefaultSettingsFile();
    return {};
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    Draft draft;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "-h" || arg == "--help") {
            parsed.help = true;
            return parsed;
        }
        if (arg.substr(0, 2) != "--") {
            parsed.error = "unexpected argument '" + std::string(arg) + "'";
            return parsed;
        }
        // --name value, or --name=value
        std::string_view name = arg.substr(2);
        std::string_view value;
        const std::size_t equals = name.find('=');
        const bool inline_value = equals != std::string_view::npos;
        if (inline_value) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        const OptionRow* row = nullptr;
        for (const OptionRow& candidate : kOptionRows) {
            if (candidate.name == name) row = &candidate;
        }
        if (row == nullptr) {
            parsed.error = "unknown option '--" + std::string(name) + "'";
            return parsed;
        }
        if (row->takes_value && !inline_value) {
            if (i + 1 >= args.size()) {
                parsed.error = "--" + std::string(name) + " needs a value";
                return parsed;
            }
            value = args[++i];
        } else if (!row->takes_value && inline_value) {
            parsed.error = "--" + std::string(name) + " takes no value";
            return parsed;
        }
        parsed.error = row->apply(draft, value);
        if (!parsed.error.empty()) return parsed;
    }
    parsed.error = Finish(draft);
    parsed.options = draft.options;
    return parsed;
}

}  // namespace radiosim
