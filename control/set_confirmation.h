#pragma once

// Whether the radio took the frequency the operator set: a radio outside its bands or locked
// answers the set all the same, and only the next reading shows it. Plain values in, so any
// caller that sees the readings (the window, a link) can ask it.

#include <cstdint>
#include <optional>

#include "control/refusal.h"

namespace cat {

// How long a set waits for the reading that shows whether the radio took it.
inline constexpr double kSetReadBackSeconds = 3.0;

class SetConfirmation {
public:
    // A set of `hertz` went out at `now` (seconds on the caller's clock); it replaces one that
    // was still waiting.
    void Sent(std::int64_t hertz, double now);

    // At each tick: the refusal when the first reading after the set is more than a 10 Hz step
    // from it; nothing while waiting, once taken, or once no reading came within
    // kSetReadBackSeconds (the link's own words say why then). Either way the set is settled.
    std::optional<Refusal> Check(double now, std::optional<double> lastReadingTime,
                                 std::optional<std::int64_t> frequencyHz);

    bool Waiting() const { return pending_.has_value(); }

private:
    struct Pending {
        std::int64_t hertz = 0;
        double sentAt = 0;
    };
    std::optional<Pending> pending_;
};

}  // namespace cat
