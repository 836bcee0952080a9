#include "shell/status_words.h"

namespace cat {

const StatusWords& StatusRanking::Shown() const {
    if (transmitAlert_) return *transmitAlert_;
    if (notice_) return *notice_;
    return doctor_;
}

}  // namespace cat
