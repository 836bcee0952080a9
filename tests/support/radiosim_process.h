#pragma once

// radiosim for the window's end-to-end tests: it writes the Com N mapping into the test's
// settings file and reports what it receives and how its state changes. A Qt face on the one
// radiosim driver (radiosim_runner.h): waits run the event loop, so the window keeps polling.

#include <gtest/gtest.h>

#include <QSocketNotifier>
#include <QStringList>
#include <QTest>
#include <memory>
#include <optional>

#include "tests/support/radiosim_runner.h"

namespace cat::test {

class Radiosim {
public:
    // Starts radiosim and waits for its first line ("pty PATH", or "rfc2217 HOST:PORT" with
    // --rfc2217 among the options; "Com N" then opens rfc2217://HOST:PORT).
    Radiosim(const QString& settingsPath, int com, const QStringList& options) {
        std::vector<std::string> args;
        for (const QString& option : options) args.push_back(option.toStdString());
        args.insert(args.end(),
                    {"--settings", settingsPath.toStdString(), "--com", std::to_string(com)});
        runner_ = std::make_unique<RadiosimRunner>(std::move(args));
        if (runner_->ReportFd() >= 0) {
            // Keep its output drained while the test waits on something else: a full pipe
            // would stall the radio.
            notifier_ =
                std::make_unique<QSocketNotifier>(runner_->ReportFd(), QSocketNotifier::Read);
            QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                             [this] { runner_->Pump(0); });
        }
    }
    ~Radiosim() { Stop(); }

    bool Started() const { return runner_->Started(); }
    QString Pty() const { return QString::fromStdString(runner_->PtyPath()); }
    // "127.0.0.1:40123" with --rfc2217.
    QString Address() const { return QString::fromStdString(runner_->Address()); }

    void Stop() {
        notifier_.reset();
        if (runner_->Pid() > 0 && runner_->Stop(SIGTERM) == -1) runner_->Stop(SIGKILL);
    }

    // A control line, as if the operator turned the radio's dial ("freq 7.074", "mode CW").
    void Control(const QString& line) { runner_->Control(line.toStdString()); }

    // Waits until radiosim has printed `line` (exactly) since the last Forget().
    bool WaitForLine(const QString& line, int ms = 8000) {
        return QTest::qWaitFor([&] { return Lines().contains(line); }, ms);
    }
    // Lines seen since the last Forget().
    QStringList Lines() {
        while (runner_->Pump(0)) {
        }
        QStringList lines;
        const auto& all = runner_->Lines();
        for (std::size_t i = forgotten_; i < all.size(); ++i) {
            lines << QString::fromStdString(all[i]).trimmed();
        }
        return lines;
    }
    // radiosim's own time (seconds) of the first line since the last Forget() that starts
    // with `prefix` at or after line `from`; nothing when there is none or it is untimed.
    std::optional<double> TimeOf(const QString& prefix, int from = 0) {
        const QStringList lines = Lines();
        for (int i = from; i < lines.size(); ++i)
            if (lines[i].startsWith(prefix)) return runner_->Time(forgotten_ + std::size_t(i));
        return std::nullopt;
    }
    int CountStartingWith(const QString& prefix) {
        int n = 0;
        for (const QString& l : Lines()) n += l.startsWith(prefix) ? 1 : 0;
        return n;
    }
    void Forget() {
        while (runner_->Pump(0)) {
        }
        forgotten_ = runner_->Lines().size();
    }

private:
    std::unique_ptr<RadiosimRunner> runner_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::size_t forgotten_ = 0;
};

}  // namespace cat::test
