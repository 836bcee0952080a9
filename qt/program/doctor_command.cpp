#include "qt/program/doctor_command.h"

#include <signal.h>

#include <QCoreApplication>
#include <QThread>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/cat_error.h"
#include "core/control_lines.h"
#include "core/handshake.h"
#include "core/port_names.h"
#include "core/text.h"
#include "doctor/found_verdict.h"
#include "doctor/link_watch.h"
#include "doctor/listen.h"
#include "doctor/monitor_text.h"
#include "doctor/scan.h"
#include "link/link.h"
#include "link/link_control.h"
#include "link/poll_cycle.h"
#include "link/ptt_test.h"
#include "link/transmit_watch.h"
#include "protocols/families.h"
#include "qt/platform/qt_platform.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/ports/device_facts.h"
#include "qt/ports/last_words.h"
#include "qt/ports/port_list.h"
#include "qt/ports/qt_comm_port.h"
#include "shell/device_holders.h"
#include "shell/host_check.h"
#include "shell/known_port_file.h"
#include "shell/port_catalog.h"
#include "shell/startup.h"

namespace cat {

namespace {

// The user's store as the doctor reads it: PORT, when given, is where Com 1 leads, and nothing is
// ever written back.
class ReadOnlyStore : public SettingsStore {
public:
    explicit ReadOnlyStore(SettingsStore& store) : store_(store) {}
    std::optional<std::string> device;  // Com 1's device, when PORT named one
    std::optional<std::string> Read(const std::string& group, const std::string& key) override {
        if (device && group == kPortsGroup && key == PortKey(1)) return device;
        return store_.Read(group, key);
    }
    void Write(const std::string&, const std::string&, const std::string&) override {}
    bool Sync() override { return true; }

private:
    SettingsStore& store_;
};

class PrintedMessages : public MessageBoxes {
public:
    void Critical(const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
    void Information(const std::string&, const std::string&) override {}
};

class FlagTimer : public PollTimer {
public:
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    bool Enabled() const override { return enabled_; }

private:
    bool enabled_ = false;
};

// "Com 3", "com3", "3" -> 3; nothing for a device path.
std::optional<int> ComNumber(std::string_view text) {
    std::string digits(Trim(text));
    if (UpperCase(digits).rfind("COM", 0) == 0) digits = std::string(Trim(digits.substr(3)));
    if (digits.empty() || digits.size() > 2 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(digits);
}

void Wait(int ms) {
    QCoreApplication::processEvents();
    QThread::msleep(static_cast<unsigned long>(ms));
    QCoreApplication::processEvents();
}

// What the computer itself does to the port, said before the line is read: a finding that
// explains the verdict is told again as its advice.
std::vector<HostFinding> PrintHostFindings(const doctor::LinkFacts& facts) {
    if (const auto target = ParsePortTarget(facts.device);
        target && target->kind != PortKind::Device)
        return {};
    const std::vector<HostFinding> findings = CheckHost(ThisProcessView({facts.device}));
    for (const HostFinding& f : findings)
        std::printf("host: %s: %s\n  Try: %s\n", f.id.c_str(), OneLine(f.text).c_str(),
                    OneLine(f.advice).c_str());
    std::fflush(stdout);
    return findings;
}

void PrintVerdict(const doctor::Verdict& v) {
    // The texts name the device as the settings file spells it: one line each, whatever it holds.
    std::printf("verdict: %s\n  %s\n  %s\n", v.id.c_str(), OneLine(v.brief).c_str(),
                OneLine(v.text).c_str());
    if (!v.advice.empty()) std::printf("  Try: %s\n", OneLine(v.advice).c_str());
}

// The line's traffic from unit `from` on.
// The traffic since `from`: its newest units, led by how many bytes are not shown, so that a far
// end that floods the link costs the report a bounded number of lines.
void PrintTraffic(const doctor::LinkWatch& watch, doctor::MonitorCursor from = {}) {
    constexpr std::size_t kShownUnits = 200;
    std::printf("traffic (seconds from the open; > sent, < received, <e echo, <! not a reply):\n");
    for (const std::string& line : doctor::NextMonitorLines(
             watch.Line(), from, watch.Facts().protocol, watch.OpenedAt(), kShownUnits))
        std::printf("  %s\n", line.c_str());
}

bool IsPortError(doctor::VerdictKind kind) {
    using K = doctor::VerdictKind;
    return kind == K::DeviceMissing || kind == K::InUse || kind == K::NoPermission ||
           kind == K::PortError || kind == K::Vanished || kind == K::NoServer;
}

// The status a verdict ends the run with, so that the two always agree: 0 only for a radio that
// answers and sent its frequency, 2 for a port that could not be used, 1 for everything else.
int ExitStatusOf(const doctor::Verdict& verdict) {
    if (verdict.kind == doctor::VerdictKind::Answering) return kExitOk;
    return IsPortError(verdict.kind) ? kExitPortError : kExitNoRadio;
}

// Prints the scan's log lines that have not been printed yet.
void PrintNewLogLines(const doctor::Scanner& scanner, std::size_t& printed) {
    for (; printed < scanner.Log().size(); ++printed)
        std::printf("  %s\n", scanner.Log()[printed].c_str());
    std::fflush(stdout);
}

// Find radio on the port; what it found, printed as it goes.
std::optional<doctor::Found> Scan(QtCommPort& port, doctor::LinkWatch& watch, Protocol protocol,
                                  int speed) {
    std::vector<int> speeds;
    for (std::string_view s : kSpeedEntries) speeds.push_back(std::stoi(std::string(s)));
    doctor::Scanner scanner(port, doctor::ScanPlan(speeds, protocol, speed));
    std::printf("scan: every protocol at every speed, the likely ones first (%zu probes)\n",
                scanner.ProbesTotal());
    std::size_t printed = 0;
    while (const std::optional<double> wait = scanner.Step(watch.Now())) {
        PrintNewLogLines(scanner, printed);
        Wait(static_cast<int>(*wait * 1000));
    }
    PrintNewLogLines(scanner, printed);
    if (!scanner.Failure().empty()) {
        std::printf("scan: %s\n", scanner.Failure().c_str());
        return std::nullopt;
    }
    // A radio found at other settings is not a working link: the setup read no frequency.
    if (const auto& found = scanner.Result()) {
        std::printf("found: %s\n", doctor::Describe(*found).c_str());
        return found;
    }
    std::printf("found: nothing; no radio answered on this port\n");
    return std::nullopt;
}

// The scan after a link that read nothing, where the port may be probed; what it found.
std::optional<doctor::Found> ScanWherePermitted(QtCommPort& port, doctor::LinkWatch& watch,
                                                const LinkChoices& choices,
                                                const doctor::LinkFacts& facts) {
    const std::string refusal = ScanRefusal(facts.device, OtherHolders(facts.device), facts.port);
    if (!refusal.empty()) {
        std::printf("scan: %s\n", OneLine(refusal).c_str());
        return std::nullopt;
    }
    return Scan(port, watch, facts.protocol, std::atoi(choices.speedText.c_str()));
}

// The Com entry the doctor opens: PORT when given ("Com 3", or a device path that Com 1 then
// leads to), else the stored one.
int ChosenCom(const CommandLine& command, const RestoredChoices& stored, ReadOnlyStore& store) {
    if (!command.hasValue) return stored.portPosition + 1;
    if (const auto number = ComNumber(command.value)) return *number;
    store.device = command.value;
    return 1;
}

// The choices the window would open the link with, read from the stored setup.
LinkChoices StoredChoices(const RestoredChoices& stored, int com, SettingsStore& store) {
    LinkChoices setup;
    const RadioFamily* family = FamilyAt(stored.protocolPosition);
    setup.family = family;
    setup.portListIndex = com - 1;
    setup.addressText = stored.address;
    if (stored.speedPosition >= 0)
        setup.speedText = kSpeedEntries[static_cast<std::size_t>(stored.speedPosition)];
    return WithPortEntry(std::move(setup), store);
}

doctor::LinkFacts PortFacts(ReadOnlyStore& store, int com, QtCommPort& port) {
    doctor::LinkFacts facts;
    facts.port = PortLabel(static_cast<std::int16_t>(com), {});
    facts.com = com;
    facts.device = DeviceForPort(store, static_cast<std::int16_t>(com));
    // A path given on the command line is the port's name: it is no Com number of the list.
    if (store.device) {
        facts.port = OneLine(*store.device);
        facts.com = 0;
        port.CallIt(facts.port);
    }
    return facts;
}

void PrintHeading(const doctor::LinkFacts& facts, const LinkChoices& choices) {
    const std::string device = OneLine(facts.device);
    if (const RadioFamily* server = ServerFamily(choices.portKind)) {
        const std::optional<PortTarget> target = ParsePortTarget(facts.device);
        const std::string address = target ? HostAndPort(*target) : device;
        std::printf("catlink --doctor: %s, %s at %s; the server sets the radio's line\n",
                    (facts.port == device ? facts.port : facts.port + " (" + device + ")").c_str(),
                    std::string(server->Name()).c_str(), OneLine(address).c_str());
        return;
    }
    std::printf("catlink --doctor: %s, %s at %s baud%s\n",
                (facts.port == device ? facts.port : facts.port + " (" + device + ")").c_str(),
                choices.family ? std::string(choices.family->Name()).c_str() : "no protocol chosen",
                facts.speed.c_str(),
                choices.family && choices.family->Record().addressed
                    ? (", address " + choices.addressText).c_str()
                    : "");
}

// A rig-sharing server among the port's holders: the radio can be tested through it. The entry
// is the one the window's button writes, at the Com number it would take in the user's own file.
void PrintServerOffer(const std::vector<HoldingProcess>& holders, const std::string& port,
                      SettingsStore& userStore) {
    const std::optional<HoldingProcess> server = SharingServer(holders);
    if (!server) return;
    const std::string entry = ServerEntry(*server->server);
    std::string advice = "catlink --doctor " + entry;
    if (const auto com =
            ComForServer(DescribePorts(userStore, TakeDeviceSnapshot()), *server->server))
        advice += ", or write " + PortKey(*com) + "=" + entry +
                  " in the settings file's [Ports] and choose Com " + std::to_string(*com) +
                  " in the window";
    std::printf("advice: %s\n  Try: %s\n", OneLine(TestThroughText(*server, port)).c_str(),
                OneLine(advice).c_str());
    std::fflush(stdout);
}

int ReportOpenFailure(const CatError& error, doctor::LinkWatch& watch,
                      const doctor::LinkFacts& facts, std::vector<HoldingProcess> holders,
                      SettingsStore& userStore, const std::vector<HostFinding>& host) {
    doctor::OpenFailure failure = OpenFailureFacts(error, facts.device);
    failure.text = WithoutReopening(failure.text);
    watch.OpenFailed(facts, failure);
    const doctor::Verdict verdict = ExplainedByHost(watch.Diagnose(), host, facts.device);
    PrintVerdict(verdict);
    if (failure.fault == CommFault::DeviceInUse) {
        if (holders.empty()) holders = OtherHolders(facts.device);
        PrintServerOffer(holders, facts.port, userStore);
    }
    return ExitStatusOf(verdict);
}

void PrintTransmitFinding(const TransmitFinding& finding, int port) {
    std::printf("transmit: %s (found %.2f s, named %.2f s after the open)\n  %s\n",
                TransmitStatusText(finding, port).c_str(), finding.foundAfterOpen.count(),
                finding.namedAfterOpen.count(), OneLine(TransmitAdvice(finding, port)).c_str());
    std::fflush(stdout);
}

// The verdict on the open link, printed with what the line carried.
doctor::Verdict Examine(Link& link, doctor::LinkWatch& watch, int entry) {
    // Nothing is sent for a link without a protocol; the scan looks for the radio.
    if (link.State().protocol == Protocol::None) return watch.Diagnose();
    doctor::Listen listen(link, watch);
    std::optional<doctor::Verdict> verdict;
    while (!verdict) {
        // A radio keyed by the open is said first: it transmits into whatever is connected.
        if (const auto finding = listen.Tick()) PrintTransmitFinding(*finding, entry);
        Wait(listen.WaitMs());
        verdict = listen.Settled();
    }
    PrintTraffic(watch);
    if (!listen.Display().empty()) std::printf("display: %s\n", listen.Display().c_str());
    if (const std::string& server = watch.Line().Summary().identity; !server.empty())
        std::printf("server: %s\n", OneLine(server).c_str());
    return *verdict;
}

// --ptt and --ptt-seconds, read before anything is opened; `error` says what is wrong with them.
struct PttRequest {
    PttMethod method = PttMethod::Cat;
    Seconds duration = kDefaultPtt;
};

std::optional<PttRequest> ReadPttRequest(const CommandLine& command, std::string& error) {
    const std::optional<std::string> method = command.Setting("--ptt");
    const std::optional<std::string> seconds = command.Setting("--ptt-seconds");
    if (!method) {
        if (seconds) error = "'--ptt-seconds' only goes with '--ptt'";
        return std::nullopt;
    }
    PttRequest request;
    if (const auto named = PttMethodNamed(*method)) {
        request.method = *named;
    } else {
        error = "'--ptt' takes cat, rts or dtr, not '" + *method + "'";
        return std::nullopt;
    }
    if (seconds) {
        char* end = nullptr;
        const double value = std::strtod(seconds->c_str(), &end);
        if (seconds->empty() || *end != '\0' || !(value >= kShortestPtt.count()) ||
            value > kLongestPtt.count()) {
            error = "'--ptt-seconds' takes 0.2 to 5, not '" + *seconds + "'";
            return std::nullopt;
        }
        request.duration = Seconds(value);
    }
    return request;
}

volatile std::sig_atomic_t pttInterrupted = 0;

// While the radio is keyed, SIGTERM, SIGINT and SIGHUP end the keying instead of the program:
// the unkey goes out, and then the program ends.
class InterruptsEndKeying {
public:
    InterruptsEndKeying() {
        pttInterrupted = 0;
        struct sigaction action {};
        action.sa_handler = [](int) { pttInterrupted = 1; };
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            sigaction(kSignals[i], &action, &before_[i]);
    }
    ~InterruptsEndKeying() {
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            sigaction(kSignals[i], &before_[i], nullptr);
    }
    InterruptsEndKeying(const InterruptsEndKeying&) = delete;
    InterruptsEndKeying& operator=(const InterruptsEndKeying&) = delete;

private:
    static constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};
    std::array<struct sigaction, 3> before_{};
};

const char* StateWord(std::optional<bool> transmitting) {
    if (!transmitting) return "not known";
    return *transmitting ? "transmit" : "receive";
}

// The PTT test on the open link that answered; its exit status.
int TestPtt(const PttRequest& request, Link& link, Platform& platform, QtCommPort& port,
            const doctor::LinkWatch& watch, int entry) {
    SessionState& state = link.State();
    const doctor::MonitorCursor trafficBefore{watch.Line().Total(), watch.Line().Bytes()};
    const RadioFamily* family = FamilyFor(state.protocol);
    if (!family) return kExitNoRadio;
    std::printf("ptt: keying by %s for %.1f s\n",
                std::string(PttMethodName(request.method)).c_str(), request.duration.count());
    std::fflush(stdout);
    // A program that dies while the radio is keyed still unkeys a CAT key: its last write is
    // the unkey, armed before the key goes out.
    if (request.method == PttMethod::Cat) {
        const std::string refused =
            ArmUnkey(port.Descriptor(), port.WireBytes(family->UnkeyBytes(state)));
        if (!refused.empty()) {
            std::printf("ptt: %s\n", refused.c_str());
            return kExitNoRadio;
        }
    }
    InterruptsEndKeying interrupts;
    PttTest test(request.method, request.duration, port.CurrentHandshake());
    if (test.Start(*family, state, platform)) {
        while (!pttInterrupted && port.IsOpen() && platform.clock.Now() < test.EndsAt()) {
            if (platform.clock.Now() >= test.ReadAt())
                test.ReadWhileKeyed(*family, state, platform);
            Wait(10);
        }
        const PttEnd end = !port.IsOpen()   ? PttEnd::PortLost
                           : pttInterrupted ? PttEnd::Signal
                                            : PttEnd::TimeUp;
        test.Finish(*family, state, platform, end);
    }
    DisarmLastWords();
    PrintTraffic(watch, trafficBefore);
    std::printf("ptt: before %s, while keyed %s, after %s\n", StateWord(test.Before()),
                StateWord(test.During()), StateWord(test.After()));
    if (const auto back = test.ReceiveAfterEnd())
        std::printf("ptt: back in receive %.0f ms after the unkey\n", back->count() * 1000);
    std::printf("ptt: %s\n", OneLine(test.Summary(entry)).c_str());
    if (pttInterrupted) std::printf("ptt: ended early: the program was asked to stop\n");
    return test.During() == true && test.After() == false ? kExitOk : kExitNoRadio;
}

// The parts of one run's open link that its end needs.
struct DoctorLink {
    Link& link;
    Platform& platform;
    QtCommPort& port;
    doctor::LinkWatch& watch;
    const QMetaObject::Connection& reader;  // the link's own reader of the port
    int entry;  // the port's Com number for the advice, 0 for a port given by its path
};

// After the listen: the PTT test on a link that answered, or the scan on one that read nothing;
// the verdict line last, once the scan has said what differs. The exit status.
int Conclude(const DoctorLink& link, doctor::Verdict verdict, const std::optional<PttRequest>& ptt,
             const doctor::LinkFacts& facts, const LinkChoices& choices,
             const std::vector<HostFinding>& host) {
    // Only a frequency read on the link as set up counts as a working link.
    const int status = ExitStatusOf(verdict);
    if (ptt && status == kExitOk) {
        PrintVerdict(ExplainedByHost(verdict, host, facts.device));
        const int tested =
            TestPtt(*ptt, link.link, link.platform, link.port, link.watch, link.entry);
        link.link.Close();
        return tested;
    }
    if (ptt) std::printf("ptt: not tried: no radio answered on this link\n");
    link.link.Close();
    if (status == kExitNoRadio) {
        // The scan reads its answers itself. Left connected, the link's reader would take any
        // answer that reaches the port before the scan looks, as one does when a busy machine
        // runs the radio's reply in before our wait begins.
        QObject::disconnect(link.reader);
        // What the scan finds says what differs; the status stays the link's as it was set.
        if (const auto found = ScanWherePermitted(link.port, link.watch, choices, facts))
            verdict = doctor::FoundElsewhere(verdict, link.watch.Observe(), *found);
    }
    PrintVerdict(ExplainedByHost(verdict, host, facts.device));
    return status;
}

int UsageError(const std::string& error) {
    std::fputs(UsageErrorLine(error).c_str(), stderr);
    return kExitUsage;
}

// Another program holds the port the link opened: the operator is told, and offered the server
// among them.
void WarnOfSharing(const std::vector<HoldingProcess>& holders, const std::string& port,
                   SettingsStore& userStore) {
    if (holders.empty()) return;
    std::printf("warning: %s\n", OneLine(SharedOpenWarning(holders, port)).c_str());
    PrintServerOffer(holders, port, userStore);
}

// --ptt rts or dtr through a rig-sharing server is refused before anything opens: the server
// owns the radio's port and its lines, whatever the radio does. True when refused, and said.
bool KeyingRefusedThroughServer(const std::optional<PttRequest>& ptt, const LinkChoices& choices) {
    const RadioFamily* server = ServerFamily(choices.portKind);
    if (!ptt || !server) return false;
    const std::string refused = ServerKeyingRefusal(ptt->method, server->Id());
    if (!refused.empty()) std::printf("ptt: %s\n", refused.c_str());
    return !refused.empty();
}

}  // namespace

int RunDoctor(const CommandLine& command, int& argc, char** argv) {
    std::string pttError;
    const std::optional<PttRequest> ptt = ReadPttRequest(command, pttError);
    if (!pttError.empty()) return UsageError(pttError);
    QCoreApplication app(argc, argv);
    QtSettingsStore userStore;
    ReadOnlyStore store(userStore);
    const RestoredChoices stored = RestoreChoices(store);
    const int com = ChosenCom(command, stored, store);
    const LinkChoices choices = StoredChoices(stored, com, store);
    if (KeyingRefusedThroughServer(ptt, choices)) return kExitUsage;

    QtCommPort port(store);
    QtClock clock;
    doctor::LinkWatch watch(port, clock);
    QtPause pause;
    PrintedMessages messages;
    FlagTimer timer;
    Platform platform{watch, clock, pause, messages, timer};
    doctor::LinkFacts facts = PortFacts(store, com, port);
    facts.speed = choices.speedText;
    doctor::WatchFollowsLink follower(watch, facts);
    Link link(platform, follower);
    FillDigitCharacters(link.State());
    const QMetaObject::Connection linkReader =
        QObject::connect(&port, &QtCommPort::BytesArrived, [&] { link.Receive(); });
    QObject::connect(&port, &QtCommPort::PortLost, [&] { watch.Lost(port.LostDetail()); });
    PrintHeading(facts, choices);
    const std::vector<HostFinding> host = PrintHostFindings(facts);
    // Linux lets another program keep the device open beside us: both opens succeed, and the
    // two programs' commands mix on the line. Looked for before the open, said after it.
    const std::vector<HoldingProcess> holders = OtherHolders(facts.device);
    CheckMemory memory;
    try {
        link.Open(memory.Opening(choices, facts.device));
    } catch (const CatError& e) {
        facts.protocol = link.State().protocol;
        return ReportOpenFailure(e, watch, facts, holders, userStore, host);
    }
    WarnOfSharing(holders, facts.port, userStore);
    facts.protocol = link.State().protocol;
    facts.radioAddress = link.State().radioAddress;
    facts.handshaking = link.FlowControl() == Handshake::RtsCts;
    const DoctorLink run{link, platform, port, watch, linkReader, facts.com};
    const doctor::Verdict verdict = Examine(link, watch, facts.com);
    memory.Follow(link);
    return Conclude(run, verdict, ptt, facts, choices, host);
}

}  // namespace cat
