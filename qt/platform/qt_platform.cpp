#include "qt/platform/qt_platform.h"

#include <QMessageBox>
#include <QThread>

namespace cat {

void QtPause::Sleep(int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); }

namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const std::string& title,
             const std::string& text) {
    // Texts join their lines with CR LF; Qt breaks lines on LF alone.
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(icon, QString::fromStdString(title), shown, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

void QtMessageBoxes::Critical(const std::string& text) {
    ShowBox(parent_, QMessageBox::Critical, "CAT", text);
}

void QtMessageBoxes::Information(const std::string& title, const std::string& text) {
    ShowBox(parent_, QMessageBox::Information, title, text);
}

void QtPollTimer::SetEnabled(bool enabled) {
    // Enabling a running timer must not restart its interval.
    if (enabled && !timer_.isActive()) timer_.start();
    if (!enabled) timer_.stop();
}

}  // namespace cat
