#include "shell/startup.h"

#include <cmath>
#include <optional>

#include "core/stored_values.h"
#include "core/text.h"
#include "protocols/families.h"

namespace cat {

namespace {

std::string ReadSetting(SettingsStore& store, const char* key, const char* fallback) {
    return store.Read(kSetupGroup, key).value_or(fallback);
}

// A position outside its list (a store edited by hand) keeps the key's default.
std::int16_t ListPosition(SettingsStore& store, const char* key, const char* fallback,
                          std::size_t listSize) {
    const std::int16_t byDefault = *RoundToInt16(NumericValue(fallback));
    const auto position = RoundToInt16(NumericValue(ReadSetting(store, key, fallback)));
    if (!position || *position < -1 || *position >= static_cast<int>(listSize)) return byDefault;
    return *position;
}

template <std::size_t N>
std::optional<std::int16_t> PositionIn(const std::array<std::string_view, N>& list,
                                       std::string_view text) {
    for (std::size_t i = 0; i < N; ++i)
        if (list[i] == text) return static_cast<std::int16_t>(i);
    return std::nullopt;
}

// A file written by this version holds Baud and the matching former position; a file written by
// an earlier version holds only Speed, or a Speed that an earlier version changed after us.
std::int16_t SpeedPosition(SettingsStore& store) {
    const std::int16_t former = ListPosition(store, "Speed", "1", kFormerSpeedEntries.size());
    const std::optional<std::string> baud = store.Read(kSetupGroup, "Baud");
    const auto current = baud ? PositionIn(kSpeedEntries, Trim(*baud, kBlanks)) : std::nullopt;
    if (current) {
        const std::int16_t formerOfCurrent =
            PositionIn(kFormerSpeedEntries, kSpeedEntries[static_cast<std::size_t>(*current)])
                .value_or(-1);
        if (formerOfCurrent == former || !store.Read(kSetupGroup, "Speed")) return *current;
    }
    if (former < 0) return -1;
    return *PositionIn(kSpeedEntries, kFormerSpeedEntries[static_cast<std::size_t>(former)]);
}

double Geometry(SettingsStore& store, const char* key) {
    const double value = NumericValue(ReadSetting(store, key, "0"));
    return std::isfinite(value) ? value : 0.0;
}

}  // namespace

std::string PortEntry(int position) { return "Com " + std::to_string(position + 1); }

void FillDigitCharacters(SessionState& state) {
    for (std::size_t i = 1; i <= 10; ++i) state.digitCharacters[i] = std::to_string(i - 1).back();
}

RestoredChoices RestoreChoices(SettingsStore& store) {
    RestoredChoices restored;
    restored.top = Geometry(store, "Top");
    restored.left = Geometry(store, "Left");
    restored.address = ReadSetting(store, "Address", "00");
    restored.address = std::string(Trim(restored.address));
    restored.protocolPosition = ListPosition(store, "Type", "-1", Families().size());
    restored.speedPosition = SpeedPosition(store);
    restored.portPosition = ListPosition(store, "ComPort", "1", kPortCount);
    restored.onTop = NumericValue(ReadSetting(store, "OnTop", "0")) == 1.0;
    return restored;
}

bool SaveChoices(SettingsStore& store, const ChoicesToSave& choices) {
    store.Write(kSetupGroup, "ComPort", std::to_string(choices.portPosition));
    store.Write(kSetupGroup, "Type", std::to_string(choices.protocolPosition));
    const bool speedChosen = choices.speedPosition >= 0 &&
                             choices.speedPosition < static_cast<int>(kSpeedEntries.size());
    const std::string_view baud =
        speedChosen ? kSpeedEntries[static_cast<std::size_t>(choices.speedPosition)]
                    : std::string_view{};
    const std::int16_t former =
        speedChosen ? PositionIn(kFormerSpeedEntries, baud).value_or(-1) : std::int16_t{-1};
    store.Write(kSetupGroup, "Speed", std::to_string(former));
    store.Write(kSetupGroup, "Baud", std::string(baud));
    store.Write(kSetupGroup, "Address", choices.address);
    store.Write(kSetupGroup, "OnTop", choices.onTop ? "1" : "0");
    if (choices.normalState) {
        store.Write(kSetupGroup, "Left", GeometryText(choices.left));
        store.Write(kSetupGroup, "Top", GeometryText(choices.top));
        store.Write(kSetupGroup, "Width", GeometryText(choices.width));
        store.Write(kSetupGroup, "Height", GeometryText(choices.height));
    }
    return store.Sync();
}

std::string HelpBoxText() {
    static constexpr std::array<std::string_view, 8> lines = {
        "BASIC MORAVEL Program for Kenwood / ICOM /FT817",
        "by VASKRO",
        "",
        "This program allows you to test bidirectional RS232 communications",
        "",
        "Select Protocol, Address(ICOM), Speed, Com port",
        "Press IOPEN",
        "The current frequency must be displayed"};
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += lines[i];
    }
    return text;
}

}  // namespace cat
