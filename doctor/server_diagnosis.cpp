#include "doctor/server_diagnosis.h"

#include <cmath>

#include "core/port_names.h"
#include "core/text.h"
#include "doctor/verdict_text.h"
#include "protocols/families.h"

namespace cat::doctor {

namespace {

constexpr double kServerReadingSeconds = 3.0;

// What only the server's own way of starting can say: its family's record holds it.
const ServerFacts* FactsOf(Protocol protocol) {
    const RadioFamily* family = FamilyFor(protocol);
    return family && family->Record().server ? &*family->Record().server : nullptr;
}

// "rigctld listens on 4532 and flrig on 12345": every server's usual port.
std::string UsualPorts() {
    std::string said;
    for (const RadioFamily* family : ServerFamilies()) {
        const ServerFacts& server = *family->Record().server;
        said += (said.empty() ? "" : " and ") + std::string(server.processName) +
                (said.empty() ? " listens on " : " on ") + std::to_string(server.defaultPort);
    }
    return said;
}

std::string Name(const Observation& o) { return ProtocolName(o.protocol); }

// "localhost:4532": where the server was looked for.
std::string Where(const Observation& o) {
    const std::optional<PortTarget> target = ParsePortTarget(o.device);
    return target && target->kind != PortKind::Device ? HostAndPort(*target) : o.device;
}

// Where, as the status line has room for it: a long host name gives way to the port, which is
// what is most often wrong.
std::string ShortWhere(const Observation& o) {
    constexpr std::size_t kMost = 18;
    const std::string where = Where(o);
    if (where.size() <= kMost) return where;
    return where.substr(where.rfind(':'));
}

// " for Com 5"; nothing when the port was given as the server's address itself.
std::string ForPort(const Observation& o) {
    return o.port == o.device || IsNetworkAddress(o.port) ? "" : " for " + o.port;
}

// "rigctld (Hamlib 4.5.4 with Icom IC-7300)" once the server has said it.
std::string Who(const Observation& o, const LineSummary& line) {
    if (line.identity.empty()) return Name(o);
    if (line.identity.rfind(Name(o), 0) == 0) return line.identity;
    return Name(o) + " (" + line.identity + ")";
}

Verdict NoServer(const Observation& o, const ServerFacts& server) {
    return Make(VerdictKind::NoServer, true, "no-server", "No " + Name(o) + " at " + ShortWhere(o),
                "Nothing listens at " + Where(o) + ", where" + ForPort(o) + " " + Name(o) +
                    " is looked for.",
                std::string(server.startAdvice));
}

Verdict Answering(const Observation& o, const LineSummary& line) {
    return Make(VerdictKind::Answering, false, "answering", Name(o) + ": answering",
                Who(o, line) + " answers at " + Where(o) + ForPort(o) + "; its last reply came " +
                    Ago(o.now - *line.lastReply) + ".",
                "");
}

// A server that answers, but whose frequency this program cannot read: "answering" over an empty
// display would be no working link.
Verdict NoFrequency(const Observation& o, const LineSummary& line) {
    return Make(VerdictKind::Unreadable, true, "no-frequency", Name(o) + " sends no frequency",
                Who(o, line) + " answers at " + Where(o) + ForPort(o) +
                    ", but sent no frequency this program can read.",
                "Copy the traffic to ask why; check the radio chosen in the server's own setup.");
}

Verdict RadioNotReached(const Observation& o, const LineSummary& line, const ServerFacts& server) {
    const std::string why = Bounded(line.sampleNote.empty() ? line.sample : line.sampleNote, 80);
    return Make(
        VerdictKind::ServerRadioFails, true, "server-radio-fails", Name(o) + ": radio not reached",
        Who(o, line) + " answers at " + Where(o) + ", but its own link to the radio fails (" + why +
            "). It reaches the radio through its own port and speed, not this "
            "program's.",
        std::string(server.setupAdvice) +
            " To test the radio's port itself, stop the server and open that port here.");
}

// The server closed the connection, this time or the time before the link reconnected, after
// leaving our reads unanswered: it waited for its radio and gave up.
Verdict RadioDropped(const Observation& o, const ServerFacts& server) {
    const long waited = std::lround(*o.unansweredAtLoss);
    return Make(
        VerdictKind::ServerRadioFails, true, "server-radio-fails", Name(o) + ": radio not reached",
        Name(o) + " at " + Where(o) + " left our reads unanswered for " + std::to_string(waited) +
            " s, then closed the connection: it could not reach its radio. It reaches the "
            "radio through its own port and speed, not this program's." +
            (!o.lostAt            ? " The link connected again and waits for an answer."
             : o.waitingForDevice ? " The link reconnects by itself."
                                  : ""),
        std::string(server.setupAdvice) +
            " To test the radio's port itself, stop the server and open that port here.");
}

// A server with a working radio answers in a fraction of a second: a read left out this long
// when the connection closed is one it was waiting on its radio for.
bool DroppedUnanswered(const Observation& o) {
    return o.unansweredAtLoss && *o.unansweredAtLoss >= kAnswerSeconds;
}

Verdict NotTheServer(const Observation& o, const LineSummary& line) {
    const std::string sample = Bounded(line.sample, 80);
    return Make(VerdictKind::NotTheServer, true, "not-the-server",
                "Not " + Name(o) + " at " + ShortWhere(o),
                "Something answers at " + Where(o) + ", but not as " + Name(o) + " does" +
                    (sample.empty() ? std::string(".") : " (" + sample + ")."),
                "Check the port number: " + UsualPorts() +
                    " unless told otherwise; a serial port published by ser2net is written "
                    "tcp:// or rfc2217://.");
}

Verdict Silent(const Observation& o, const LineSummary& line) {
    if (line.lastHeard) {
        const double silentFor = o.now - *line.lastHeard;
        return Make(VerdictKind::Stopped, true, "stopped",
                    Name(o) + " silent for " + std::to_string(static_cast<long>(silentFor)) + " s",
                    Name(o) + " at " + Where(o) + " stopped answering: its last reply came " +
                        Ago(silentFor) + ". The display shows the last values, not live ones.",
                    "Is " + Name(o) + " still running? It may be stuck waiting for its radio.");
    }
    Verdict v = Make(VerdictKind::NoReply, true, "no-reply", Name(o) + " does not answer",
                     Where(o) +
                         " takes the connection, but nothing answers there: it may be "
                         "another program, or the server may be stuck.",
                     "Check that " + Name(o) + " listens there and nothing else does.");
    return v;
}

}  // namespace

std::optional<Verdict> DiagnoseServerLink(const Observation& o) {
    const ServerFacts* server = FactsOf(o.protocol);
    if (!server) return std::nullopt;
    if (o.failure) {
        if (o.failure->fault == CommFault::ConnectionRefused) return NoServer(o, *server);
        return std::nullopt;
    }
    if (!o.open || !o.line) return std::nullopt;
    const LineSummary& line = *o.line;
    // Until the server answers again, what it did to the connection before is what is known.
    if (DroppedUnanswered(o) && (o.lostAt || !line.lastReply)) return RadioDropped(o, *server);
    if (o.lostAt) return std::nullopt;
    const bool overdue =
        line.firstUnanswered && o.now - *line.firstUnanswered > kServerAnswerSeconds;
    const bool deciding = line.firstUnheard && o.now - *line.firstUnheard <= kServerAnswerSeconds;
    // A server reads its radio's frequency within a poll or two of the first command.
    const bool noReading = !line.lastReading && line.firstCommand &&
                           o.now - *line.firstCommand > kServerReadingSeconds;
    if (line.lastReply && (!overdue || deciding))
        return noReading ? NoFrequency(o, line) : Answering(o, line);
    // The server's families say a refusal only of a link to the radio that failed; a read the
    // radio lacks comes as an answer nothing here reads.
    if (line.refusals > 0 && line.refusals >= line.noise) return RadioNotReached(o, line, *server);
    // What the server answers and nothing here reads is still the server's; bytes that are no
    // answer of it, or a radio's own replies, are not.
    const bool foreign = line.noise > 0 || !line.otherProtocols.empty();
    if (foreign && (overdue || !line.lastReply)) return NotTheServer(o, line);
    if (!overdue) {
        return Make(VerdictKind::Waiting, false, "waiting", "Waiting for " + Name(o),
                    "Connected to " + Where(o) + ForPort(o) + "; waiting for " + Name(o) +
                        " to answer. A server answers once its radio has, or once its own timeouts "
                        "and retries are spent: that can take several seconds.",
                    "");
    }
    return Silent(o, line);
}

}  // namespace cat::doctor
