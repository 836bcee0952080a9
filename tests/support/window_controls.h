#pragma once

// The window's controls as a user or a screen reader meets them: found by name in the window,
// never through its members. Shared by the window tests and the benchmark programs.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <stdexcept>
#include <string>

#include "qt/window/main_window.h"

namespace cat::test {

// A control the window no longer has fails the test that asked for it, not the whole run.
template <typename T>
T* Control(const QWidget& window, const char* name) {
    if (T* control = window.findChild<T*>(QString::fromLatin1(name))) return control;
    throw std::logic_error(std::string("the window has no control named ") + name);
}

inline QLineEdit* Reading(const QWidget& w) { return Control<QLineEdit>(w, "reading"); }
inline QPushButton* OpenButton(const QWidget& w) { return Control<QPushButton>(w, "open"); }
inline QComboBox* ProtocolList(const QWidget& w) { return Control<QComboBox>(w, "protocol"); }
inline QComboBox* PortList(const QWidget& w) { return Control<QComboBox>(w, "port"); }
inline QComboBox* SpeedList(const QWidget& w) { return Control<QComboBox>(w, "speed"); }
inline QLineEdit* AddressBox(const QWidget& w) { return Control<QLineEdit>(w, "address"); }
inline QComboBox* ModeList(const QWidget& w) { return Control<QComboBox>(w, "mode"); }
inline QLineEdit* FrequencyEntry(const QWidget& w) {
    return Control<QLineEdit>(w, "frequencyEntry");
}
inline QPushButton* SetButton(const QWidget& w) { return Control<QPushButton>(w, "set"); }
inline QPushButton* OnTopButton(const QWidget& w) { return Control<QPushButton>(w, "onTop"); }
inline QPushButton* HelpButton(const QWidget& w) { return Control<QPushButton>(w, "help"); }
inline QPushButton* ExitButton(const QWidget& w) { return Control<QPushButton>(w, "exit"); }
inline QPushButton* DetailsButton(const QWidget& w) { return Control<QPushButton>(w, "details"); }
inline QLabel* StatusLine(const QWidget& w) { return Control<QLabel>(w, "status"); }
inline QTimer* PollingTimer(const QWidget& w) { return Control<QTimer>(w, "pollTimer"); }

// The window's port is open: the link is up, not waiting for its device.
inline bool PortIsOpen(MainWindow& w) { return w.Port().IsOpen(); }

// Picks the protocol by its list text, "Com `com`", the speed and the ICOM address; Open stays as
// it is.
inline void ChooseLink(const QWidget& w, const QString& protocol, int com,
                       const QString& speed = QStringLiteral("9600"),
                       const QString& address = QStringLiteral("5E")) {
    ProtocolList(w)->setCurrentText(protocol);
    PortList(w)->setCurrentIndex(com - 1);
    SpeedList(w)->setCurrentText(speed);
    AddressBox(w)->setText(address);
}

}  // namespace cat::test
