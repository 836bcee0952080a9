#pragma once

// The rig-sharing server flrig in front of the radio (--flrig): XML-RPC calls over HTTP/1.1 on a
// kept-alive connection, answered from the radio's state as flrig 1.4.7 answers them. No I/O
// here: the client's bytes go in, the answers come out through the Listener, and the radio
// changes (and reports) as its own commands would change it.
//
//   call:    POST /RPC2 HTTP/1.1\r\nContent-Type: text/xml\r\nContent-Length: 82\r\n\r\n
//            <?xml version="1.0"?><methodCall><methodName>rig.get_vfo</methodName></methodCall>
//   answer:  HTTP/1.1 200 OK\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\n
//            Content-length: 118\r\n\r\n<?xml version="1.0"?>\r\n<methodResponse><params><param>
//            \r\n\t<value>14074000</value>\r\n</param></params></methodResponse>\r\n
//
// Like flrig, it reads one call at a time: a second call that arrives with the first is never
// answered. Without a transceiver (the radio silent) flrig names none (rig.get_xcvr answers "")
// and answers its own frequency and mode, 14070000 and USB; sets are answered and change nothing.

#include <string>
#include <string_view>

#include "tools/radiosim/radio.h"

namespace radiosim {

class FlrigServer {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void Answer(std::string bytes) = 0;
        // "call rig.get_vfo" for every call; "write flrig rig.set_vfo 7074000" for every call
        // that is not a read.
        virtual void Report(std::string line) = 0;
    };

    FlrigServer(Radio& radio, Listener& listener) : radio_(radio), listener_(listener) {}

    void Receive(std::string_view bytes);

    // The radio behind flrig stops answering, or answers again.
    void SetTransceiver(bool present) { transceiver_ = present; }

private:
    // The answer's XML-RPC body to one call.
    std::string Call(std::string_view method, std::string_view param);
    std::string ModeName(const Mode& mode) const;

    Radio& radio_;
    Listener& listener_;
    bool transceiver_ = true;
    std::string pending_;
};

}  // namespace radiosim
