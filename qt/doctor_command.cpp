#include "qt/doctor_command.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/cat_error.h"
#include "core/handshake.h"
#include "core/port_names.h"
#include "core/startup.h"
#include "core/text.h"
#include "doctor/link_watch.h"
#include "doctor/monitor_text.h"
#include "doctor/scan.h"
#include "link/link_control.h"
#include "link/poll_cycle.h"
#include "protocols/families.h"
#include "qt/device_facts.h"
#include "qt/qt_platform.h"
#include "qt/qt_settings_store.h"
#include "qt/serial_port.h"

namespace cat {

namespace {

// How long the radio is listened to before the verdict: long enough for every protocol's first
// answers, and for a silent radio to count as one.
constexpr double kListenSeconds = 2.0;
constexpr int kTickMs = 100;

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

class NoDisplay : public DisplayBox {
public:
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override { text_ = text; }

private:
    std::string text_;
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

void PrintVerdict(const doctor::Verdict& v) {
    // The texts name the device as the settings file spells it: one line each, whatever it holds.
    std::printf("verdict: %s\n  %s\n  %s\n", v.id.c_str(), OneLine(v.brief).c_str(),
                OneLine(v.text).c_str());
    if (!v.advice.empty()) std::printf("  Try: %s\n", OneLine(v.advice).c_str());
}

void PrintTraffic(const doctor::LinkWatch& watch) {
    std::printf("traffic (seconds from the open; > sent, < received, <e echo, <! not a reply):\n");
    for (const doctor::LineUnit& unit : watch.Line().Units())
        std::printf(
            "  %s\n",
            doctor::MonitorLine(unit, watch.Facts().protocolCode, watch.OpenedAt()).c_str());
}

bool AddressedFamily(const std::string& listText) {
    const RadioFamily* family = FamilyNamed(listText);
    return family && family->Addressed();
}

bool IsPortError(doctor::VerdictKind kind) {
    using K = doctor::VerdictKind;
    return kind == K::DeviceMissing || kind == K::InUse || kind == K::NoPermission ||
           kind == K::PortError || kind == K::Vanished;
}

int Scan(QtCommPort& port, doctor::LinkWatch& watch, std::int16_t protocol, int speed) {
    std::vector<int> speeds;
    for (std::string_view s : kSpeedEntries) speeds.push_back(std::stoi(std::string(s)));
    doctor::Scanner scanner(port, doctor::ScanPlan(speeds, protocol, speed));
    std::printf("scan: every protocol at every speed, the likely ones first (%zu probes)\n",
                scanner.ProbesTotal());
    std::size_t printed = 0;
    while (const std::optional<double> wait = scanner.Step(watch.Now())) {
        for (; printed < scanner.Log().size(); ++printed)
            std::printf("  %s\n", scanner.Log()[printed].c_str());
        std::fflush(stdout);
        Wait(static_cast<int>(*wait * 1000));
    }
    for (; printed < scanner.Log().size(); ++printed)
        std::printf("  %s\n", scanner.Log()[printed].c_str());
    if (!scanner.Failure().empty()) {
        std::printf("scan: %s\n", scanner.Failure().c_str());
        return kExitPortError;
    }
    // A radio found at other settings is not a working link: the setup read no frequency.
    if (const auto& found = scanner.Result()) {
        std::printf("found: %s\n", doctor::Describe(*found).c_str());
        return kExitNoRadio;
    }
    std::printf("found: nothing; no radio answered on this port\n");
    return kExitNoRadio;
}

}  // namespace

int RunDoctor(const CommandLine& command, int& argc, char** argv) {
    QCoreApplication app(argc, argv);
    QtSettingsStore userStore;
    ReadOnlyStore store(userStore);
    const RestoredChoices stored = RestoreChoices(store);

    int com = stored.comPort + 1;
    if (command.hasValue) {
        if (const auto number = ComNumber(command.value)) {
            com = *number;
        } else {
            store.device = command.value;
            com = 1;
        }
    }
    LinkChoices choices;
    choices.protocolText = FamilyAt(stored.type) ? std::string(FamilyAt(stored.type)->Name()) : "";
    choices.portListIndex = com - 1;
    choices.addressText = stored.address;
    choices.speedText =
        stored.speed >= 0 ? std::string(kSpeedEntries[static_cast<std::size_t>(stored.speed)]) : "";
    // The port's handshake override applies here as in the window.
    choices.handshakeOverride =
        store.Read(kPortsGroup, HandshakeKey(static_cast<std::int16_t>(com)));

    QtCommPort port(store);
    QtClock clock;
    doctor::LinkWatch watch(port, clock);
    QtPause pause;
    PrintedMessages messages;
    FlagTimer timer;
    Platform platform{watch, clock, pause, messages, timer};
    SessionState state;
    FillDigitChars(state);
    const QMetaObject::Connection linkReader =
        QObject::connect(&port, &QtCommPort::OnComm, [&] { ReceiveDispatch(state, watch); });
    QObject::connect(&port, &QtCommPort::PortLost, [&] { watch.Lost(port.LostDetail()); });

    doctor::LinkFacts facts;
    facts.port = PortLabel(static_cast<std::int16_t>(com), {});
    facts.device = DeviceForPort(store, static_cast<std::int16_t>(com));
    // A path given on the command line is the port's name: it is no Com number of the list.
    if (store.device) {
        facts.port = OneLine(*store.device);
        port.CallIt(facts.port);
    }
    facts.speed = choices.speedText;
    std::printf(
        "catlink --doctor: %s, %s at %s baud%s\n",
        (facts.port == OneLine(facts.device) ? facts.port
                                             : facts.port + " (" + OneLine(facts.device) + ")")
            .c_str(),
        choices.protocolText.empty() ? "no protocol chosen" : choices.protocolText.c_str(),
        facts.speed.c_str(),
        AddressedFamily(choices.protocolText) ? (", address " + choices.addressText).c_str() : "");

    try {
        OpenLink(state, platform, choices);
    } catch (const CatError& e) {
        doctor::OpenFailure failure;
        failure.fault = CommFaultOf(e.Number());
        failure.text = WithoutReopening(e.Description());
        if (failure.fault == CommFault::DeviceNotFound) failure.present = PresentSerialDevices();
        if (failure.fault == CommFault::DeviceInUse) failure.holder = DeviceHolder(facts.device);
        facts.protocolCode = state.ProtocolCode;
        watch.OpenFailed(facts, failure);
        const doctor::Verdict verdict = watch.Diagnose();
        PrintVerdict(verdict);
        return IsPortError(verdict.kind) || failure.fault ? kExitPortError : kExitNoRadio;
    }
    facts.protocolCode = state.ProtocolCode;
    facts.radioAddress = state.RadioAddr;
    facts.handshaking = port.Handshaking() == 2;

    doctor::Verdict verdict;
    if (state.ProtocolCode > 0) {
        watch.Opened(facts);
        ReadAtOpen(state, platform);
        NoDisplay display;
        // Listen while the verdict may still change; a radio that answers is heard for the whole
        // time, so the traffic shows it more than once.
        for (;;) {
            PollTick(state, platform, false, display);
            watch.FollowCheck(state);
            Wait(kTickMs);
            verdict = watch.Diagnose();
            const double listened = watch.Now() - watch.OpenedAt();
            const bool decided = verdict.kind != doctor::VerdictKind::Waiting;
            if ((decided && listened >= kListenSeconds) || listened >= 2 * kListenSeconds) break;
        }
        PrintVerdict(verdict);
        PrintTraffic(watch);
        if (!display.Text().empty()) std::printf("display: %s\n", display.Text().c_str());
    } else {
        // Nothing is sent for a link without a protocol; the verdict says so, and the scan
        // looks for the radio.
        watch.NoProtocolChosen(facts);
        verdict = watch.Diagnose();
        PrintVerdict(verdict);
    }
    CloseLink(platform);
    // Only a frequency read on the link as set up counts as a working link.
    if (verdict.kind == doctor::VerdictKind::Answering)
        return watch.Line().Summary().lastReading ? kExitOk : kExitNoRadio;
    if (IsPortError(verdict.kind)) return kExitPortError;
    // The scan reads its answers itself. Left connected, the link's reader would take any answer
    // that reaches the port before the scan looks, as one does when a busy machine runs the
    // radio's reply in before our wait begins.
    QObject::disconnect(linkReader);
    return Scan(port, watch, state.ProtocolCode, std::atoi(choices.speedText.c_str()));
}

}  // namespace cat
