#pragma once

// The verdict once Find radio has found the radio: a radio found at other settings than the
// link's is named with what differs and the fix, so that the verdict line never keeps a guess
// ("the radio may be off") that the scan has since disproved.

#include "doctor/diagnosis.h"
#include "doctor/scan.h"

namespace cat::doctor {

// `verdict` on the link as it was set, turned into what differs from `found` (another family,
// address or speed) with the fix; `verdict` itself when nothing differs, when it already names
// another family or address, or when no protocol was chosen (that verdict says what to do).
Verdict FoundElsewhere(const Verdict& verdict, const Observation& o, const Found& found);

}  // namespace cat::doctor
