#pragma once

// A fresh window per test, on a settings store of its own in a temporary folder.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>

#include "qt/platform/qt_settings_store.h"
#include "qt/window/main_window.h"
#include "tests/support/window_controls.h"

// A failed comparison of texts shows the texts, not their UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace cat::test {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // A box nobody expected (an open that failed, a "Com error") would wait for a click that
        // never comes, and the test would hang until CTest kills it. Close it and fail instead.
        QObject::connect(&boxWatch_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || expectingBox_) return;
            ADD_FAILURE() << "unexpected message box: " << box->text().toStdString();
            box->reject();
        });
        boxWatch_.start(50);
    }
    void TearDown() override {
        boxWatch_.stop();
        window.reset();
        store.reset();
    }

    QString IniPath() const { return dir_.filePath(QStringLiteral("CAT.ini")); }

    // Writes "Setup"/key before the window starts.
    void Stored(const char* key, const QString& value) {
        QSettings ini(IniPath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Setup/") + QLatin1String(key), value);
    }
    // "Com `com`" opens `device` (a path or a network address).
    void MapPort(int com, const QString& device) {
        QSettings ini(IniPath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Ports/Com%1").arg(com), device);
    }
    QVariant Saved(const char* key) {
        QSettings ini(IniPath(), QSettings::IniFormat);
        return ini.value(QStringLiteral("Setup/") + QLatin1String(key));
    }

    MainWindow& Start() {
        store = std::make_unique<QtSettingsStore>(IniPath());
        window = std::make_unique<MainWindow>(*store);
        return *window;
    }
    void CloseWindow() {
        window->close();
        store->Sync();
    }

    // Runs `action`, which opens a modal box; `inspect` sees the box, which is then dismissed.
    // Returns false when no box came up.
    bool WithModalBox(const std::function<void()>& action,
                      const std::function<void(QMessageBox&)>& inspect) {
        expectingBox_ = true;
        bool seen = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen = true;
                poll.stop();
                inspect(*box);
                box->accept();
            }
        });
        poll.start();
        // Tied to the poll timer: the timeout must not outlive it when the box came sooner.
        QTimer::singleShot(5000, &poll, [&] { poll.stop(); });
        action();
        poll.stop();
        expectingBox_ = false;
        return seen;
    }

    QTemporaryDir dir_;
    QTimer boxWatch_;
    bool expectingBox_ = false;
    std::unique_ptr<QtSettingsStore> store;
    std::unique_ptr<MainWindow> window;
};

}  // namespace cat::test
