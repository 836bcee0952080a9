#include "tools/radiosim/models.h"

#include <array>

namespace radiosim {
namespace {

constexpr std::int64_t kHz = 1;
constexpr std::int64_t kKHz = 1'000;
constexpr std::int64_t kMHz = 1'000'000;

// ---- Speeds, bands and modes, shared where radios share them --------------------------------

constexpr std::array<int, 7> kIcomSpeeds{1200, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr std::array<int, 4> kIc706Speeds{1200, 4800, 9600, 19200};
constexpr std::array<int, 6> kTs590Speeds{4800, 9600, 19200, 38400, 57600, 115200};
constexpr std::array<int, 7> kTs2000Speeds{1200, 2400, 4800, 9600, 19200, 38400, 57600};
constexpr std::array<int, 3> kFt817Speeds{4800, 9600, 38400};
constexpr std::array<int, 4> kYaesuSpeeds{4800, 9600, 19200, 38400};
constexpr std::array<int, 5> kYaesuFastSpeeds{4800, 9600, 19200, 38400, 115200};
constexpr std::array<int, 6> kElecraftSpeeds{4800, 9600, 19200, 38400, 57600, 115200};

constexpr std::array<Band, 1> kIc7300Bands{{{30 * kKHz, 74'800 * kKHz}}};
constexpr std::array<Band, 2> kIc705Bands{
    {{30 * kKHz, 199'999'999 * kHz}, {400 * kMHz, 470 * kMHz}}};
constexpr std::array<Band, 3> kIc9700Bands{
    {{144 * kMHz, 148 * kMHz}, {430 * kMHz, 450 * kMHz}, {1240 * kMHz, 1300 * kMHz}}};
constexpr std::array<Band, 1> kHf60Bands{{{30 * kKHz, 60 * kMHz}}};
constexpr std::array<Band, 2> kIc706Bands{{{30 * kKHz, 199'999 * kKHz}, {400 * kMHz, 470 * kMHz}}};
constexpr std::array<Band, 4> kTs2000Bands{{{30 * kKHz, 60 * kMHz},
                                            {142 * kMHz, 152 * kMHz},
                                            {420 * kMHz, 450 * kMHz},
                                            {1240 * kMHz, 1300 * kMHz}}};
constexpr std::array<Band, 3> kFt817Bands{
    {{100 * kKHz, 56 * kMHz}, {76 * kMHz, 154 * kMHz}, {420 * kMHz, 470 * kMHz}}};
constexpr std::array<Band, 3> kFt991Bands{
    {{30 * kKHz, 56 * kMHz}, {118 * kMHz, 164 * kMHz}, {420 * kMHz, 470 * kMHz}}};
constexpr std::array<Band, 1> kHf56Bands{{{30 * kKHz, 56 * kMHz}}};
constexpr std::array<Band, 1> kHf75Bands{{{30 * kKHz, 75 * kMHz}}};
constexpr std::array<Band, 2> kK3Bands{{{500 * kKHz, 30 * kMHz}, {48 * kMHz, 54 * kMHz}}};
constexpr std::array<Band, 1> kKx3Bands{{{500 * kKHz, 54 * kMHz}}};
constexpr std::array<Band, 1> kK4Bands{{{100 * kKHz, 54 * kMHz}}};
constexpr std::array<Band, 1> kQmxBands{{{3 * kMHz, 30 * kMHz}}};
constexpr std::array<Band, 1> kSdrBands{{{10 * kKHz, 61'440 * kKHz}}};
// Without a model: whatever the protocol's digits carry (ten CI-V and eleven Kenwood digits of
// hertz, eight FT-817 digits of 10 Hz).
constexpr std::array<Band, 1> kTenDigits{{{0, 9'999'999'999}}};
constexpr std::array<Band, 1> kFt817Digits{{{0, 999'999'990}}};
constexpr std::array<Band, 1> kNineDigits{{{0, 999'999'999}}};

using ModeList = std::string_view;
constexpr std::array<ModeList, 10> kAllModes{"LSB", "USB", "CW",  "CW-R",  "AM",
                                             "FM",  "WFM", "FSK", "FSK-R", "PKT"};
constexpr std::array<ModeList, 8> kIcomHfModes{"LSB", "USB", "AM",   "CW",
                                               "FSK", "FM",  "CW-R", "FSK-R"};
constexpr std::array<ModeList, 10> kIc705Modes{"LSB", "USB",  "AM",    "CW",  "FSK",
                                               "FM",  "CW-R", "FSK-R", "WFM", "DV"};
constexpr std::array<ModeList, 10> kIc9700Modes{"LSB", "USB",  "AM",    "CW", "FSK",
                                                "FM",  "CW-R", "FSK-R", "DV", "DD"};
constexpr std::array<ModeList, 7> kIc706Modes{"LSB", "USB", "AM", "CW", "FSK", "FM", "WFM"};
constexpr std::array<ModeList, 8> kKenwoodModes{"LSB", "USB", "CW",   "FM",
                                                "AM",  "FSK", "CW-R", "FSK-R"};
constexpr std::array<ModeList, 9> kFt817Modes{"LSB", "USB", "CW",  "CW-R", "AM",
                                              "WFM", "FM",  "FSK", "PKT"};

constexpr std::array<ModeList, 13> kYaesuHfModes{"LSB",  "USB",     "CW",    "CW-R", "FM",
                                                 "AM",   "FSK",     "FSK-R", "PKT",  "DATA-L",
                                                 "FM-N", "DATA-FM", "AM-N"};
constexpr std::array<ModeList, 14> kFt991Modes{"LSB",  "USB",     "CW",    "CW-R", "FM",
                                               "AM",   "FSK",     "FSK-R", "PKT",  "DATA-L",
                                               "FM-N", "DATA-FM", "AM-N",  "C4FM"};
// MD 1 LSB, 2 USB, 3 CW, 4 FM, 5 AM, 6 FSK (DATA on the K3, KX3 and K4), 7 CW-R, 9 FSK-R.
constexpr std::array<ModeList, 8> kElecraftModes{"LSB", "USB", "CW",   "FM",
                                                 "AM",  "FSK", "CW-R", "FSK-R"};
constexpr std::array<ModeList, 6> kQmxModes{"LSB", "USB", "CW", "CW-R", "FSK", "FSK-R"};

// ---- The radios ------------------------------------------------------------------------------

constexpr std::uint32_t kModernIcom = kCivTransceive | kCivVfo | kCivSplit | kCivMeter | kCivId |
                                      kCivSettings | kCivDataMode | kCivTransmit | kCivVfoData;

constexpr std::uint32_t kElecraft = kKenwoodFull | kKenwoodElecraft;

constexpr std::array<Model, 20> kModels{{
    // Address 94: the IC-7300 operation manual, "FE FE 94 E0",
    // https://www.manualshelf.com/manual/icom/ic-7300/operation-manual-english/page-155.html
    {"ic7300", "IC-7300", Protocol::kIcom, kModernIcom, 0x94, "", "", "", kIcomSpeeds, kIc7300Bands,
     kIcomHfModes, 14'074'000, 1},
    // Addresses A4, A2, 98: from memory.
    {"ic705", "IC-705", Protocol::kIcom, kModernIcom, 0xA4, "", "", "", kIcomSpeeds, kIc705Bands,
     kIc705Modes, 14'074'000, 1},
    {"ic9700", "IC-9700", Protocol::kIcom, kModernIcom | kCivMainSub, 0xA2, "", "", "", kIcomSpeeds,
     kIc9700Bands, kIc9700Modes, 144'300'000, 1},
    {"ic7610", "IC-7610", Protocol::kIcom, kModernIcom | kCivMainSub, 0x98, "", "", "", kIcomSpeeds,
     kHf60Bands, kIcomHfModes, 14'074'000, 3},
    // An older radio: no data mode, no transmit or VFO-data commands.
    // Address 58: the IC-706MKIIG manual, "FE FE 58 E0",
    // http://azmanual.top/manuals/128719/icom-i706mktmg-ic-706mkiig.html?page=48
    {"ic706mk2g", "IC-706MKIIG", Protocol::kIcom,
     kCivTransceive | kCivVfo | kCivSplit | kCivMeter | kCivId, 0x58, "", "", "", kIc706Speeds,
     kIc706Bands, kIc706Modes, 14'074'000, 0},
    // IDs 021, 024, 019: from memory (the TS-590S/SG and TS-890S guides cited in
    // protocols/kenwood/kenwood_codes.h did not show the ID page).
    {"ts590s", "TS-590S", Protocol::kKenwood, kKenwoodFull | kKenwoodFirmware | kKenwoodData, 0,
     "021", "1.04", "0015", kTs590Speeds, kHf60Bands, kKenwoodModes, 14'074'000, 0},
    {"ts890s", "TS-890S", Protocol::kKenwood, kKenwoodFull | kKenwoodFirmware | kKenwoodData, 0,
     "024", "1.03", "0035", kTs590Speeds, kHf60Bands, kKenwoodModes, 14'074'000, 0},
    {"ts2000", "TS-2000", Protocol::kKenwood, kKenwoodFull | kKenwoodMeterSub, 0, "019", "", "0015",
     kTs2000Speeds, kTs2000Bands, kKenwoodModes, 14'074'000, 0},
    {"ft817", "FT-817", Protocol::kFt817, kFt817Full, 0, "", "", "", kFt817Speeds, kFt817Bands,
     kFt817Modes, 14'074'000, 0},
    {"ft818", "FT-818", Protocol::kFt817, kFt817Full, 0, "", "", "", kFt817Speeds, kFt817Bands,
     kFt817Modes, 14'074'000, 0},
    // IDs 0670, 0650, 0800, 0761, 0681: from memory (see protocols/yaesu/yaesu_codes.h).
    {"ft991a", "FT-991A", Protocol::kYaesu, 0, 0, "0670", "", "", kYaesuSpeeds, kFt991Bands,
     kFt991Modes, 14'074'000, 0, "", 3},
    {"ft891", "FT-891", Protocol::kYaesu, 0, 0, "0650", "", "", kYaesuSpeeds, kHf56Bands,
     kYaesuHfModes, 14'074'000, 0, "", 4},
    {"ft710", "FT-710", Protocol::kYaesu, 0, 0, "0800", "", "", kYaesuFastSpeeds, kHf56Bands,
     kYaesuHfModes, 14'074'000, 0, "", 6},
    {"ftdx10", "FTDX10", Protocol::kYaesu, 0, 0, "0761", "", "", kYaesuFastSpeeds, kHf75Bands,
     kYaesuHfModes, 14'074'000, 0, "", 6},
    {"ftdx101d", "FTDX101D", Protocol::kYaesu, 0, 0, "0681", "", "", kYaesuFastSpeeds, kHf75Bands,
     kYaesuHfModes, 14'074'000, 0, "", 6},
    // ID017: Elecraft K3 and KX3 Programmer's Reference, p. 13,
    // https://azmanual.top/manuals/636049/elecraft-kx3-programmers-reference-k3-programmers-reference.html?page=13;
    // the OM answers: from memory.
    {"k3", "K3", Protocol::kKenwood, kElecraft, 0, "017", "", "0015", kElecraftSpeeds, kK3Bands,
     kElecraftModes, 14'074'000, 0, "------------"},
    {"kx3", "KX3", Protocol::kKenwood, kElecraft, 0, "017", "", "0015", kElecraftSpeeds, kKx3Bands,
     kElecraftModes, 14'074'000, 0, "----------02"},
    {"k4", "K4", Protocol::kKenwood, kElecraft, 0, "017", "", "0015", kElecraftSpeeds, kK4Bands,
     kElecraftModes, 14'074'000, 0, "--------4---"},
    // A TS-480 subset over a USB serial port that runs at any speed; ID020 from memory.
    {"qmx",
     "QMX",
     Protocol::kKenwood,
     kKenwoodFull | kKenwoodBlankStep,
     0,
     "020",
     "",
     "0015",
     {},
     kQmxBands,
     kQmxModes,
     14'074'000,
     0},
    // A TS-2000 as an SDR program plays it, with its own ZZ commands; ID019 from memory.
    {"sdr", "SDR (TS-2000 + ZZ)", Protocol::kKenwood, kKenwoodFull | kKenwoodZz, 0, "019", "",
     "0015", kTs2000Speeds, kSdrBands, kKenwoodModes, 14'074'000, 0},
}};

constexpr std::array<Model, 4> kGeneric{{
    {"", "radio", Protocol::kIcom, 0, 0x5E, "", "", "", {}, kTenDigits, kAllModes, 14'074'000, 0},
    {"",
     "radio",
     Protocol::kKenwood,
     0,
     0,
     "019",
     "",
     "",
     {},
     kTenDigits,
     kAllModes,
     14'074'000,
     0},
    {"", "radio", Protocol::kFt817, 0, 0, "", "", "", {}, kFt817Digits, kAllModes, 14'074'000, 0},
    {"",
     "radio",
     Protocol::kYaesu,
     0,
     0,
     "0670",
     "",
     "",
     {},
     kNineDigits,
     kFt991Modes,
     14'074'000,
     0,
     "",
     3},
}};

}  // namespace

const Model* FindModel(std::string_view name) {
    for (const Model& model : kModels) {
        if (model.name == name) return &model;
    }
    return nullptr;
}

std::string ModelNames() {
    std::string names;
    for (const Model& model : kModels) {
        if (!names.empty()) names.push_back(' ');
        names.append(model.name);
    }
    return names;
}

const Model& GenericModel(Protocol protocol) {
    return kGeneric[static_cast<std::size_t>(protocol)];
}

bool CanTune(const Model& model, std::int64_t hz) {
    for (const Band& band : model.bands) {
        if (hz >= band.low_hz && hz <= band.high_hz) return true;
    }
    return false;
}

bool HasMode(const Model& model, std::string_view mode) {
    for (std::string_view name : model.modes) {
        if (name == mode) return true;
    }
    return false;
}

bool HasSpeed(const Model& model, int baud) {
    if (model.speeds.empty()) return true;
    for (int speed : model.speeds) {
        if (speed == baud) return true;
    }
    return false;
}

}  // namespace radiosim
