#pragma once

// Wording the verdicts share, for the diagnosis's own files only.

#include <string>
#include <utility>

#include "doctor/diagnosis.h"

namespace cat::doctor {

// How long ago, in steps a status line can show without flickering: below a second it is simply
// "<1 s ago", then whole seconds.
inline std::string Ago(double seconds) {
    if (seconds < 1) return "<1 s ago";
    return std::to_string(static_cast<long>(seconds)) + " s ago";
}

// "Com 3 (/dev/ttyUSB0)", or the port alone when no device is known.
inline std::string PortText(const Observation& o) {
    return o.device.empty() || o.device == o.port ? o.port : o.port + " (" + o.device + ")";
}

// A name in a status line is cut to `most` characters, so that what is wrong stays in sight.
inline std::string Cut(std::string name, std::size_t most) {
    if (name.size() > most) name = name.substr(0, most - 1) + "\u2026";
    return name;
}

inline Verdict Make(VerdictKind kind, bool problem, std::string id, std::string brief,
                    std::string text, std::string advice) {
    Verdict v;
    v.kind = kind;
    v.problem = problem;
    v.id = std::move(id);
    v.brief = std::move(brief);
    v.text = std::move(text);
    v.advice = std::move(advice);
    return v;
}

}  // namespace cat::doctor
