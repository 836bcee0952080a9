#pragma once

// rigctld as a child process on a free loopback port: the dummy radio (-m 1) or a model on a
// device radiosim serves. The test installs nothing: without rigctld it is skipped
// (SKIP_WITHOUT_RIGCTLD, for GoogleTest). The benchmarks use it too.

#include <signal.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>

#include "tests/support/ser2net_process.h"

#define SKIP_WITHOUT_RIGCTLD()                                                   \
    if (::cat::test::Rigctld::Binary().isEmpty())                                \
    GTEST_SKIP() << "rigctld is not installed (Debian package libhamlib-utils; " \
                    "scripts/install-deps.sh installs it)"

namespace cat::test {

class Rigctld {
public:
    static QString Binary() { return QStandardPaths::findExecutable("rigctld"); }

    // Starts rigctld with `options` (-m, -r, -s, ...) on `port` (0: a free one) and waits until it
    // listens. A radio that does not answer holds its start for seconds.
    explicit Rigctld(const QStringList& options, int port = 0)
        : options_(options), port_(port != 0 ? port : Ser2net::FreePort()) {
        Start();
    }
    ~Rigctld() { Stop(); }

    bool Start() {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(Binary(),
                       options_ + QStringList{"-T", "127.0.0.1", "-t", QString::number(port_)});
        started_ = process_.waitForStarted(5000) &&
                   QTest::qWaitFor([&] { return Listening(port_); }, 20000);
        return started_;
    }
    void Stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    bool Started() const { return started_; }
    int Port() const { return port_; }
    qint64 Pid() const { return process_.processId(); }
    QString Address() const { return QStringLiteral("rigctld://127.0.0.1:%1").arg(port_); }
    QString Output() { return QString::fromUtf8(process_.readAll()); }

private:
    // Whether rigctld listens on `port`, as the system's socket table shows it. A connection made
    // to find out would be a client of its own: rigctld opens its radio for it first, and a
    // silent radio holds that for many seconds before the test's own client is served.
    static bool Listening(int port) {
        QFile table(QStringLiteral("/proc/net/tcp"));
        if (!table.open(QIODevice::ReadOnly)) return Ser2net::Listens(port);
        const QByteArray local =
            ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        for (const QByteArray& line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[1].endsWith(local) && fields[3] == "0A") return true;
        }
        return false;
    }

    QStringList options_;
    int port_;
    QProcess process_;
    bool started_ = false;
};

}  // namespace cat::test
