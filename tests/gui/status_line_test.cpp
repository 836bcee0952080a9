// Every text the status line can show, drawn in the real window's line with its own font: each
// must fit whole, with the fact that matters in sight. The window is as narrow as it ever was, so
// the briefs are made to fit it, not the other way round.

#include <QFontMetrics>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "doctor/diagnosis.h"
#include "link/transmit_watch.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;
using doctor::VerdictKind;

// A USB adapter's stable name, as long as they come.
constexpr const char* kLongDevice =
    "/dev/serial/by-id/usb-Silicon_Labs_CP2102N_USB_to_UART_Bridge_Controller_"
    "0123456789abcdef-if00-port0";

struct BriefRow {
    const char* name;
    std::function<void(doctor::Observation&, doctor::LineSummary&)> setUp;
    VerdictKind kind;
    std::vector<const char*> facts;  // each must be on the line, unelided
    Protocol protocol = Protocol::Icom;
};

doctor::Observation Seen(Protocol protocol) {
    doctor::Observation o;
    o.protocol = protocol;
    o.radioAddress = "5E";
    o.port = "Com 32";
    o.device = kLongDevice;
    o.speed = "115200";
    o.open = true;
    o.everOpened = true;
    o.now = 3000;
    return o;
}

void Server(doctor::Observation& o) { o.device = "rigctld://shack-raspberry-pi.example.org:4532"; }

// A command that went unanswered long enough for silence and noise to count.
void Overdue(doctor::LineSummary& line) {
    line.firstCommand = 1;
    line.firstUnanswered = 2990;
}

doctor::OpenFailure Failure(CommFault fault) {
    doctor::OpenFailure f;
    f.fault = fault;
    f.text = "The port could not be opened";
    return f;
}

// clang-format off
const BriefRow kBriefs[] = {
    {"Closed", [](auto& o, auto&) { o.open = false; }, VerdictKind::Closed, {"Closed"}},
    {"NoProtocol", [](auto& o, auto&) { o.protocolChosen = false; }, VerdictKind::NoProtocol,
     {"Choose a protocol first"}},
    {"WaitingIcom", [](auto&, auto& l) { l.firstCommand = 2999.5; l.firstUnanswered = 2999.5; },
     VerdictKind::Waiting, {"Waiting", "Com 32"}},
    {"AnsweringIcom", [](auto&, auto& l) { l.firstCommand = 1; l.lastReply = 2999.6; },
     VerdictKind::Answering, {"ICOM", "5E"}},
    {"AnsweringKenwoodLongAgo", [](auto&, auto& l) { l.firstCommand = 1; l.lastReply = 2001; },
     VerdictKind::Answering, {"Kenwood"}, Protocol::Kenwood},
    {"MissingByIdName", [](auto& o, auto&) { o.failure = Failure(CommFault::DeviceNotFound); },
     VerdictKind::DeviceMissing, {"Silicon_Labs"}},
    {"MissingTtyUsb",
     [](auto& o, auto&) { o.device = "/dev/ttyUSB10"; o.failure = Failure(CommFault::DeviceNotFound); },
     VerdictKind::DeviceMissing, {"ttyUSB10"}},
    {"InUseByALongName",
     [](auto& o, auto&) {
         o.failure = Failure(CommFault::DeviceInUse);
         o.failure->holder = "catlink-radiosim (process 4194304)";
     },
     VerdictKind::InUse, {"In use", "catlink-radiosim"}},
    {"NoPermission", [](auto& o, auto&) { o.failure = Failure(CommFault::PermissionDenied); },
     VerdictKind::NoPermission, {"Com 32"}},
    {"PortError", [](auto& o, auto&) { o.failure = Failure(CommFault::OpenFailed); },
     VerdictKind::PortError, {"Com 32"}},
    {"NoReplyIcom", [](auto&, auto& l) { Overdue(l); }, VerdictKind::NoReply, {"No reply"}},
    {"NoReplyKenwood", [](auto&, auto& l) { Overdue(l); }, VerdictKind::NoReply, {"No reply"},
     Protocol::Kenwood},
    {"EchoOnlyIcom", [](auto&, auto& l) { Overdue(l); l.echo = 40; }, VerdictKind::EchoOnly,
     {"Echo only"}},
    {"EchoOnlyKenwood", [](auto&, auto& l) { Overdue(l); l.echo = 40; }, VerdictKind::EchoOnly,
     {"Echo only"}, Protocol::Kenwood},
    {"OtherAddress", [](auto&, auto& l) { l.otherAddresses[0x94] = 3; }, VerdictKind::OtherAddress,
     {"94", "5E"}},
    {"GarbledIcom", [](auto&, auto& l) { Overdue(l); l.noise = 200; }, VerdictKind::Garbled,
     {"Garbled", "speed"}},
    {"OtherProtocolForKenwood", [](auto&, auto& l) { l.otherProtocols[Protocol::Icom] = 2; l.sample = "\xfe\xfe"; },
     VerdictKind::OtherProtocol, {"ICOM"}, Protocol::Kenwood},
    {"FiveByteRadioForIcom",
     [](auto& o, auto&) { o.fiveByteRadio = doctor::FoundFiveByteRadio{Protocol::Ft817, 38400}; },
     VerdictKind::OtherProtocol, {"FT-817"}},
    {"UnreadableKenwood", [](auto&, auto& l) { l.unread = 4; l.sample = "XY123;"; },
     VerdictKind::Unreadable, {"not read"}, Protocol::Kenwood},
    {"RefusesIcom", [](auto&, auto& l) { l.refusals = 4; l.sample = "\xfe\xfe\xe0\x5e\xfa\xfd"; },
     VerdictKind::Refuses, {"refuses"}},
    {"RefusesKenwood", [](auto&, auto& l) { l.refusals = 4; l.sample = "?;"; },
     VerdictKind::Refuses, {"refuses"}, Protocol::Kenwood},
    {"OutputBlocked", [](auto& o, auto&) { o.handshaking = true; o.outputHeldSince = 2990; },
     VerdictKind::OutputBlocked, {"Nothing leaves"}},
    {"AdapterUnplugged", [](auto& o, auto&) { o.lostAt = 2990; }, VerdictKind::Vanished,
     {"unplugged"}},
    {"NetworkLost",
     [](auto& o, auto&) { o.device = "rfc2217://shack-raspberry-pi.example.org:20000"; o.lostAt = 2990; },
     VerdictKind::Vanished, {"Connection lost"}},
    {"SilentForLong", [](auto&, auto& l) { Overdue(l); l.lastReply = 1; }, VerdictKind::Stopped,
     {"silent", "2999 s"}},
    // A rig-sharing server on a long host name: the port stays in sight.
    {"NoServer", [](auto& o, auto&) { Server(o); o.failure = Failure(CommFault::ConnectionRefused); },
     VerdictKind::NoServer, {"No rigctld", ":4532"}, Protocol::Rigctld},
    {"NotTheServer", [](auto& o, auto& l) { Server(o); l.noise = 3; l.sample = "SSH-2.0"; },
     VerdictKind::NotTheServer, {"Not rigctld", ":4532"}, Protocol::Rigctld},
    {"ServerRadioFails", [](auto& o, auto& l) { Server(o); l.refusals = 1; },
     VerdictKind::ServerRadioFails, {"rigctld", "radio not reached"}, Protocol::Rigctld},
    {"ServerSilent", [](auto& o, auto& l) { Server(o); l.lastReply = l.lastHeard = 10; l.firstUnanswered = l.firstUnheard = 20; },
     VerdictKind::Stopped, {"rigctld silent", "2990 s"}, Protocol::Rigctld},
};
// clang-format on

struct TransmitRow {
    const char* name;
    TransmitFinding finding;
    const char* fact;
};

TransmitFinding Keyed(std::optional<ControlLine> line, std::optional<bool> after, bool rtsFlow) {
    TransmitFinding f;
    f.keyingLine = line;
    f.transmittingAfter = after;
    f.rtsIsFlowControl = rtsFlow;
    return f;
}

TransmitFinding Event(TransmitEvent event) {
    TransmitFinding f;
    f.event = event;
    return f;
}

const TransmitRow kTransmitBriefs[] = {
    {"RtsKeys", Keyed(ControlLine::Rts, false, false), "RTS"},
    {"DtrKeys", Keyed(ControlLine::Dtr, false, false), "DTR"},
    {"KeyedWithRtsForFlowControl", Keyed(std::nullopt, true, true), "RTS/CTS"},
    {"KeyedByNeitherLine", Keyed(std::nullopt, true, false), "not RTS or DTR"},
    {"KeyedThenSilent", Keyed(std::nullopt, std::nullopt, false), "Keyed"},
    {"TransmittingUnasked", Event(TransmitEvent::TransmittingUnasked), "transmitting"},
    {"BackToReceive", Event(TransmitEvent::BackToReceive), "receive"},
};

class StatusLineTest : public WindowTest {
protected:
    // Shows `brief` as the window does and checks it is drawn whole, within the line.
    void ExpectFits(MainWindow& w, const std::string& brief, bool problem,
                    const std::vector<const char*>& facts) {
        const QString whole = QStringLiteral("the whole story");
        w.ShowStatus(QString::fromStdString(brief), problem, whole);
        QLabel* line = StatusLine(w);
        const QString expected =
            (problem ? QStringLiteral("! ") : QString()) + QString::fromStdString(brief);
        EXPECT_EQ(line->text(), expected) << "cut to fit";
        EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->contentsRect().width())
            << brief;
        for (const char* fact : facts) {
            EXPECT_TRUE(line->text().contains(QString::fromUtf8(fact))) << fact;
        }
        EXPECT_EQ(line->toolTip(), whole);
    }
};

TEST_F(StatusLineTest, EveryVerdictFitsTheLineWithItsKeyFact) {
    MainWindow& w = Start();
    w.show();
    std::set<VerdictKind> kinds;
    for (const BriefRow& row : kBriefs) {
        SCOPED_TRACE(row.name);
        doctor::Observation o = Seen(row.protocol);
        doctor::LineSummary line;
        row.setUp(o, line);
        o.line = &line;
        const doctor::Verdict v = doctor::Diagnose(o);
        ASSERT_EQ(v.kind, row.kind) << v.brief;
        kinds.insert(v.kind);
        ExpectFits(w, v.brief, v.problem, row.facts);
    }
    EXPECT_EQ(kinds.size(), static_cast<std::size_t>(VerdictKind::ServerRadioFails) + 1)
        << "every kind of verdict has a row";
}

TEST_F(StatusLineTest, EveryTransmitBriefFitsTheLine) {
    MainWindow& w = Start();
    w.show();
    for (const TransmitRow& row : kTransmitBriefs) {
        SCOPED_TRACE(row.name);
        ExpectFits(w, TransmitBrief(row.finding), true, {row.fact});
    }
}

}  // namespace
}  // namespace cat
