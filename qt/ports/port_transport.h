#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "core/comm_errors.h"
#include "core/control_lines.h"
#include "core/handshake.h"
#include "core/line_settings.h"

namespace cat {

// What carries the bytes of an open port: a local serial device or a serial port published on
// the network. QtCommPort picks one when it opens and keeps, for both alike, the Com N mapping,
// the receive notification and the errors a closed port raises. Every call is synchronous, as
// CommPort's contract asks; failures are raised as CatError in the operator's words.
class PortTransport {
public:
    struct Events {
        std::function<void()> arrived;  // bytes came in while the event loop ran
        // The device or the connection went away and the transport closed itself.
        std::function<void(CommFault fault, const std::string& detail)> lost;
    };

    virtual ~PortTransport() = default;

    // Opens with DTR and RTS at `levels` (RTS left to the flow control under RTS/CTS).
    virtual void Open(const LineSettings& line, Handshake handshake,
                      const ControlLineLevels& levels) = 0;
    virtual bool IsOpen() const = 0;
    // Set on the open line: all of it, or only the handshake (a failure then names that).
    virtual void SetLine(const LineSettings& line, Handshake handshake) = 0;
    virtual void SetHandshake(const LineSettings& line, Handshake handshake) = 0;

    // Returns once the bytes have left, or a bound set by the line's speed has passed.
    virtual void Write(const std::string& bytes, const LineSettings& line) = 0;
    virtual int BytesWaiting() = 0;  // takes what the system holds first, without waiting
    virtual void DiscardInput() = 0;
    virtual std::string ReadAll() = 0;
    virtual int WaitForInput(int count, std::chrono::milliseconds timeout) = 0;
    virtual int BytesPending() const = 0;  // written, not yet gone; 0 when closed

    // DTR and RTS on the open line; a device without modem lines takes it quietly.
    virtual void SetControlLines(const ControlLineLevels& levels, Handshake handshake) = 0;
    virtual ModemLines Lines() = 0;
    // For a program going down that can only write once, from a signal handler: the descriptor
    // and the bytes to write there for `data` to reach the radio.
    virtual int Descriptor() const = 0;
    virtual std::string WireBytes(std::string_view data) const { return std::string(data); }
};

}  // namespace cat
