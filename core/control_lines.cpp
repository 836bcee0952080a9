#include "core/control_lines.h"

#include <array>
#include <utility>

#include "core/lookup.h"
#include "core/port_names.h"
#include "core/text.h"

namespace cat {

namespace {

constexpr std::array<std::pair<std::string_view, bool>, 8> kLevels{{
    {"ON", true},
    {"OFF", false},
    {"1", true},
    {"0", false},
    {"HIGH", true},
    {"LOW", false},
    {"TRUE", true},
    {"FALSE", false},
}};

}  // namespace

std::string_view LineName(ControlLine line) { return line == ControlLine::Dtr ? "DTR" : "RTS"; }

std::string ControlLineKey(std::int16_t port, ControlLine line) {
    return PortKey(port) + "." + std::string(LineName(line));
}

std::optional<bool> ParseLineLevel(std::string_view text) {
    return Lookup(kLevels, std::string_view(UpperCase(Trim(text, kBlanks))));
}

ControlLineChoice ControlLinesFor(SettingsStore& store, std::int16_t port) {
    ControlLineChoice choice;
    for (ControlLine line : {ControlLine::Dtr, ControlLine::Rts}) {
        const std::optional<std::string> stored =
            store.Read(kPortsGroup, ControlLineKey(port, line));
        if (!stored || Trim(*stored, kBlanks).empty()) continue;
        const std::optional<bool> level = ParseLineLevel(*stored);
        if (!level) {
            if (!choice.ignored.empty()) choice.ignored += ", ";
            choice.ignored +=
                ControlLineKey(port, line) + "=" + std::string(Trim(*stored, kBlanks));
            continue;
        }
        choice.levels.Set(line, *level);
        (line == ControlLine::Dtr ? choice.dtrEntry : choice.rtsEntry) = level;
    }
    return choice;
}

std::string ControlLineEntry(std::int16_t port, ControlLine line, bool on) {
    return ControlLineKey(port, line) + (on ? "=on" : "=off");
}

std::string DescribeControlLines(const ControlLineChoice& choice) {
    std::string text;
    const auto add = [&](ControlLine line, const std::optional<bool>& entry) {
        if (!entry) return;
        if (!text.empty()) text += ", ";
        text += std::string(LineName(line)) + (*entry ? " on" : " off");
    };
    add(ControlLine::Dtr, choice.dtrEntry);
    add(ControlLine::Rts, choice.rtsEntry);
    return text;
}

std::string DescribeModemLines(const ModemLines& lines) {
    const std::array<std::pair<std::string_view, const std::optional<bool>*>, 5> shown{{
        {"DTR", &lines.dtr},
        {"RTS", &lines.rts},
        {"CTS", &lines.cts},
        {"DSR", &lines.dsr},
        {"DCD", &lines.dcd},
    }};
    std::string text;
    bool known = false;
    for (const auto& [name, level] : shown) {
        if (!text.empty()) text += " \xC2\xB7 ";
        text += std::string(name) + (level->has_value() ? (**level ? " on" : " off") : " ?");
        known = known || level->has_value();
    }
    return known ? text : std::string();
}

}  // namespace cat
