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

// A flag sets one option of the simulation, or one of the radio's.
template <bool Options::*Flag>
std::string SetFlag(Draft& draft, std::string_view) {
    draft.options.*Flag = true;
    return {};
}

template <bool Radio::Config::*Flag>
std::string SetRadioFlag(Draft& draft, std::string_view) {
    draft.options.radio.*Flag = true;
    return {};
}

std::string SetProtocol(Draft& draft, std::string_view value) {
    static constexpr std::array<std::pair<std::string_view, Protocol>, 4> kProtocols{{
        {"icom", Protocol::kIcom},
        {"kenwood", Protocol::kKenwood},
        {"ft817", Protocol::kFt817},
        {"yaesu", Protocol::kYaesu},
    }};
    for (const auto& [name, protocol] : kProtocols) {
        if (value == name) {
            draft.options.radio.protocol = protocol;
            draft.protocol_given = true;
            return {};
        }
    }
    return "unknown protocol '" + std::string(value) + "' (icom, kenwood, ft817 or yaesu)";
}

std::string SetAddress(Draft& draft, std::string_view digits) {
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
    }
    const auto bytes =
        ParseHexBytes(digits.size() == 1 ? "0" + std::string(digits) : std::string(digits));
    if (digits.empty() || digits.size() > 2 || !bytes || bytes->size() != 1) {
        return "the address is one or two hexadecimal digits, e.g. 5E";
    }
    draft.options.radio.address = static_cast<std::uint8_t>((*bytes)[0]);
    draft.address_given = true;
    return {};
}

std::string SetModel(Draft& draft, std::string_view value) {
    draft.options.radio.model = FindModel(value);
    if (draft.options.radio.model == nullptr) {
        return "unknown model '" + std::string(value) + "' (" + ModelNames() + ")";
    }
    return {};
}

std::string SetSpeed(Draft& draft, std::string_view value) {
    const auto baud = ParseInt(value, 1, 1'000'000);
    if (!baud || !IsRadioSpeed(*baud)) {
        return "--speed takes 1200 2400 4800 9600 19200 38400 57600 or 115200";
    }
    draft.options.speed = *baud;
    return {};
}

std::string SetStopAfter(Draft& draft, std::string_view value) {
    const auto ms = ParseSeconds(value);
    if (!ms) return "--stop-after takes seconds, e.g. 2 or 0.5";
    draft.options.stop_after_ms = *ms;
    return {};
}

std::string SetFreq(Draft& draft, std::string_view value) {
    draft.freq = value;
    return {};
}

std::string SetMode(Draft& draft, std::string_view value) {
    draft.mode = value;
    return {};
}

std::string SetDelay(Draft& draft, std::string_view value) {
    const auto ms = ParseInt(value, 0, 60'000);
    if (!ms) return "--delay takes milliseconds, 0 to 60000";
    draft.options.delay_ms = *ms;
    return {};
}

std::string SetSplit(Draft& draft, std::string_view value) {
    const auto ms = ParseInt(value, 0, 60'000);
    if (!ms) return "--split takes milliseconds, 0 to 60000";
    draft.options.split_ms = *ms;
    return {};
}

std::string SetLink(Draft& draft, std::string_view value) {
    if (value.empty()) return "--link takes a path";
    draft.options.link = value;
    return {};
}

std::string SetSettingsFile(Draft& draft, std::string_view value) {
    if (value.empty()) return "--settings takes a file";
    draft.options.settings = value;
    return {};
}

std::string SetCom(Draft& draft, std::string_view value) {
    const auto com = ParseInt(value, 1, 32);
    if (!com) return "--com takes a port number from 1 to 32";
    draft.options.com = *com;
    return {};
}

// [HOST:]PORT; the host defaults to loopback, so nothing outside this machine reaches the radio
// unless asked for.
std::string SetAddressOption(std::string_view option, std::string_view value, std::string& host,
                             int& port) {
    const std::size_t colon = value.rfind(':');
    const std::string_view digits =
        colon == std::string_view::npos ? value : value.substr(colon + 1);
    const auto number = ParseInt(digits, 0, 65535);
    if (!number || (colon != std::string_view::npos && colon == 0)) {
        return "--" + std::string(option) +
               " takes [HOST:]PORT, e.g. 7300 or 127.0.0.1:0 (0: a free port)";
    }
    if (colon != std::string_view::npos) host = value.substr(0, colon);
    port = *number;
    return {};
}

std::string SetRfc2217(Draft& draft, std::string_view value) {
    return SetAddressOption("rfc2217", value, draft.options.rfc2217_host,
                            draft.options.rfc2217_port);
}

std::string SetFlrig(Draft& draft, std::string_view value) {
    return SetAddressOption("flrig", value, draft.options.flrig_host, draft.options.flrig_port);
}

std::string SetPtt(Draft& draft, std::string_view value) {
    if (value == "rts") {
        draft.options.ptt_line = KeySource::kRts;
    } else if (value == "dtr") {
        draft.options.ptt_line = KeySource::kDtr;
    } else {
        return "--ptt takes rts or dtr";
    }
    return {};
}

constexpr std::array<OptionRow, 25> kOptionRows{{
    {"cts-low", false, SetFlag<&Options::cts_low>},
    {"protocol", true, SetProtocol},
    {"model", true, SetModel},
    {"speed", true, SetSpeed},
    {"echo-only", false, SetFlag<&Options::echo_only>},
    {"refuse", false, SetRadioFlag<&Radio::Config::refuse>},
    {"stop-after", true, SetStopAfter},
    {"address", true, SetAddress},
    {"any-address", false, SetRadioFlag<&Radio::Config::any_address>},
    {"freq", true, SetFreq},
    {"mode", true, SetMode},
    {"echo", false, SetFlag<&Options::echo>},
    {"transceive", false, SetRadioFlag<&Radio::Config::transceive>},
    {"silent", false, SetFlag<&Options::silent>},
    {"garble", false, SetFlag<&Options::garble>},
    {"delay", true, SetDelay},
    {"split", true, SetSplit},
    {"link", true, SetLink},
    {"settings", true, SetSettingsFile},
    {"com", true, SetCom},
    {"quiet", false, SetFlag<&Options::quiet>},
    {"rfc2217", true, SetRfc2217},
    {"ptt", true, SetPtt},
    {"keyed", false, SetFlag<&Options::keyed>},
    {"flrig", true, SetFlrig},
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
std::string ApplyModel(Draft& draft) {
    Radio::Config& radio = draft.options.radio;
    if (radio.model == nullptr) return {};
    const Model& model = *radio.model;
    if (draft.protocol_given && radio.protocol != model.protocol) {
        return "the " + std::string(model.title) + " does not speak that protocol";
    }
    radio.protocol = model.protocol;
    if (!draft.address_given) radio.address = model.address;
    if (draft.options.speed != 0 && !HasSpeed(model, draft.options.speed)) {
        return "the " + std::string(model.title) + " runs at " + SpeedsText(model) + " baud";
    }
    return {};
}

// The checks that need the whole command line.
std::string Finish(Draft& draft) {
    Options& o = draft.options;
    if (std::string failure = ApplyModel(draft); !failure.empty()) return failure;
    const bool generic = o.radio.model == nullptr;
    const Model& model = generic ? GenericModel(o.radio.protocol) : *o.radio.model;
    const std::int64_t limit = Radio::Limit(o.radio.protocol);
    const auto hz = draft.freq.empty() ? std::optional<std::int64_t>(model.start_hz)
                                       : ParseMegahertz(draft.freq);
    const std::int64_t step = o.radio.protocol == Protocol::kFt817 ? 10 : 1;
    if (generic && (!hz || *hz >= limit)) {
        return "--freq takes megahertz below " + std::to_string(limit / 1'000'000) +
               ", e.g. 14.074";
    }
    if (!hz || !CanTune(model, *hz - *hz % step)) {
        return "the " + std::string(model.title) + " tunes " + BandsText(model) + " MHz";
    }
    o.tuning.hz = *hz;
    o.tuning.mode = FindMode(draft.mode);
    if (o.tuning.mode == nullptr || !HasMode(model, o.tuning.mode->name)) {
        return "unknown mode '" + draft.mode + "' (" + ModeNames(model) + ")";
    }
    if (o.radio.refuse && o.radio.protocol == Protocol::kFt817) {
        return "--refuse: an FT-817 has no answer that refuses a command";
    }
    if (o.radio.any_address && o.radio.protocol != Protocol::kIcom) {
        return "--any-address: only an ICOM radio has addresses";
    }
    if (!o.settings.empty() && o.com == 0) return "--settings needs --com N";
    if (o.ptt_line && o.rfc2217_port < 0) {
        return "--ptt needs --rfc2217: a pty has no DTR or RTS to key the radio";
    }
    if (!o.link.empty() && o.rfc2217_port >= 0) {
        return "--link names the pty, and with --rfc2217 there is none";
    }
    if (o.flrig_port >= 0 && o.rfc2217_port >= 0) {
        return "--flrig and --rfc2217 are two ways to serve the radio; choose one";
    }
    if (o.flrig_port >= 0 && (!o.link.empty() || o.ptt_line)) {
        return "--flrig serves no serial port: --link and --ptt do not apply";
    }
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
