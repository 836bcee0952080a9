#include "control/set_confirmation.h"

#include <cstdlib>

#include "control/frequency_text.h"

namespace cat {

void SetConfirmation::Sent(std::int64_t hertz, double now) { pending_ = Pending{hertz, now}; }

std::optional<Refusal> SetConfirmation::Check(double now, std::optional<double> lastReadingTime,
                                              std::optional<std::int64_t> frequencyHz) {
    if (!pending_) return std::nullopt;
    const Pending set = *pending_;
    if (lastReadingTime && *lastReadingTime > set.sentAt && frequencyHz) {
        pending_.reset();
        // The set commands carry 10 Hz steps: a reading within a step is the frequency asked.
        if (std::llabs(*frequencyHz - set.hertz) < 10) return std::nullopt;
        const std::string asked = MegahertzText(set.hertz);
        return Refusal{"Refused " + asked + " MHz",
                       "The radio did not take " + asked + " MHz: it reports " +
                           MegahertzText(*frequencyHz) +
                           " MHz after the set. The frequency may be outside its bands, or the "
                           "radio may be locked."};
    }
    if (now - set.sentAt > kSetReadBackSeconds) pending_.reset();
    return std::nullopt;
}

}  // namespace cat
