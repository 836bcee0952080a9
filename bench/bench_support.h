#pragma once

// What the replug, remote and exit benchmarks share: CPU time, a virtual radio behind a link, an
// event loop run for a while, and the window opened on a Com number. Figures only, no assertions.

#include <sys/resource.h>
#include <unistd.h>

#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <numeric>
#include <vector>

#include "qt/frmcat.h"

namespace cat::bench {

using Clock = std::chrono::steady_clock;

inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The event loop alone for `ms`, as the program runs it: no polling of our own.
inline void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` or `limitMs`; checks every 2 ms (the harness's own cost).
inline bool RunUntil(const std::function<bool()>& done, int limitMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!done() && Clock::now() < end) RunFor(2);
    return done();
}

// radiosim with its pty behind `link`; reads its first line to learn the pty.
class Radio {
public:
    Radio(const QString& radiosim, const QString& protocol, const QString& link,
          const QStringList& more = {}) {
        process_.start(radiosim,
                       QStringList{"--protocol", protocol, "--link", link, "--quiet"} + more);
        if (process_.waitForStarted(5000) && process_.waitForReadyRead(5000))
            pty_ = QString::fromUtf8(process_.readLine()).trimmed().mid(4);
    }
    ~Radio() { Stop(); }
    bool Started() const { return !pty_.isEmpty(); }
    QString Pty() const { return pty_; }
    void Control(const QByteArray& line) {
        process_.write(line + "\n");
        process_.waitForBytesWritten(1000);
    }
    void Stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(5000);
    }

private:
    QProcess process_;
    QString pty_;
};

// Picks the protocol, "Com `com`", 9600 baud and address 5E, and ticks Open.
inline void OpenLinkOn(frmCAT& w, const QString& listText, int com) {
    w.cboSelect->setCurrentText(listText);
    w.cboCom->setCurrentIndex(com - 1);
    w.cboSpeed->setCurrentText("9600");
    w.txtAddress->setText("5E");
    w.chkOpen->click();
}

struct Summary {
    double mean = 0, min = 0, max = 0, median = 0, p90 = 0;
    int count = 0;
};

inline Summary Summarise(std::vector<double> values) {
    Summary s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    s.count = static_cast<int>(values.size());
    s.mean = std::accumulate(values.begin(), values.end(), 0.0) / s.count;
    s.min = values.front();
    s.max = values.back();
    s.median = values[values.size() / 2];
    s.p90 = values[std::min(values.size() - 1, values.size() * 9 / 10)];
    return s;
}

}  // namespace cat::bench
