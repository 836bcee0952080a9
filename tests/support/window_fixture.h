#pragma once

// A fresh window per test, on a settings store of its own in a temporary folder.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

#include "qt/frmcat.h"
#include "qt/qt_settings_store.h"

namespace cat::test {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void TearDown() override {
        window.reset();
        store.reset();
    }

    QString IniPath() const { return dir_.filePath(QStringLiteral("CAT.ini")); }

    // Writes "Setup"/key before the window starts.
    void Stored(const char* key, const QString& value) {
        QSettings ini(IniPath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Setup/") + QLatin1String(key), value);
    }
    QVariant Saved(const char* key) {
        QSettings ini(IniPath(), QSettings::IniFormat);
        return ini.value(QStringLiteral("Setup/") + QLatin1String(key));
    }

    frmCAT& Start() {
        store = std::make_unique<QtSettingsStore>(IniPath());
        window = std::make_unique<frmCAT>(*store);
        return *window;
    }
    void CloseWindow() {
        window->close();
        store->Sync();
    }

    // Runs `action`, which opens a modal box; `inspect` sees the box, which is then dismissed.
    // Returns false when no box came up.
    static bool WithModalBox(const std::function<void()>& action,
                             const std::function<void(QMessageBox&)>& inspect) {
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
        QTimer::singleShot(5000, [&] { poll.stop(); });
        action();
        poll.stop();
        return seen;
    }

    QTemporaryDir dir_;
    std::unique_ptr<QtSettingsStore> store;
    std::unique_ptr<frmCAT> window;
};

}  // namespace cat::test
