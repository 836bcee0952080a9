#pragma once

// The window as the link doctor reaches it: what the link is set to, the few things the doctor
// may do to it (close it, reopen it with settings it found, hold polling during a scan) and where
// it shows what it concluded. Kept this small so the panel can run against a stand-in window.

#include <QRect>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "core/session_state.h"

namespace cat {

// A problem is marked so that it reads as one at a glance, not only by its words.
inline constexpr const char* kProblemColour = "#a00000";

// Settings the doctor found or advises; an empty field keeps what the window has.
struct LinkSettingsChange {
    std::optional<int> protocolPosition;  // in the protocol list
    std::optional<int> speed;             // baud
    std::string address;                  // ICOM address, hexadecimal
};

class LinkDoctorHost {
public:
    virtual ~LinkDoctorHost() = default;

    // "Com N" as chosen in the port list, 0 when none is.
    virtual int PortNumber() const = 0;
    virtual std::string SpeedText() const = 0;
    virtual std::string ProtocolText() const = 0;
    // Every speed the list offers, in its order: the scan tries them all.
    virtual std::vector<int> SpeedChoices() const = 0;

    // Open is pressed (the link is open, or waiting for its device).
    virtual bool LinkTicked() const = 0;
    // Releases Open when it is pressed, as a click would.
    virtual void ReleaseOpen() = 0;
    // Releases Open, takes the settings and presses Open again.
    virtual void ReopenWith(const LinkSettingsChange& change) = 0;

    // The status line: a brief, whether it is a problem, and the whole for tooltip and reader.
    virtual void ShowStatus(const QString& brief, bool problem, const QString& whole) = 0;
    // Greys the radio's reading while nothing vouches for it.
    virtual void ShowReadingStale(bool stale) = 0;
    // The window's frame on screen, so the details open beside it.
    virtual QRect Frame() const = 0;
};

}  // namespace cat
