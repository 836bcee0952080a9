#pragma once

// What the benchmarks that drive the window share: their command line, CPU time, a virtual radio,
// an event loop run for a while, the window opened on a Com number and the teardown after a run.
// Figures only, no assertions.

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>
#include <numeric>
#include <vector>

#include "bench/bench_arguments.h"
#include "qt/window/main_window.h"
#include "tests/support/window_controls.h"

namespace cat::bench {

using namespace cat::test;

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

// The event loop without a screen unless the caller named one, as the tests run it.
inline void OffscreenUnlessTold() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

#ifdef RADIOSIM_DEFAULT
inline QString RadiosimPath(const Arguments& arguments) {
    return QString::fromStdString(arguments.Text("--radiosim", RADIOSIM_DEFAULT));
}
#endif

// "--protocol NAME" given, or every name of `all`.
inline QStringList Protocols(const Arguments& arguments, const QStringList& all) {
    std::vector<std::string> fallback;
    for (const QString& name : all) fallback.push_back(name.toStdString());
    QStringList chosen;
    for (const std::string& name : arguments.Values("--protocol", fallback))
        chosen << QString::fromStdString(name);
    return chosen;
}

// radiosim's protocol names to the protocol list's; a list text stays as it is.
inline QString ListText(const QString& protocol) {
    if (protocol == "icom") return QStringLiteral("ICOM");
    if (protocol == "kenwood") return QStringLiteral("Kenwood");
    if (protocol == "ft817") return QStringLiteral("FT-817");
    if (protocol == "yaesu") return QStringLiteral("Yaesu");
    return protocol;
}

// radiosim on its own pseudo-terminal, which it names in its first line.
class Radio {
public:
    Radio(const QString& radiosim, const QStringList& arguments) {
        process_.start(radiosim, arguments);
        if (process_.waitForStarted(5000) && process_.waitForReadyRead(5000))
            pty_ = QString::fromUtf8(process_.readLine()).trimmed().mid(4);
    }
    // Behind `link`, quiet.
    Radio(const QString& radiosim, const QString& protocol, const QString& link,
          const QStringList& more = {})
        : Radio(radiosim, QStringList{"--protocol", protocol, "--link", link, "--quiet"} + more) {}
    ~Radio() { Stop(); }
    bool Started() const { return !pty_.isEmpty(); }
    // What radiosim reports, for a program that counts its lines.
    QProcess& Process() { return process_; }
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
inline void OpenLinkOn(const QWidget& w, const QString& listText, int com) {
    ChooseLink(w, listText, com);
    OpenButton(w)->click();
}

// False, after saying so, when `radio` did not start; `what` names the run.
inline bool RadioStarted(const Radio& radio, const QString& what) {
    if (!radio.Started()) std::printf("%s: radiosim did not start\n", qPrintable(what));
    return radio.Started();
}

// Open released, as a click would, when it is pressed.
inline void ReleaseOpen(const QWidget& w) {
    if (OpenButton(w)->isChecked()) OpenButton(w)->click();
}

// The end of a run: the link closes and the radio goes.
inline void Teardown(const QWidget& w, Radio& radio) {
    ReleaseOpen(w);
    radio.Stop();
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
