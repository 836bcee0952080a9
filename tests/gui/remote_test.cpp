// A radio on the network, end to end: ser2net publishes radiosim's pseudo-terminal on loopback as
// RFC 2217 and as raw TCP, and the real window reads and sets the radio through it, then rides
// out the far end going away and coming back.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QTest>

#include "qt/replug_watch.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/ser2net_process.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using test::Radiosim;

struct Row {
    const char* name;
    const char* listText;
    const char* radiosim;
    bool rfc2217;
};

// Test names and failures show the row by its name.
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class RemoteRadioTest : public test::WindowTest, public ::testing::WithParamInterface<Row> {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SER2NET();
        WindowTest::SetUp();
        device = dir_.filePath("radio");
        radio = StartRadio();
        ser2net = std::make_unique<test::Ser2net>(device, dir_.path());
        ASSERT_TRUE(ser2net->Started()) << ser2net->Output().toStdString();
        QSettings ini(IniPath(), QSettings::IniFormat);
        ini.setValue("Ports/Com5",
                     GetParam().rfc2217 ? ser2net->Rfc2217Address() : ser2net->RawAddress());
    }

    std::unique_ptr<Radiosim> StartRadio() {
        auto r = std::make_unique<Radiosim>(
            dir_.filePath("radiosim.ini"), 1,
            QStringList{"--protocol", GetParam().radiosim, "--link", device});
        EXPECT_TRUE(r->Started());
        return r;
    }
    bool Follows(frmCAT& w, int khz) {
        radio->Control(QString("freq 7.%1").arg(khz, 3, 10, QChar('0')));
        const QString shown = QString(" 7.%1.00").arg(khz, 3, 10, QChar('0'));
        return QTest::qWaitFor([&] { return w.txtFreq->text().startsWith(shown); }, 8000);
    }
    speed_t PtySpeed() {
        termios t{};
        const int fd =
            ::open(radio->Pty().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || ::tcgetattr(fd, &t) != 0) ADD_FAILURE() << "cannot read the pty's line";
        if (fd >= 0) ::close(fd);
        return cfgetospeed(&t);
    }

    QString device;
    std::unique_ptr<Radiosim> radio;
    std::unique_ptr<test::Ser2net> ser2net;
};

TEST_P(RemoteRadioTest, ReadsSetsAndRidesOutTheFarEndGoingAway) {
    frmCAT& w = Start();
    w.show();
    w.cboSelect->setCurrentText(GetParam().listText);
    w.cboCom->setCurrentIndex(4);
    w.cboSpeed->setCurrentText("38400");
    w.txtAddress->setText("5E");
    // ser2net's device may still be busy from the helper's check that it listens: a ticked link
    // waits for it like for any far end that is not ready.
    w.chkOpen->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Port().IsOpen(); }, 5000))
        << w.Replug().Status().detail;
    ASSERT_TRUE(Follows(w, 30)) << w.txtFreq->text().toStdString();
    if (GetParam().rfc2217) {
        EXPECT_EQ(PtySpeed(), static_cast<speed_t>(B38400));
    }

    w.txtFreqTRX->setText("21.074");
    w.cmdSet->click();
    EXPECT_TRUE(radio->WaitForLine("freq 21074000"));

    for (int i = 1; i <= 2; ++i) {
        radio->Stop();  // ser2net loses its device and drops the connection
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return w.Replug().Status().state == LinkState::WaitingForDevice; }, 5000))
            << "drop " << i;
        EXPECT_FALSE(w.Port().IsOpen());
        EXPECT_TRUE(w.chkOpen->isChecked());
        radio = StartRadio();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.Port().IsOpen(); }, 8000))
            << "return " << i << ": " << w.Replug().Status().detail;
        ASSERT_TRUE(Follows(w, 30 + i))
            << "return " << i << ": " << w.txtFreq->text().toStdString();
        if (GetParam().rfc2217) {
            EXPECT_EQ(PtySpeed(), static_cast<speed_t>(B38400));
        }
    }
}

const Row kRows[] = {
    {"IcomRfc2217", "ICOM", "icom", true},          {"KenwoodRfc2217", "Kenwood", "kenwood", true},
    {"Ft817Rfc2217", "FT-817", "ft817", true},      {"IcomRawTcp", "ICOM", "icom", false},
    {"KenwoodRawTcp", "Kenwood", "kenwood", false}, {"Ft817RawTcp", "FT-817", "ft817", false},
};

INSTANTIATE_TEST_SUITE_P(Ser2net, RemoteRadioTest, ::testing::ValuesIn(kRows),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace cat
