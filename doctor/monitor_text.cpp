#include "doctor/monitor_text.h"

#include <algorithm>
#include <cstdio>

#include "core/text.h"
#include "protocols/common/family_support.h"
#include "protocols/families.h"

namespace cat::doctor {

namespace {

// One unit's line stays readable whatever the far end sent: its bytes and note are cut here, with
// a count of what was left out.
constexpr std::size_t kShownBytes = 240;
constexpr std::size_t kShownNote = 200;

const char* Mark(UnitKind kind) {
    switch (kind) {
        case UnitKind::Command:
            return ">";  // sent
        case UnitKind::Echo:
            return "<e";  // our own bytes back
        case UnitKind::Reply:
            return "<";
        default:
            return "<!";  // came back, and is not what it should be
    }
}

const char* KindWord(UnitKind kind) {
    switch (kind) {
        case UnitKind::OtherProtocol:
            return "another protocol";
        case UnitKind::Noise:
            return "no reply";
        case UnitKind::Unread:
            return "not read here";
        default:
            return "";
    }
}

}  // namespace

std::string ShowBytes(const std::string& bytes, Protocol protocol) {
    const RadioFamily* family = FamilyFor(protocol);
    return family ? family->ShowBytes(bytes) : family::HexBytes(bytes);
}

std::string MonitorLine(const LineUnit& unit, Protocol protocol, double origin) {
    char time[32];
    std::snprintf(time, sizeof time, "%9.3f ", unit.at - origin);
    std::string line = time;
    line += Mark(unit.kind);
    line.resize(line.size() < 13 ? 13 : line.size(), ' ');
    line += Bounded(ShowBytes(unit.bytes, protocol), kShownBytes);
    const std::string word = KindWord(unit.kind);
    std::string note = word;
    if (!unit.note.empty()) note += (note.empty() ? "" : ": ") + Bounded(unit.note, kShownNote);
    if (!note.empty()) {
        line.resize(line.size() < 50 ? 50 : line.size() + 1, ' ');
        line += note;
    }
    return line;
}

std::vector<std::string> NextMonitorLines(const LineAnalyzer& line, MonitorCursor& cursor,
                                          Protocol protocol, double origin, std::size_t limit) {
    const auto& units = line.Units();
    const std::size_t fresh = std::min({line.Total() - cursor.units, units.size(), limit});
    std::vector<std::string> lines;
    std::size_t notShown = line.Bytes() - cursor.bytes;
    for (std::size_t i = units.size() - fresh; i < units.size(); ++i) {
        lines.push_back(MonitorLine(units[i], protocol, origin));
        notShown -= units[i].bytes.size();
    }
    if (notShown > 0)
        lines.insert(lines.begin(), "... " + std::to_string(notShown) + " bytes not shown");
    cursor = {line.Total(), line.Bytes()};
    return lines;
}

}  // namespace cat::doctor
