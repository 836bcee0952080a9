#pragma once

// What the status line below the buttons says when more than one source has words for it: a
// radio keyed for a test outranks everything, what the window says of the operator's own request
// outranks the doctor, and the doctor's words are always there underneath, kept while the others
// show, so they come back when those end.

#include <optional>
#include <string>
#include <utility>

namespace cat {

struct StatusWords {
    std::string brief;  // fits the line, its key fact first
    bool problem = false;
    std::string whole;  // for the tooltip, a screen reader and the details
};

class StatusRanking {
public:
    void SetDoctor(StatusWords words) { doctor_ = std::move(words); }
    // std::nullopt ends a notice or an alert.
    void SetNotice(std::optional<StatusWords> words) { notice_ = std::move(words); }
    void SetTransmitAlert(std::optional<StatusWords> words) { transmitAlert_ = std::move(words); }

    // The words the line shows: the first of alert, notice, doctor that is there.
    const StatusWords& Shown() const;

private:
    std::optional<StatusWords> transmitAlert_;
    std::optional<StatusWords> notice_;
    StatusWords doctor_;
};

}  // namespace cat
