// How soon the program sets DTR and RTS on a network serial port after it connects, as the far
// end sees it. radiosim serves its radio as an RFC 2217 port whose device raises both lines at
// every connect, with RTS wired to the transmitter; catlink --doctor connects anew each round,
// and radiosim's timed report lines give the connect ("open"), the lines set and the release of
// the transmitter. The goal on loopback is 50 ms from the connect to RTS low. Prints figures,
// asserts nothing.
//
//   lines_first_bench [--radiosim PATH] [--catlink PATH] [--rounds N]
#include <QCoreApplication>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>
#include <vector>

#include "bench/bench_support.h"
#include "tests/support/radiosim_runner.h"

namespace {

using namespace cat::bench;

struct Round {
    double linesMs = -1;  // from the connect to the lines set
    double keyedMs = -1;  // the radio transmitting, from the connect's raise to the release
};

// radiosim's time of the first line at or after `from` that is `text`, and its index.
std::optional<std::pair<double, std::size_t>> Find(const cat::test::RadiosimRunner& radio,
                                                   const std::string& text, std::size_t from) {
    const auto& lines = radio.Lines();
    for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i] == text && radio.Time(i)) return std::make_pair(*radio.Time(i), i);
    return std::nullopt;
}

Round Connect(cat::test::RadiosimRunner& radio, const QString& catlink, const QString& home) {
    const std::size_t from = radio.Lines().size();
    QProcess doctor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home);
    doctor.setProcessEnvironment(env);
    doctor.start(catlink, {"--doctor"});
    Round round;
    const bool set = doctor.waitForStarted(5000) && radio.AwaitLine("lines dtr on rts off");
    doctor.terminate();
    doctor.waitForFinished(10000);
    radio.AwaitLine("close");
    const auto open = Find(radio, "open", from);
    const auto low = open ? Find(radio, "lines dtr on rts off", open->second) : std::nullopt;
    const auto on = open ? Find(radio, "transmit on (rts)", open->second) : std::nullopt;
    const auto off = on ? Find(radio, "transmit off", on->second) : std::nullopt;
    if (set && open && low) round.linesMs = (low->first - open->first) * 1000;
    if (on && off) round.keyedMs = (off->first - on->first) * 1000;
    return round;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const Arguments arguments(argc, argv);
    if (!arguments.Understood("lines_first_bench [--radiosim PATH] [--catlink PATH] [--rounds N]"))
        return 2;
    const QString catlink = QString::fromStdString(arguments.Text("--catlink", CATLINK_DEFAULT));
    const int rounds = std::max(1, arguments.Number("--rounds", 10));
    QTemporaryDir home;
    const QString ini = home.filePath("CAT/CAT.ini");
    {
        QSettings setup(ini, QSettings::IniFormat);
        setup.setValue("Setup/Type", "0");  // ICOM at 9600 baud, address 94, on Com 3
        setup.setValue("Setup/Speed", "1");
        setup.setValue("Setup/ComPort", "2");
        setup.setValue("Setup/Address", "94");
    }
    cat::test::RadiosimRunner radio({"--rfc2217", "0", "--model", "ic7300", "--address", "94",
                                     "--ptt", "rts", "--settings", ini.toStdString(), "--com", "3"},
                                    RadiosimPath(arguments).toStdString());
    if (!radio.Started()) {
        std::fprintf(stderr, "radiosim did not start\n");
        return 1;
    }
    std::vector<double> lines, keyed;
    for (int r = 0; r < rounds; ++r) {
        const Round round = Connect(radio, catlink, home.path());
        lines.push_back(round.linesMs);
        keyed.push_back(round.keyedMs);
    }
    const Summary l = Summarise(lines), k = Summarise(keyed);
    std::printf(
        "a network serial port raising DTR and RTS at each connect, RTS keying the radio\n"
        "(catlink --doctor, loopback), ms over %d connects: median, max\n",
        rounds);
    std::printf("  connect to RTS low:         %8.1f %8.1f   (goal 50)\n", l.median, l.max);
    std::printf("  radio transmitting meanwhile: %6.1f %8.1f\n", k.median, k.max);
    return 0;
}
