// Each protocol end to end without the window: the real serial port on radiosim's pseudo-terminal,
// driven through the link object as the window drives it, and by the protocol routines directly.
// Expected values are radiosim's documented state and the wire formats of its README.

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "control/set_frequency.h"
#include "control/set_mode.h"
#include "core/cat_error.h"
#include "core/mode.h"
#include "core/platform.h"
#include "core/session_state.h"
#include "link/five_byte_check.h"
#include "link/link_control.h"
#include "link/poll_cycle.h"
#include "protocols/civ/civ.h"
#include "protocols/families.h"
#include "protocols/ft817/ft817.h"
#include "protocols/kenwood/kenwood.h"
#include "qt/platform/qt_platform.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/ports/qt_comm_port.h"
#include "shell/startup.h"
#include "tests/support/fakes.h"
#include "tests/support/radiosim_process.h"

namespace cat {
namespace {

using namespace std::chrono_literals;
using test::Radiosim;
using test::ToHex;
using SteadyClock = std::chrono::steady_clock;

// Generous for a machine whose two cores are busy; every wait ends as soon as its goal is met.
constexpr auto kPatience = 5s;

// test::ShownMode before the radio has reported a mode of the list.
constexpr int kNoMode = -1;

using enum ModeIndex;

// One radio, one port, one session: everything a test touches, thrown away with the test. The
// radio outlives the port so that the port never sees its device vanish while it is open.
class LinkWorld {
public:
    LinkWorld(const QString& protocolText, const QStringList& radiosimOptions)
        : protocolText_(protocolText.toStdString()) {
        radio_ = std::make_unique<Radiosim>(IniPath(), 1, radiosimOptions);
        store_ = std::make_unique<QtSettingsStore>(IniPath());
        port_ = std::make_unique<QtCommPort>(*store_);
        platform_ = std::make_unique<Platform>(Platform{*port_, clock_, pause_, messages, timer});
        link_ = std::make_unique<Link>(*platform_, unwatched_);
        FillDigitCharacters(state());  // as start-up does; the display text is built from them
    }
    ~LinkWorld() {
        link_.reset();
        platform_.reset();
        port_.reset();
    }

    bool Ready() const { return dir_.isValid() && radio_->Started(); }
    QString IniPath() const { return dir_.filePath("CAT.ini"); }

    // Ticks "Open" with "Com 1" (list index 0), address 5E and 9600 baud.
    void Open() {
        LinkChoices choices;
        choices.family = FamilyNamed(protocolText_);
        choices.portListIndex = 0;
        choices.addressText = "5E";
        choices.speedText = "9600";
        try {
            link_->Open(choices);
        } catch (const CatError& e) {
            FAIL() << "opening the link failed: " << e.Number() << " " << e.what();
        }
        ASSERT_TRUE(port_->IsOpen());
        ASSERT_TRUE(RadioReports("open"));
        // Ticks as the window's timer does until the link's look for a five-byte radio is over:
        // until then the link takes no reply of its own, and a reply that missed the commands'
        // own short read would be dropped.
        test::FakeDisplay display;
        const auto end = SteadyClock::now() + kPatience;
        while (state().fiveByteCheck && !state().fiveByteCheck->Over() &&
               SteadyClock::now() < end) {
            (void)link_->Tick(false, display);
            std::this_thread::sleep_for(20ms);
        }
        ASSERT_TRUE(!state().fiveByteCheck ||
                    (state().fiveByteCheck->Over() && !state().fiveByteCheck->Found()))
            << "the link's look for a five-byte radio did not end, or found one";
    }

    // Forgets what the session knows of the radio, so that only a fresh reply can fill it in.
    void ForgetRadio() {
        state().frequencyHz.reset();
        state().mode.reset();
    }
    bool RadioAnswered() { return state().frequencyHz && state().mode; }

    // Feeds arriving bytes to the receive notification until `done` holds or patience runs out.
    bool ReceiveUntil(const std::function<bool()>& done) {
        const auto end = SteadyClock::now() + kPatience;
        while (!done() && SteadyClock::now() < end) {
            port_->WaitForInput(1, 100ms);
            link_->Receive();
        }
        return done();
    }

    // Asks for frequency and mode through the link's protocol and waits for the answer to be
    // decoded. FT-817 exchanges are synchronous; one that meets a slow radio is simply repeated.
    bool ReadFrequencyAndMode() {
        ForgetRadio();
        if (state().protocol == Protocol::Icom) {
            SendCivCommand(state(), *platform_, "03", "", "");
            SendCivCommand(state(), *platform_, "04", "", "");
            return ReceiveUntil([&] { return RadioAnswered(); });
        }
        if (state().protocol == Protocol::Kenwood) {
            SendKenwoodCommand(state(), *platform_, "IF");
            return ReceiveUntil([&] { return RadioAnswered(); });
        }
        const auto end = SteadyClock::now() + kPatience;
        do {
            PollFt817(state(), *platform_);
        } while (!RadioAnswered() && SteadyClock::now() < end);
        return RadioAnswered();
    }

    // Waits for radiosim to print `line`; on failure says what it printed instead.
    ::testing::AssertionResult RadioReports(const QString& line) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(kPatience);
        if (radio_->WaitForLine(line, static_cast<int>(ms.count())))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "radiosim did not report \"" << line.toStdString()
               << "\", only: " << radio_->Lines().join(" | ").toStdString();
    }

    // Waits until the bytes radiosim read, joined across its "rx" lines, hold `hex`.
    ::testing::AssertionResult RadioReceived(const QString& hex) {
        QString received;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(kPatience);
        const bool seen = QTest::qWaitFor(
            [&] {
                received.clear();
                for (const QString& line : radio_->Lines())
                    if (line.startsWith("rx ")) received += line.mid(3) + " ";
                return received.contains(hex);
            },
            static_cast<int>(ms.count()));
        if (seen) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "radiosim did not receive " << hex.toStdString()
                                             << ", only: " << received.toStdString();
    }

    QtCommPort& port() { return *port_; }
    Platform& platform() { return *platform_; }
    Radiosim& radio() { return *radio_; }
    Link& link() { return *link_; }
    SessionState& state() { return link_->State(); }

    test::FakeMessages messages;
    test::FakeTimer timer;

private:
    QTemporaryDir dir_;
    std::string protocolText_;
    QtClock clock_;
    QtPause pause_;
    std::unique_ptr<Radiosim> radio_;
    std::unique_ptr<QtSettingsStore> store_;
    std::unique_ptr<QtCommPort> port_;
    std::unique_ptr<Platform> platform_;
    test::Unwatched unwatched_;
    std::unique_ptr<Link> link_;
};

std::string BoxTexts(const test::FakeMessages& messages) {
    std::string all;
    for (const auto& box : messages.shown) all += "[" + box.text + "] ";
    return all;
}

// What SetRadioMode(mode, reversed) must make the radio report, and what the radio then reads back.
struct ModeRow {
    const char* name;
    ModeIndex listPosition;
    std::int16_t reverse;
    const char* radioMode;  // radiosim's "mode NAME" report
    ModeIndex readBack;     // decoded from the radio's own mode code
};

struct ProtocolCase {
    const char* name;
    QString protocolText;
    QStringList options;
    std::vector<ModeRow> modes;
};

const std::vector<ModeRow> kIcomModes = {
    {"LSB", LSB, 0, "LSB", LSB},       {"USB", USB, 0, "USB", USB},
    {"CW", CW, 0, "CW", CW},           {"AM", AM, 0, "AM", AM},
    {"FM", FM, 0, "FM", FM},           {"FSK", FSK, 0, "FSK", FSK},
    {"CW reverse", CW, 1, "CW-R", CW}, {"FSK reverse", FSK, 1, "FSK-R", FSK},
};

const std::vector<ModeRow> kKenwoodModes = {
    {"LSB", LSB, 0, "LSB", LSB},       {"USB", USB, 0, "USB", USB},
    {"CW", CW, 0, "CW", CW},           {"AM", AM, 0, "AM", AM},
    {"FM", FM, 0, "FM", FM},           {"FSK", FSK, 0, "FSK", FSK},
    {"CW reverse", CW, 1, "CW-R", CW}, {"FSK reverse", FSK, 1, "FSK-R", FSK},
};

const std::vector<ModeRow> kFt817Modes = {
    {"LSB", LSB, 0, "LSB", LSB}, {"USB", USB, 0, "USB", USB},       {"CW", CW, 0, "CW", CW},
    {"AM", AM, 0, "AM", AM},     {"FM", FM, 0, "FM", FM},           {"FSK", FSK, 0, "FSK", FSK},
    {"PKT", PKT, 0, "PKT", PKT}, {"CW reverse", CW, 1, "CW-R", CW},
};

const ProtocolCase kProtocols[] = {
    {"Icom", "ICOM", {"--protocol", "icom"}, kIcomModes},
    {"IcomOnAnEchoingBus", "ICOM", {"--protocol", "icom", "--echo"}, kIcomModes},
    {"Kenwood", "Kenwood", {"--protocol", "kenwood"}, kKenwoodModes},
    {"Ft817", "FT-817", {"--protocol", "ft817"}, kFt817Modes},
};

void PrintTo(const ProtocolCase& c, std::ostream* os) { *os << c.name; }

class ProtocolLinkTest : public ::testing::TestWithParam<ProtocolCase> {};

TEST_P(ProtocolLinkTest, ReadsTheRadioSetsFrequencyAndModeAndReadsThemBack) {
    LinkWorld world(GetParam().protocolText, GetParam().options);
    ASSERT_TRUE(world.Ready());
    world.Open();
    if (HasFatalFailure()) return;

    // radiosim starts at 14.074 MHz USB.
    ASSERT_TRUE(world.ReadFrequencyAndMode()) << "no frequency and mode from the radio";
    EXPECT_EQ(world.state().frequencyHz, 14'074'000);
    EXPECT_EQ(test::ShownMode(world.state()), ToInt(USB));

    world.radio().Forget();
    SetRadioFrequency(world.state(), world.platform(), 7'074'000);
    EXPECT_TRUE(world.RadioReports("freq 7074000"));
    EXPECT_TRUE(world.timer.enabled) << "polling must be back on after a set";

    SetRadioMode(world.state(), world.platform(), CW, false);
    EXPECT_TRUE(world.RadioReports("mode CW"));

    ASSERT_TRUE(world.ReadFrequencyAndMode()) << "no read-back after the set commands";
    EXPECT_EQ(world.state().frequencyHz, 7'074'000);
    EXPECT_EQ(test::ShownMode(world.state()), ToInt(CW));
    EXPECT_TRUE(world.messages.shown.empty()) << BoxTexts(world.messages);
}

TEST_P(ProtocolLinkTest, EveryModeOfTheListReachesTheRadioAndReadsBack) {
    LinkWorld world(GetParam().protocolText, GetParam().options);
    ASSERT_TRUE(world.Ready());
    world.Open();
    if (HasFatalFailure()) return;

    for (const ModeRow& row : GetParam().modes) {
        SCOPED_TRACE(row.name);
        world.radio().Forget();
        SetRadioMode(world.state(), world.platform(), row.listPosition, row.reverse != 0);
        EXPECT_TRUE(world.RadioReports(QString("mode ") + row.radioMode));
        ASSERT_TRUE(world.ReadFrequencyAndMode()) << "no read-back";
        EXPECT_EQ(test::ShownMode(world.state()), ToInt(row.readBack));
        EXPECT_EQ(world.state().frequencyHz, 14'074'000) << "a mode change must not retune";
    }
    EXPECT_TRUE(world.messages.shown.empty()) << BoxTexts(world.messages);
}

// The timer's own path: ticks and receive notifications until the display shows the radio.
TEST_P(ProtocolLinkTest, PollTicksShowTheRadioInTheDisplay) {
    LinkWorld world(GetParam().protocolText, GetParam().options);
    ASSERT_TRUE(world.Ready());
    world.Open();
    if (HasFatalFailure()) return;

    // ICOM answers frequency and mode in separate frames, so a tick may fall between them and
    // show the frequency with the mode still unknown; only where the display settles counts.
    test::FakeDisplay display;
    std::vector<std::string> shown;
    const auto tick = [&] {
        (void)world.link().Tick(false, display);
        if (shown.empty() || shown.back() != display.Text()) shown.push_back(display.Text());
        return display.Text() == "14.074.00 USB";
    };
    tick();
    world.ReceiveUntil(tick);
    EXPECT_EQ(display.Text(), "14.074.00 USB") << ::testing::PrintToString(shown);
    EXPECT_FALSE(world.state().busy);
    EXPECT_TRUE(world.messages.shown.empty()) << BoxTexts(world.messages);
}

INSTANTIATE_TEST_SUITE_P(Radios, ProtocolLinkTest, ::testing::ValuesIn(kProtocols),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST(IcomLinkTest, ReadsTheStartStateRadiosimWasGiven) {
    LinkWorld world("ICOM", {"--protocol", "icom", "--freq", "144.3", "--mode", "FM"});
    ASSERT_TRUE(world.Ready());
    world.Open();
    if (HasFatalFailure()) return;

    ASSERT_TRUE(world.ReadFrequencyAndMode());
    EXPECT_EQ(world.state().frequencyHz, 144'300'000);
    EXPECT_EQ(test::ShownMode(world.state()), ToInt(FM));
}

TEST(Ft817LinkTest, SilentRadioLeavesFrequencyAndModeAsTheyWere) {
    LinkWorld world("FT-817", {"--protocol", "ft817", "--silent"});
    ASSERT_TRUE(world.Ready());
    world.Open();
    if (HasFatalFailure()) return;

    world.state().frequencyHz = 3'500'000;
    world.state().mode = CW;
    world.radio().Forget();
    PollFt817(world.state(), world.platform());

    // The request went out, so the nothing-changed below is the radio's silence at work.
    EXPECT_TRUE(world.RadioReceived("00 00 00 00 03"));
    EXPECT_EQ(world.state().frequencyHz, 3'500'000);
    EXPECT_EQ(test::ShownMode(world.state()), ToInt(CW));
    EXPECT_TRUE(world.messages.shown.empty()) << BoxTexts(world.messages);
}

// The IF reply for 7.074 MHz CW, field by field: 11 frequency digits, step, RIT/XIT offset,
// RIT, XIT, memory, TX/RX, the mode digit (3, CW) at position 30, VFO, scan, split, tone,
// tone number, shift.
const std::string kIfReply = std::string("IF") + "00007074000" + "0000" + "+00000" + "0" + "0" +
                             "000" + "0" + "3" + "0" + "0" + "0" + "0" + "00" + "0" + ";";

struct SplitRow {
    const char* name;
    std::size_t firstPieceLength;
};

void PrintTo(const SplitRow& row, std::ostream* os) { *os << row.name; }

class KenwoodSplitReplyTest : public ::testing::TestWithParam<SplitRow> {};

TEST_P(KenwoodSplitReplyTest, ReplyArrivingInTwoPiecesIsAssembled) {
    ASSERT_EQ(kIfReply.size(), 38u);
    const std::string first = kIfReply.substr(0, GetParam().firstPieceLength);
    const std::string second = kIfReply.substr(first.size());

    // Silent: the radio answers nothing by itself, only what the test makes it send.
    LinkWorld world("Kenwood", {"--protocol", "kenwood", "--silent"});
    ASSERT_TRUE(world.Ready());
    world.Open();
    if (HasFatalFailure()) return;
    world.ForgetRadio();

    world.radio().Control("send " + QString::fromStdString(ToHex(first)));
    ASSERT_TRUE(world.RadioReports("tx " + QString::fromStdString(ToHex(first))));
    ASSERT_EQ(world.port().WaitForInput(static_cast<int>(first.size()), kPatience),
              static_cast<int>(first.size()));
    ReceiveKenwoodReplies(world.state(), world.port());
    EXPECT_EQ(ToHex(world.state().received), ToHex(first)) << "the first piece must wait";
    EXPECT_FALSE(world.state().frequencyHz.has_value());
    EXPECT_EQ(test::ShownMode(world.state()), kNoMode);

    QTest::qWait(50);
    world.radio().Control("send " + QString::fromStdString(ToHex(second)));
    ASSERT_TRUE(world.RadioReports("tx " + QString::fromStdString(ToHex(second))));
    ASSERT_EQ(world.port().WaitForInput(static_cast<int>(second.size()), kPatience),
              static_cast<int>(second.size()));
    ReceiveKenwoodReplies(world.state(), world.port());
    EXPECT_EQ(world.state().received, "");
    EXPECT_EQ(world.state().frequencyHz, 7'074'000);
    EXPECT_EQ(test::ShownMode(world.state()), ToInt(CW));
}

INSTANTIATE_TEST_SUITE_P(Splits, KenwoodSplitReplyTest,
                         ::testing::Values(SplitRow{"AfterTheFirstLetter", 1},
                                           SplitRow{"InsideTheFrequency", 8},
                                           SplitRow{"JustBeforeTheModeDigit", 29},
                                           SplitRow{"JustBeforeTheTerminator", 37}),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace cat
