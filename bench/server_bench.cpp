// A radio through rigctld against the same radio on its pseudo-terminal: radiosim plays an
// IC-7300 at 19200 baud, read directly (CI-V frequency read, 11-byte reply) and then through
// rigctld holding the pty (+f, answer up to its RPRT line). rigctld keeps a reading for half a
// second by default; the reads through it are measured with that cache as it comes and with it
// off, so that every read reaches the radio. Then the CPU of the window polling through rigctld,
// ours and rigctld's. Asserts nothing.
//
//   server_bench [--rounds N] [--gap MS] [--seconds S] [--radiosim PATH]
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>

#include "bench/bench_support.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/ports/qt_comm_port.h"
#include "tests/support/memory_store.h"
#include "tests/support/rigctld_process.h"

namespace {

using namespace cat::bench;

const std::string kIcomRead = {'\xfe', '\xfe', '\x94', '\xe0', '\x03', '\xfd'};
constexpr int kIcomReply = 11;

struct Figures {
    int rounds = 100;
    int gapMs = 0;
    int seconds = 10;
    QString radiosim;
};

// The CPU seconds a process of this machine has used, from /proc; -1 when it cannot be read.
double ProcessCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QString text = QString::fromLatin1(stat.readAll());
    // The fields after the command's name, which is in parentheses and may hold blanks.
    const QStringList fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    // utime and stime are fields 14 and 15 of the whole line: 12 and 13 after the name.
    return (fields[11].toDouble() + fields[12].toDouble()) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::unique_ptr<cat::QtCommPort> OpenPort(cat::test::MemoryStore& store, const QString& target) {
    store.Write("Ports", "Com5", target.toStdString());
    auto port = std::make_unique<cat::QtCommPort>(store);
    port->SelectPort(5);
    port->SetLineSettings(cat::RequireLineSettings("19200,n,8,1"));
    port->SetHandshake(cat::Handshake::None);
    try {
        port->Open();
    } catch (const cat::CatError& e) {
        std::printf("%s: %s\n", qPrintable(target), e.what());
        return nullptr;
    }
    return port;
}

void Print(const char* what, std::vector<double> ms, int rounds) {
    const Summary s = Summarise(std::move(ms));
    std::printf("%-38s %3d of %d reads: median %6.2f ms, 90%% %6.2f ms, max %6.2f ms\n", what,
                s.count, rounds, s.median, s.p90, s.max);
}

// The CI-V read straight on the pty.
void Direct(const QString& link, const Figures& f) {
    cat::test::MemoryStore store;
    auto port = OpenPort(store, link);
    if (!port) return;
    std::vector<double> ms;
    for (int i = 0; i < f.rounds; ++i) {
        const auto start = Clock::now();
        port->Write(kIcomRead);
        if (port->WaitForInput(kIcomReply, std::chrono::milliseconds(1000)) >= kIcomReply)
            ms.push_back(MsSince(start));
        port->ReadAll();
        if (f.gapMs > 0) RunFor(f.gapMs);
    }
    Print("direct on the pty (CI-V 03)", ms, f.rounds);
}

// +f through rigctld, the answer taken up to its RPRT line.
void Through(const cat::test::Rigctld& server, const char* what, const std::string& setup,
             const Figures& f) {
    cat::test::MemoryStore store;
    auto port = OpenPort(store, server.Address());
    if (!port) return;
    std::string received;
    const auto exchange = [&](const std::string& command) {
        received.clear();
        port->Write(command);
        const auto end = Clock::now() + std::chrono::seconds(2);
        while (received.find("RPRT") == std::string::npos || received.back() != '\n') {
            if (Clock::now() >= end) return false;
            port->WaitForInput(1, std::chrono::milliseconds(100));
            received += port->ReadAll();
        }
        return true;
    };
    if (!setup.empty()) exchange(setup);
    std::vector<double> ms;
    for (int i = 0; i < f.rounds; ++i) {
        const auto start = Clock::now();
        if (exchange("+f\n") && received.find("RPRT 0") != std::string::npos)
            ms.push_back(MsSince(start));
        if (f.gapMs > 0) RunFor(f.gapMs);
    }
    Print(what, ms, f.rounds);
}

// The window polling through rigctld: its CPU and the server's, in per cent of one core.
void WindowCpu(const cat::test::Rigctld& server, const QString& ini, const Figures& f) {
    QSettings(ini, QSettings::IniFormat).setValue("Ports/Com5", server.Address());
    cat::QtSettingsStore store(ini);
    cat::MainWindow w(store);
    w.show();
    OpenLinkOn(w, "ICOM", 5);
    if (!RunUntil([&] { return !Reading(w)->text().isEmpty(); }, 10000)) {
        std::printf("the window shows no reading through rigctld\n");
        return;
    }
    const double ours0 = CpuSeconds();
    const double server0 = ProcessCpuSeconds(server.Pid());
    const auto wall0 = Clock::now();
    RunFor(f.seconds * 1000);
    const double wall = MsSince(wall0) / 1000.0;
    const double ours = CpuSeconds() - ours0;
    const double theirs = ProcessCpuSeconds(server.Pid()) - server0;
    std::printf(
        "window polling through rigctld for %d s: our CPU %.3f s (%.2f%% of one core), "
        "rigctld's %.3f s (%.2f%%)\n",
        f.seconds, ours, 100.0 * ours / wall, theirs, 100.0 * theirs / wall);
    ReleaseOpen(w);
    RunFor(300);
}

}  // namespace

int main(int argc, char** argv) {
    OffscreenUnlessTold();
    QApplication app(argc, argv);
    const Arguments arguments(argc, argv);
    if (!arguments.Understood(
            "server_bench [--rounds N] [--gap MS] [--seconds S] [--radiosim PATH]"))
        return 2;
    const Figures f{arguments.Number("--rounds", 100), arguments.Number("--gap", 0),
                    arguments.Number("--seconds", 10), RadiosimPath(arguments)};
    if (cat::test::Rigctld::Binary().isEmpty()) {
        std::printf("rigctld is not installed (Debian package libhamlib-utils)\n");
        return 0;
    }
    QTemporaryDir dir;
    const QString link = dir.filePath("radio");
    Radio radio(f.radiosim, {"--model", "ic7300", "--speed", "19200", "--link", link, "--quiet"});
    if (!RadioStarted(radio, "IC-7300")) return 1;
    Direct(link, f);
    cat::test::Rigctld server({"-m", "3073", "-r", link, "-s", "19200"});
    if (!server.Started()) {
        std::printf("rigctld did not start\n");
        return 1;
    }
    Through(server, "through rigctld, its cache as it comes", {}, f);
    Through(server, "through rigctld, cache off", "+\\set_cache 0\n", f);
    // The cache is the server's, not the connection's: back to its usual half second.
    Through(server, "through rigctld, cache back at 500 ms", "+\\set_cache 500\n", f);
    WindowCpu(server, dir.filePath("CAT.ini"), f);
    return 0;
}
