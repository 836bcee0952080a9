#pragma once

// ser2net as a child process: it publishes one device on loopback, as RFC 2217 (telnet) and as
// raw TCP, on free ports. The test installs nothing: without ser2net it is skipped
// (SKIP_WITHOUT_SER2NET, for GoogleTest). The benchmarks use it too.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#define SKIP_WITHOUT_SER2NET()                                           \
    if (::cat::test::Ser2net::Binary().isEmpty())                        \
    GTEST_SKIP() << "ser2net is not installed (Debian package ser2net; " \
                    "scripts/install-deps.sh installs it)"

namespace cat::test {

class Ser2net {
public:
    static QString Binary() {
        QString found = QStandardPaths::findExecutable("ser2net");
        if (found.isEmpty())
            found = QStandardPaths::findExecutable("ser2net", {"/usr/sbin", "/usr/local/sbin"});
        return found;
    }

    // A loopback port nobody listens on now (and, in all likelihood, a moment later).
    static int FreePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = Loopback(0);
        socklen_t size = sizeof address;
        int port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
        ::close(fd);
        return port;
    }

    // Whether something listens on a loopback port: a connection made and dropped at once.
    static bool Listens(int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in address = Loopback(port);
        const bool ok =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    // Publishes `device` (which need not exist yet) from `folder`, where the configuration goes.
    Ser2net(const QString& device, const QString& folder)
        : rfc2217Port_(FreePort()), rawPort_(FreePort()) {
        const QString config = QDir(folder).filePath("ser2net.yaml");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) return;
        const QString line = QStringLiteral("serialdev,%1,9600n82,local").arg(device);
        file.write(QStringLiteral("connection: &rfc2217\n"
                                  "    accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                  "    connector: %3\n"
                                  "connection: &raw\n"
                                  "    accepter: tcp,127.0.0.1,%2\n"
                                  "    connector: %3\n")
                       .arg(rfc2217Port_)
                       .arg(rawPort_)
                       .arg(line)
                       .toUtf8());
        file.close();
        // -n: stay in the foreground; -u: no lock files, which the parallel tests would share.
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(Binary(), {"-n", "-u", "-c", config, "-P", QDir(folder).filePath("pid")});
        started_ =
            process_.waitForStarted(5000) &&
            QTest::qWaitFor([&] { return Listens(rfc2217Port_) && Listens(rawPort_); }, 5000);
    }
    ~Ser2net() { Stop(); }

    bool Started() const { return started_; }
    int Rfc2217Port() const { return rfc2217Port_; }
    int RawPort() const { return rawPort_; }
    QString Rfc2217Address() const {
        return QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfc2217Port_);
    }
    QString RawAddress() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(rawPort_); }
    QString Output() { return QString::fromUtf8(process_.readAll()); }

    void Stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

private:
    static sockaddr_in Loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        return address;
    }

    int rfc2217Port_;
    int rawPort_;
    QProcess process_;
    bool started_ = false;
};

}  // namespace cat::test
