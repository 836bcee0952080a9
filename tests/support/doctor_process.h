#pragma once

// catlink --doctor as a user runs it at a terminal: no display, and a home of its own, so its
// settings and its single-copy lock are the test's.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <QSettings>
#include <QString>
#include <QStringList>

namespace cat::test {

struct DoctorOutcome {
    int status = -1;  // -1: it did not end by itself
    QString out;
};

// An ICOM link at 9600 baud on Com 1 to `address`, stored as the window would have left it.
inline void StoreIcomSetup(const QString& home, const QString& address) {
    QSettings ini(home + "/CAT/CAT.ini", QSettings::IniFormat);
    ini.setValue("Setup/Type", "0");   // ICOM
    ini.setValue("Setup/Speed", "1");  // 9600
    ini.setValue("Setup/ComPort", "0");
    ini.setValue("Setup/Address", address);
}

// `asNobody`: as user nobody when the tests run as root, so that permissions count.
inline DoctorOutcome RunDoctor(const QString& home, const QStringList& args, int ms = 60000,
                               bool asNobody = false) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home);
    p.setProcessEnvironment(env);
    const QStringList command = QStringList{CATLINK_PATH, "--doctor"} + args;
    if (asNobody && ::getuid() == 0)
        p.start("setpriv",
                QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups"} + command);
    else
        p.start(command.front(), command.mid(1));
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished(2000);
        ADD_FAILURE() << "catlink --doctor did not end";
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput())};
}

}  // namespace cat::test
