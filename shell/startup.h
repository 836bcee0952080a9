#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/session_state.h"
#include "core/settings_store.h"

namespace cat {

inline constexpr const char* kSetupGroup = "Setup";

inline constexpr std::array<std::string_view, 8> kSpeedEntries = {
    "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
// The speed list before 1200, 2400 and 38400 were offered. "Setup"/"Speed" keeps holding a position
// in this list, so a file written by an earlier version opens at the same rate (and an earlier
// version still reads a file written now); "Setup"/"Baud" holds the rate itself.
inline constexpr std::array<std::string_view, 5> kFormerSpeedEntries = {"4800", "9600", "19200",
                                                                        "57600", "115200"};
inline constexpr int kPortCount = 32;

// "Com 1" ... "Com 32": list position p stands for port p + 1.
std::string PortEntry(int position);

// digitCharacters[d + 1] = the character of digit d; element 0 stays unset.
void FillDigitCharacters(SessionState& state);

// The operator's choices as the store holds them, validated: a list position that does not fit
// its list, or a geometry that is no number, falls back to the key's default.
struct RestoredChoices {
    double top = 0;   // twips
    double left = 0;  // twips
    std::string address = "00";
    std::int16_t protocolPosition = -1;  // -1: nothing selected
    std::int16_t speedPosition = 3;      // a position in kSpeedEntries: 9600
    std::int16_t portPosition = 1;       // Com 2
    bool onTop = false;
};
RestoredChoices RestoreChoices(SettingsStore& store);

// What shut-down writes; the geometry (twips, the frame's) only when the window state is normal.
struct ChoicesToSave {
    std::int16_t portPosition = -1;
    std::int16_t protocolPosition = -1;
    std::int16_t speedPosition = -1;  // a position in kSpeedEntries
    std::string address;
    bool onTop = false;
    bool normalState = true;
    long left = 0;
    long top = 0;
    long width = 0;
    long height = 0;
};
// Writes in the order ComPort, Type, Speed, Baud, Address, OnTop, then Left, Top, Width, Height.
// False when the store could not be written.
bool SaveChoices(SettingsStore& store, const ChoicesToSave& choices);

// The help box: title and its eight lines joined by CR LF, nothing after the last.
inline constexpr const char* kHelpTitle = "MORAVEL";
std::string HelpBoxText();

}  // namespace cat
