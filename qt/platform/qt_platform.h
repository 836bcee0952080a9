#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include "core/platform.h"

namespace cat {

class QtClock : public Clock {
public:
    QtClock() { timer_.start(); }
    Seconds Now() override { return Seconds(static_cast<double>(timer_.nsecsElapsed()) / 1e9); }

private:
    QElapsedTimer timer_;  // monotonic
};

class QtPause : public Pause {
public:
    void Sleep(int milliseconds) override;
};

// Modal boxes parented to the window; the event loop runs while one is open.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent) : parent_(parent) {}
    void Critical(const std::string& text) override;
    void Information(const std::string& title, const std::string& text) override;

private:
    QWidget* parent_;
};

class QtPollTimer : public PollTimer {
public:
    explicit QtPollTimer(QTimer& timer) : timer_(timer) {}
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return timer_.isActive(); }

private:
    QTimer& timer_;
};

}  // namespace cat
