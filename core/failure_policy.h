#pragma once

// How a routine treats a failure raised beneath it (a CatError from the port, an arithmetic
// overflow, anything else). Three styles, each routine's header says which it follows:
//
//   report  - stop and tell the operator in a message box: link control, the CI-V sender;
//   ignore  - skip the failing step and go on with the next: the Kenwood and FT-817 routines, the
//             receive passes, set frequency, the receive notification;
//   abandon - stop at the first failure and return without a word: the poll tick,
//   FrequencyDisplayText.
//
// Ignore and abandon both go through SkipOnFailure: a step that must never fail its caller. The
// only difference is what the caller does after a false.

#include <utility>

namespace cat {

// Runs `step`; true when it finished, false when it raised. Nothing escapes.
template <typename Step>
bool SkipOnFailure(Step&& step) noexcept {
    try {
        std::forward<Step>(step)();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace cat
