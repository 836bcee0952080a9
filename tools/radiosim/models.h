#pragma once

// The radios radiosim can play (--model NAME): the facts of each maker's CAT reference that a
// controller meets on the wire. Data only; the command languages in radio.cpp read it.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace radiosim {

// The order is that of the generic radios in models.cpp.
enum class Protocol { kIcom, kKenwood, kFt817, kYaesu };

// Commands beyond the core that every radio of a protocol answers (ICOM 03-06; Kenwood IF FA MD
// ID PS AI; FT-817 01 03 07 and the status reads). A radio without one treats it as unknown.
enum Feature : std::uint32_t {
    kCivTransceive = 1u << 0,      // 00, 01: frequency and mode sent by another station, no answer
    kCivVfo = 1u << 1,             // 07 00/01/A0/B0: VFO A or B, A=B, exchange
    kCivMainSub = 1u << 2,         // 07 D0/D1: main or sub receiver
    kCivSplit = 1u << 3,           // 0F
    kCivMeter = 1u << 4,           // 15 02: S-meter
    kCivId = 1u << 5,              // 19 00: the radio's own address
    kCivSettings = 1u << 6,        // 1A 05: the set-mode items
    kCivDataMode = 1u << 7,        // 1A 06: data mode with its filter
    kCivTransmit = 1u << 8,        // 1C 00: receive or transmit
    kCivVfoData = 1u << 9,         // 25, 26: frequency and mode of the selected/unselected VFO
    kKenwoodFull = 1u << 10,       // FB FR FT SM TX RX, PS and AI set values
    kKenwoodFirmware = 1u << 11,   // FV
    kKenwoodData = 1u << 12,       // DA
    kKenwoodMeterSub = 1u << 13,   // SM1: the sub receiver's meter
    kFt817Full = 1u << 14,         // lock, PTT, split, clarifier, VFO, tones, power, EEPROM
    kKenwoodElecraft = 1u << 15,   // K2 K3 OM RV BW TQ MD$, the Elecraft IF with blanks
    kKenwoodBlankStep = 1u << 16,  // IF with blanks for the step and at the end (QRP Labs)
    kKenwoodZz = 1u << 17,         // ZZFA ZZFB ZZMD ZZIF of the SDR programs
};

struct Band {
    std::int64_t low_hz;  // both ends tune
    std::int64_t high_hz;
};

struct Model {
    std::string_view name;   // as given to --model
    std::string_view title;  // as the maker writes it
    Protocol protocol;
    std::uint32_t features;
    std::uint8_t address;         // CI-V default address
    std::string_view id;          // Kenwood ID answer digits
    std::string_view firmware;    // Kenwood FV answer
    std::string_view meter;       // Kenwood SM reading of a steady S9 signal, 4 digits
    std::span<const int> speeds;  // what the radio's menu offers, in baud; empty: any
    std::span<const Band> bands;
    std::span<const std::string_view> modes;
    std::int64_t start_hz;          // where it starts without --freq
    int data_modes;                 // ICOM 1A 06: highest data mode (1 on/off, 3 for D1..D3)
    std::string_view modules = "";  // Elecraft OM answer: the option modules and the radio
    int menu_digits = 0;            // Yaesu EX: digits of a menu number
};

const Model* FindModel(std::string_view name);
// The models' names, space-separated, for messages and help.
std::string ModelNames();
// What radiosim plays without --model: every mode, any frequency its digits can carry, and only
// the core commands.
const Model& GenericModel(Protocol protocol);

bool CanTune(const Model& model, std::int64_t hz);
bool HasMode(const Model& model, std::string_view mode);
bool HasSpeed(const Model& model, int baud);

}  // namespace radiosim
