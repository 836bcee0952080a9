// What the doctor says of a link through a rig-sharing server, from what the line showed.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "doctor/diagnosis.h"

namespace cat::doctor {
namespace {

struct Row {
    const char* name;
    Protocol server;
    std::function<void(Observation&, LineSummary&)> seen;
    VerdictKind kind;
    const char* brief;
    const char* inText;  // the fact the full text or the advice must give
};

const Row kRows[] = {
    {"NothingListens", Protocol::Rigctld,
     [](Observation& o, LineSummary&) {
         o.open = false;
         o.failure = OpenFailure{CommFault::ConnectionRefused, "refused", {}, {}, {}};
     },
     VerdictKind::NoServer, "No rigctld at localhost:4532", "rigctld -m"},
    {"NothingListensForFlrig", Protocol::Flrig,
     [](Observation& o, LineSummary&) {
         o.device = "flrig://shack:12345";
         o.open = false;
         o.failure = OpenFailure{CommFault::ConnectionRefused, "refused", {}, {}, {}};
     },
     VerdictKind::NoServer, "No flrig at shack:12345", "Start flrig"},
    {"AnswersWithItsRadioNamed", Protocol::Rigctld,
     [](Observation& o, LineSummary& l) {
         l.lastReply = o.now - 0.2;
         l.identity = "Hamlib 4.5.4 with Icom IC-7300";
     },
     VerdictKind::Answering, "rigctld: answering", "rigctld (Hamlib 4.5.4 with Icom IC-7300)"},
    {"AnErrorIsItsRadioFailing", Protocol::Rigctld,
     [](Observation& o, LineSummary& l) {
         l.firstUnanswered = o.now - 0.5;
         l.refusals = 1;
         l.sample = "get_freq:\nRPRT -5\n";
         l.sampleNote = "RPRT -5: communication timed out";
     },
     VerdictKind::ServerRadioFails, "rigctld: radio not reached", "communication timed out"},
    // A read the radio lacks is answered, and is no fault of the link.
    {"AReadTheRadioLacksWaits", Protocol::Rigctld,
     [](Observation& o, LineSummary& l) {
         l.firstUnanswered = o.now - 0.5;
         l.unread = 1;
     },
     VerdictKind::Waiting, "Waiting for rigctld", ""},
    {"FlrigWithoutTransceiver", Protocol::Flrig,
     [](Observation& o, LineSummary& l) {
         o.device = "flrig://localhost:12345";
         l.firstUnanswered = o.now - 0.6;
         l.refusals = 2;
         l.sampleNote = "flrig has no transceiver";
     },
     VerdictKind::ServerRadioFails, "flrig: radio not reached", "flrig has no transceiver"},
    {"SomethingElseAnswers", Protocol::Rigctld,
     [](Observation& o, LineSummary& l) {
         l.firstUnanswered = o.now - 0.3;
         l.noise = 1;
         l.sample = "SSH-2.0-OpenSSH_9.2";
     },
     VerdictKind::NotTheServer, "Not rigctld at localhost:4532", "SSH-2.0"},
    // Every server's usual port, from each server's own record.
    {"SomethingElseAnswersNamesEveryServersPort", Protocol::Flrig,
     [](Observation& o, LineSummary& l) {
         o.device = "flrig://localhost:4532";
         l.firstUnanswered = o.now - 0.3;
         l.noise = 1;
         l.sample = "RPRT -1";
     },
     VerdictKind::NotTheServer, "Not flrig at localhost:4532",
     "Check the port number: rigctld listens on 4532 and flrig on 12345 unless told otherwise"},
    // The server answers once its radio has or its own retries are spent: seconds.
    {"ASlowServerIsWaitedFor", Protocol::Rigctld,
     [](Observation& o, LineSummary& l) { l.firstUnanswered = o.now - 6; }, VerdictKind::Waiting,
     "Waiting for rigctld", "several seconds"},
    {"TakesTheConnectionButNeverAnswers", Protocol::Rigctld,
     [](Observation& o, LineSummary& l) { l.firstUnanswered = o.now - 10.5; }, VerdictKind::NoReply,
     "rigctld does not answer", "takes the connection"},
    {"FellSilent", Protocol::Flrig,
     [](Observation& o, LineSummary& l) {
         o.device = "flrig://localhost:12345";
         l.lastReply = o.now - 10.7;
         l.lastHeard = o.now - 10.7;
         l.firstUnanswered = l.firstUnheard = o.now - 10.5;
     },
     VerdictKind::Stopped, "flrig silent for 10 s", "stopped answering"},
    // A server that gives up on its radio may close the connection instead of answering.
    {"ClosesAfterLeavingReadsUnanswered", Protocol::Rigctld,
     [](Observation& o, LineSummary& l) {
         l.firstUnanswered = o.now - 8.1;
         o.lostAt = o.now - 0.1;
         o.unansweredAtLoss = 8;
     },
     VerdictKind::ServerRadioFails, "rigctld: radio not reached", "-m), port (-r)"},
    {"FlrigClosesTheSameWay", Protocol::Flrig,
     [](Observation& o, LineSummary& l) {
         o.device = "flrig://localhost:12345";
         l.lastReply = o.now - 9;
         l.firstUnanswered = o.now - 5;
         o.lostAt = o.now - 1;
         o.unansweredAtLoss = 4;
     },
     VerdictKind::ServerRadioFails, "flrig: radio not reached", "closed the connection"},
    {"StaysTheVerdictAfterTheLinkReconnects", Protocol::Rigctld,
     [](Observation& o, LineSummary& l) {
         l.firstUnanswered = o.now - 0.4;
         o.unansweredAtLoss = 8;
     },
     VerdictKind::ServerRadioFails, "rigctld: radio not reached", "connected again"},
    {"AnAnswerAfterTheReconnectEndsIt", Protocol::Rigctld,
     [](Observation& o, LineSummary& l) {
         l.lastReply = o.now - 0.2;
         o.unansweredAtLoss = 8;
     },
     VerdictKind::Answering, "rigctld: answering", "last reply"},
    // A read just sent when the connection went is no sign of the radio: the network is blamed.
    {"ClosedWithAReadJustOutIsLost", Protocol::Rigctld,
     [](Observation& o, LineSummary& l) {
         l.lastReply = o.now - 0.35;
         l.firstUnanswered = o.now - 0.3;
         o.lostAt = o.now - 0.1;
         o.unansweredAtLoss = 0.2;
     },
     VerdictKind::Vanished, "Connection lost", "on the network"},
    // What the server said after its last reply (an answer nothing here reads) was heard: the
    // silence counts from there.
    {"SilentCountsFromTheLastWordHeard", Protocol::Rigctld,
     [](Observation& o, LineSummary& l) {
         l.lastReply = o.now - 15.2;
         l.lastHeard = o.now - 12.2;
         l.firstUnanswered = l.firstUnheard = o.now - 11;
     },
     VerdictKind::Stopped, "rigctld silent for 12 s", "stopped answering"},
    // Answering over an empty display is no working link.
    {"AnswersWithoutAFrequency", Protocol::Flrig,
     [](Observation& o, LineSummary& l) {
         o.device = "flrig://localhost:12345";
         l.firstCommand = o.now - 5;
         l.lastReply = o.now - 0.2;
     },
     VerdictKind::Unreadable, "flrig sends no frequency", "no frequency this program can read"},
    {"AnswersBeforeItsFirstReading", Protocol::Flrig,
     [](Observation& o, LineSummary& l) {
         l.firstCommand = o.now - 1;
         l.lastReply = o.now - 0.2;
     },
     VerdictKind::Answering, "flrig: answering", "answers at"},
};

class ServerDiagnosis : public ::testing::TestWithParam<Row> {};

TEST_P(ServerDiagnosis, SaysWhatIsWrongWithTheServerFirst) {
    const Row& row = GetParam();
    LineSummary line;
    Observation o;
    o.protocol = row.server;
    o.port = "Com 5";
    o.device = "rigctld://localhost:4532";
    o.open = true;
    o.everOpened = true;
    o.now = 20;
    o.line = &line;
    row.seen(o, line);
    const Verdict v = Diagnose(o);
    EXPECT_EQ(v.kind, row.kind) << v.brief << " / " << v.text;
    EXPECT_EQ(v.brief, row.brief);
    const std::string said = v.text + " " + v.advice;
    EXPECT_NE(said.find(row.inText), std::string::npos) << said;
}

INSTANTIATE_TEST_SUITE_P(Rows, ServerDiagnosis, ::testing::ValuesIn(kRows),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace cat::doctor
