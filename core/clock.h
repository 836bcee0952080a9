#pragma once

#include <chrono>

namespace cat {

using Seconds = std::chrono::duration<double>;

// Time since an arbitrary start, never going back (a clock set back or midnight changes nothing):
// every wait, period and traffic time is measured on it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Seconds Now() = 0;
};

}  // namespace cat
