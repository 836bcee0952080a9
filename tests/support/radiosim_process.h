#pragma once

// radiosim as a child process for the window's end-to-end tests: it writes the Com N mapping into
// the test's settings file and reports what it receives and how its state changes.

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <QTest>

namespace cat::test {

class Radiosim {
public:
    // Starts radiosim and waits for its "pty PATH" line.
    Radiosim(const QString& settingsPath, int com, const QStringList& options) {
        QStringList args = options;
        args << "--settings" << settingsPath << "--com" << QString::number(com);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(RADIOSIM_PATH, args);
        started_ = process_.waitForStarted(5000) &&
                   QTest::qWaitFor([&] { return ReadLines(), !pty_.isEmpty(); }, 10000);
    }
    ~Radiosim() { Stop(); }

    bool Started() const { return started_; }
    QString Pty() const { return pty_; }

    void Stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    // A control line, as if the operator turned the radio's dial ("freq 7.074", "mode CW").
    void Control(const QString& line) {
        process_.write((line + "\n").toUtf8());
        process_.waitForBytesWritten(1000);
    }

    // Waits until radiosim has printed `line` (exactly) since the last Forget(); runs the event
    // loop meanwhile, so the window keeps polling.
    bool WaitForLine(const QString& line, int ms = 8000) {
        return QTest::qWaitFor([&] { return ReadLines(), lines_.contains(line); }, ms);
    }
    // Lines seen since the last Forget().
    QStringList Lines() {
        ReadLines();
        return lines_;
    }
    int CountStartingWith(const QString& prefix) {
        int n = 0;
        for (const QString& l : Lines()) n += l.startsWith(prefix) ? 1 : 0;
        return n;
    }
    void Forget() {
        ReadLines();
        lines_.clear();
    }

private:
    void ReadLines() {
        process_.waitForReadyRead(0);
        buffer_ += process_.readAllStandardOutput();
        int end;
        while ((end = buffer_.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(buffer_.left(end)).trimmed();
            buffer_.remove(0, end + 1);
            if (pty_.isEmpty() && line.startsWith("pty ")) {
                pty_ = line.mid(4);
                continue;
            }
            lines_ << line;
        }
    }

    QProcess process_;
    QByteArray buffer_;
    QString pty_;
    QStringList lines_;
    bool started_ = false;
};

}  // namespace cat::test
