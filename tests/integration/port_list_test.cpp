// The port list following a by-id folder: a temporary folder stands in for /dev/serial/by-id, a
// link in it for an adapter being plugged in, and the list must follow through the folder's
// change notices alone.
#include "qt/ports/port_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "qt/platform/qt_settings_store.h"

namespace cat {
namespace {

const char* kAdapter = "usb-Test_Radio_Interface_0001-if00-port0";

class PortListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        byId_ = dir_.filePath("by-id");
        device_ = dir_.filePath("ttyTEST0");
        QFile(device_).open(QIODevice::WriteOnly);  // what the adapter's link points at
        store_ = std::make_unique<QtSettingsStore>(dir_.filePath("CAT.ini"));
        for (int n = 1; n <= 32; ++n) list_.addItem(QString("Com %1").arg(n));
    }
    // The adapter plugged in: udev makes the by-id folder when the first adapter comes.
    void PlugIn() {
        QDir().mkpath(byId_);
        ASSERT_EQ(::symlink(device_.toLocal8Bit().constData(), Link().constData()), 0);
    }
    void Unplug() { ASSERT_EQ(::unlink(Link().constData()), 0); }
    QByteArray Link() const { return QDir(byId_).filePath(kAdapter).toLocal8Bit(); }

    QTemporaryDir dir_;
    QString byId_;
    QString device_;
    std::unique_ptr<QtSettingsStore> store_;
    QComboBox list_;
};

TEST_F(PortListTest, FollowsPluggingAndKeepsTheAdaptersNumber) {
    PortListWatch watch(*store_, list_, byId_);
    watch.Refresh();
    // Unmapped, Com 3 opens the system's /dev/ttyS2: absent says so.
    EXPECT_EQ(list_.itemText(2),
              QFileInfo::exists("/dev/ttyS2") ? "Com 3" : "Com 3  ttyS2 (absent)");
    EXPECT_FALSE(store_->Read("Ports", "Com3"));

    const auto shows = [&](const QString& text) {
        return QTest::qWaitFor([&] { return list_.itemText(2) == text; }, 3000);
    };
    PlugIn();
    EXPECT_TRUE(shows("Com 3  " + device_)) << list_.itemText(2).toStdString();
    EXPECT_EQ(store_->Read("Ports", "Com3"), QDir(byId_).filePath(kAdapter).toStdString());
    EXPECT_TRUE(list_.itemData(2, Qt::ToolTipRole).toString().contains(kAdapter));

    Unplug();
    EXPECT_TRUE(shows("Com 3  Test_Radio_Interface_0001 (absent)"))
        << list_.itemText(2).toStdString();
    PlugIn();
    EXPECT_TRUE(shows("Com 3  " + device_)) << list_.itemText(2).toStdString();
    EXPECT_FALSE(store_->Read("Ports", "Com4")) << "the same adapter keeps its number";
    EXPECT_EQ(list_.count(), 32);
}

TEST(ListPortsCommand, PrintsTheTableWithoutADisplay) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QDir().mkpath(home.filePath("config/CAT"));
    QSettings ini(home.filePath("config/CAT/CAT.ini"), QSettings::IniFormat);
    ini.setValue("Ports/Com5", "rfc2217://shack-pi:2000");
    ini.sync();
    QProcess catlink;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    catlink.setProcessEnvironment(env);
    catlink.start(CATLINK_PATH, {"--list-ports"});
    ASSERT_TRUE(catlink.waitForFinished(10000));
    EXPECT_EQ(catlink.exitCode(), 0) << catlink.readAllStandardError().toStdString();
    const QString out = QString::fromUtf8(catlink.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith("Com  Device")) << out.toStdString();
    EXPECT_TRUE(
        out.contains(QRegularExpression("\\n  5  rfc2217://shack-pi:2000 +- +a serial port "
                                        "on the network")))
        << out.toStdString();
}

}  // namespace
}  // namespace cat
