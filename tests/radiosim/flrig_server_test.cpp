// The flrig server in process: calls in, answers and the radio's changes out. Expected answers are
// flrig 1.4.7's own, captured from its XML-RPC port (with an IC-7300 behind it, and with none);
// calls are written as flrig --xml-help lists the methods.

#include "tools/radiosim/flrig_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace radiosim {
namespace {

std::string CallOf(const std::string& method, const std::string& params = "") {
    const std::string body = "<?xml version=\"1.0\"?><methodCall><methodName>" + method +
                             "</methodName>" + params + "</methodCall>";
    return "POST /RPC2 HTTP/1.1\r\nContent-Type: text/xml\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string Param(const std::string& type, const std::string& text) {
    return "<params><param><value><" + type + ">" + text + "</" + type +
           "></value></param></params>";
}

// flrig's answer around one value, Content-length as it counted it.
std::string Answer(int length, const std::string& value) {
    return "HTTP/1.1 200 OK\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\nContent-length: " +
           std::to_string(length) +
           "\r\n\r\n<?xml version=\"1.0\"?>\r\n<methodResponse><params><param>\r\n\t" + value +
           "\r\n</param></params></methodResponse>\r\n";
}

const std::string kNoSuchFault =
    "HTTP/1.1 200 OK\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\nContent-length: "
    "263\r\n\r\n<?xml version=\"1.0\"?>\r\n<methodResponse><fault>\r\n\t<value><struct><member>"
    "<name>faultCode</name><value><i4>-1</i4></value></member><member><name>faultString</name>"
    "<value>rig.no_such: unknown method name</value></member></struct></value>\r\n</fault>"
    "</methodResponse>\r\n";

struct Events : Radio::Listener, FlrigServer::Listener {
    std::string answers;
    std::vector<std::string> reports;
    void Transmit(std::string) override {}
    void Answer(std::string bytes) override { answers += bytes; }
    void Report(std::string line) override { reports.push_back(std::move(line)); }
    bool Reported(const std::string& line) const {
        return std::find(reports.begin(), reports.end(), line) != reports.end();
    }
    bool Wrote() const {
        return std::any_of(reports.begin(), reports.end(),
                           [](const std::string& line) { return line.starts_with("write "); });
    }
};

// An IC-7300 at 14.074 MHz USB behind flrig.
struct Server {
    explicit Server(const char* model = "ic7300") : radio(Config(model), Start(), events) {}
    static Radio::Config Config(const char* model) {
        Radio::Config config;
        config.model = FindModel(model);
        config.protocol = config.model->protocol;
        return config;
    }
    static Tuning Start() {
        Tuning tuning;
        tuning.hz = 14'074'000;
        tuning.mode = FindMode("USB");
        return tuning;
    }
    Events events;
    Radio radio;
    FlrigServer server{radio, events};
};

struct CallRow {
    const char* name;
    bool transceiver;
    std::string call;
    std::string answer;
};

TEST(FlrigServer, AnswersAsFlrigDoes) {
    const CallRow rows[] = {
        {"version", true, CallOf("main.get_version"), Answer(115, "<value>1.4.7</value>")},
        {"transceiver", true, CallOf("rig.get_xcvr"), Answer(117, "<value>IC-7300</value>")},
        {"frequency", true, CallOf("rig.get_vfo"), Answer(118, "<value>14074000</value>")},
        {"mode", true, CallOf("rig.get_mode"), Answer(113, "<value>USB</value>")},
        {"receiving", true, CallOf("rig.get_ptt"), Answer(120, "<value><i4>0</i4></value>")},
        {"unknown method", true, CallOf("rig.no_such"), kNoSuchFault},
        {"no transceiver", false, CallOf("rig.get_xcvr"), Answer(110, "<value></value>")},
        {"flrig's own frequency", false, CallOf("rig.get_vfo"),
         Answer(118, "<value>14070000</value>")},
        {"flrig's own mode", false, CallOf("rig.get_mode"), Answer(113, "<value>USB</value>")},
        {"mode table", true, CallOf("rig.get_modes"),
         Answer(284,
                "<value><array><data><value>LSB</value><value>USB</value><value>AM</value>"
                "<value>CW</value><value>RTTY</value><value>FM</value><value>CW-R</value>"
                "<value>RTTY-R</value></data></array></value>")},
        {"frequency set", true, CallOf("rig.set_vfo", Param("double", "7074000.0")),
         Answer(110, "<value></value>")},
        {"mode set", true, CallOf("rig.set_mode", Param("string", "CW")),
         Answer(120, "<value><i4>1</i4></value>")},
        {"mode set of a name the radio lacks", true,
         CallOf("rig.set_mode",
                "<params><param>"
                "<value>XYZ</value>"
                "</param></params>"),
         Answer(110, "<value></value>")},
        {"frequency set without transceiver", false,
         CallOf("rig.set_vfo", Param("double", "7074000")),
         Answer(120, "<value><i4>0</i4></value>")},
        {"PTT set", true, CallOf("rig.set_ptt", Param("i4", "0")), Answer(110, "<value></value>")},
    };
    for (const CallRow& row : rows) {
        SCOPED_TRACE(row.name);
        Server flrig;
        flrig.server.SetTransceiver(row.transceiver);
        flrig.server.Receive(row.call);
        EXPECT_EQ(flrig.events.answers, row.answer);
    }
}

TEST(FlrigServer, SetsChangeTheRadioAndAreReported) {
    Server flrig;
    flrig.server.Receive(CallOf("rig.set_vfo", Param("double", "7074000.0")));
    flrig.server.Receive(CallOf("rig.set_mode", Param("string", "RTTY-R")));
    flrig.server.Receive(CallOf("rig.set_ptt", Param("i4", "1")));
    EXPECT_EQ(flrig.radio.tuning().hz, 7'074'000);
    EXPECT_EQ(flrig.radio.tuning().mode, FindMode("FSK-R"));
    EXPECT_TRUE(flrig.radio.Transmitting());
    for (const char* line :
         {"write flrig rig.set_vfo 7074000.0", "freq 7074000", "write flrig rig.set_mode RTTY-R",
          "mode FSK-R", "write flrig rig.set_ptt 1", "transmit on (cat)"}) {
        EXPECT_TRUE(flrig.events.Reported(line)) << line;
    }
}

TEST(FlrigServer, WithoutTransceiverSetsChangeNothing) {
    Server flrig;
    flrig.server.SetTransceiver(false);
    flrig.server.Receive(CallOf("rig.set_vfo", Param("double", "7074000.0")));
    flrig.server.Receive(CallOf("rig.set_ptt", Param("i4", "1")));
    EXPECT_EQ(flrig.radio.tuning().hz, 14'074'000);
    EXPECT_FALSE(flrig.radio.Transmitting());
    EXPECT_TRUE(flrig.events.Reported("write flrig rig.set_vfo 7074000.0"));
}

TEST(FlrigServer, ReadsAreNoWrites) {
    Server flrig;
    for (const char* method : {"main.get_version", "rig.get_xcvr", "rig.get_vfo", "rig.get_mode",
                               "rig.get_modes", "rig.get_ptt", "rig.get_bw"}) {
        flrig.server.Receive(CallOf(method));
    }
    EXPECT_FALSE(flrig.events.Wrote());
    EXPECT_TRUE(flrig.events.Reported("call rig.get_vfo"));
}

TEST(FlrigServer, OneCallPerReadAsFlrigReadsThem) {
    Server flrig;
    const std::string call = CallOf("rig.get_vfo");
    // A call in two pieces is answered once whole.
    flrig.server.Receive(call.substr(0, 30));
    EXPECT_EQ(flrig.events.answers, "");
    flrig.server.Receive(call.substr(30));
    EXPECT_EQ(flrig.events.answers, Answer(118, "<value>14074000</value>"));
    // A second call sent with the first is never answered; the connection goes on.
    flrig.events.answers.clear();
    flrig.server.Receive(CallOf("rig.get_vfo") + CallOf("rig.get_mode"));
    EXPECT_EQ(flrig.events.answers, Answer(118, "<value>14074000</value>"));
    flrig.events.answers.clear();
    flrig.server.Receive(CallOf("rig.get_mode"));
    EXPECT_EQ(flrig.events.answers, Answer(113, "<value>USB</value>"));
}

TEST(FlrigServer, YaesuModesInFlrigsNames) {
    Server flrig("ft991a");
    flrig.server.Receive(CallOf("rig.set_mode", Param("string", "CW-U")));
    EXPECT_EQ(flrig.radio.tuning().mode, FindMode("CW"));
    flrig.events.answers.clear();
    flrig.server.Receive(CallOf("rig.get_mode"));
    EXPECT_EQ(flrig.events.answers, Answer(114, "<value>CW-U</value>"));
}

}  // namespace
}  // namespace radiosim
