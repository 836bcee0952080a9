#include "doctor/monitor_text.h"

#include <cstdio>

#include "core/session_state.h"

namespace cat::doctor {

namespace {

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
        default:
            return "";
    }
}

}  // namespace

std::string ShowBytes(const std::string& bytes, std::int16_t protocolCode) {
    std::string out;
    char piece[8];
    if (IsKenwood(protocolCode)) {
        for (char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            if (b >= 0x20 && b < 0x7F && c != '\\') {
                out.push_back(c);
            } else {
                std::snprintf(piece, sizeof piece, "\\x%02x", b);
                out += piece;
            }
        }
        return out;
    }
    for (char c : bytes) {
        std::snprintf(piece, sizeof piece, out.empty() ? "%02x" : " %02x",
                      static_cast<unsigned char>(c));
        out += piece;
    }
    return out;
}

std::string MonitorLine(const LineUnit& unit, std::int16_t protocolCode, double origin) {
    char time[32];
    std::snprintf(time, sizeof time, "%9.3f ", unit.at - origin);
    std::string line = time;
    line += Mark(unit.kind);
    line.resize(line.size() < 13 ? 13 : line.size(), ' ');
    line += ShowBytes(unit.bytes, protocolCode);
    const std::string word = KindWord(unit.kind);
    std::string note = word;
    if (!unit.note.empty()) note += (note.empty() ? "" : ": ") + unit.note;
    if (!note.empty()) {
        line.resize(line.size() < 50 ? 50 : line.size() + 1, ' ');
        line += note;
    }
    return line;
}

}  // namespace cat::doctor
