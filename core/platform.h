#pragma once

#include <string>

#include "core/clock.h"
#include "core/comm_port.h"

namespace cat {

class Pause {
public:
    virtual ~Pause() = default;
    virtual void Sleep(int milliseconds) = 0;
};

// Modal message boxes, parented to the window. Critical boxes carry the title "CAT".
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void Critical(const std::string& text) = 0;
    virtual void Information(const std::string& title, const std::string& text) = 0;
};

class PollTimer {
public:
    virtual ~PollTimer() = default;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
};

// What the core routines reach of the outside world; the window implements it
// with Qt, the unit tests with fakes.
struct Platform {
    CommPort& port;
    Clock& clock;
    Pause& pause;
    MessageBoxes& messages;
    PollTimer& pollTimer;
};

}  // namespace cat
