#pragma once

// Before a link sends its own family's bytes, a radio that frames by count (the FT-817) is looked
// for at each of its speeds faster than the link's. Such a radio counts every five bytes as one
// command, and bytes sent slower than it reads reach it re-sampled into more bytes than were
// sent: polls of another family would lock its dial or worse, poll after poll (measured with
// five_byte_exposure_bench). Bytes sent at its own speed or faster reach it whole or as fewer than
// five, so no check is needed there, and none is sent at such speeds.
//
// The check sends the scan's read, each time after a quarter second of silence, and restores the
// link's own line when it is over. A radio found is never polled in the link's family. When none
// is found, a family whose radios keep stray bytes (a text radio, up to its next ";") has its
// buffer emptied before the link's first command; the answer to that is dropped.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform.h"
#include "core/radio_family.h"

namespace cat {

class FiveByteCheck {
public:
    // Nothing when the link needs no check: its family frames by count itself, or no such radio
    // runs faster than `speed`. `lineSettings` and `handshake` are the link's own, restored at
    // the end.
    static std::shared_ptr<FiveByteCheck> For(const RadioFamily& family, int speed,
                                              LineSettings lineSettings, Handshake handshake);

    // One step at `now` (seconds on the platform clock); true once the check is over.
    bool Step(Platform& platform, double now);

    // When the next step has something to do, for a caller given `now`: the end of the silence
    // before a probe or of a probe's listening; soon while the clearing bytes' answer is awaited,
    // which ends that wait as it comes.
    double NextStepAt(double now) const;

    bool Over() const { return stage_ == Stage::Over; }
    // The family and speed of the radio found.
    const RadioFamily* Found() const { return found_; }
    int FoundSpeed() const { return foundSpeed_; }

private:
    enum class Stage { Quiet, Listen, Clear, Over };

    FiveByteCheck(const RadioFamily& family, std::vector<int> speeds, LineSettings lineSettings,
                  Handshake handshake)
        : family_(family),
          speeds_(std::move(speeds)),
          lineSettings_(std::move(lineSettings)),
          handshake_(handshake) {}
    bool Probe(Platform& platform, double now);
    bool Listen(Platform& platform, double now);
    bool Finish(Platform& platform, double now);
    bool AwaitClear(Platform& platform, double now);
    void Restore(Platform& platform);

    const RadioFamily& family_;  // the family looked for
    std::vector<int> speeds_;
    LineSettings lineSettings_;
    Handshake handshake_;
    std::size_t next_ = 0;
    Stage stage_ = Stage::Quiet;
    std::optional<double> lastSent_;
    double listenUntil_ = 0;
    std::optional<std::string> firstAnswer_;  // an answer waits for a second alike
    const RadioFamily* found_ = nullptr;
    int foundSpeed_ = 0;
    std::string_view bufferClear_;  // the link's family's, sent when no radio is found
    std::string clearAnswer_;
};

}  // namespace cat
