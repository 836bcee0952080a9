#pragma once

#include <chrono>
#include <string>

#include "core/control_lines.h"
#include "core/handshake.h"
#include "core/line_settings.h"

namespace cat {

// The serial-port component every protocol routine talks through. Bytes are
// carried one per char (the char's value is the byte). Failures are raised as
// CatError with a number and a description that names the device.
//
// Synchronous contract: BytesWaiting() reports what has reached the machine at
// the moment of the call (no event loop needed); Write() has put the bytes on
// their way when it returns; ReadAll() returns and removes every waiting byte.
class CommPort {
public:
    virtual ~CommPort() = default;

    virtual void SelectPort(int number) = 0;  // 1..32, "Com N"
    virtual int PortNumber() const = 0;
    virtual void SetLineSettings(const LineSettings& line) = 0;
    virtual void SetHandshake(Handshake mode) = 0;
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual void Write(const std::string& bytes) = 0;
    virtual int BytesWaiting() = 0;
    virtual void DiscardInput() = 0;
    virtual std::string ReadAll() = 0;

    // Blocks until at least `count` bytes are waiting or `timeout` has passed,
    // without spinning; returns BytesWaiting() at that moment.
    virtual int WaitForInput(int count, std::chrono::milliseconds timeout) = 0;

    // Bytes handed to Write that have not left yet: flow control holding them (the radio keeps
    // CTS low), or a slow line. 0 for a port that cannot tell.
    virtual int BytesPending() { return 0; }

    // DTR and RTS: the levels the port puts on them when it opens, and at once when it is open.
    // RTS under RTS/CTS handshaking stays with the flow control. A port without modem lines (a
    // pseudo-terminal) takes the levels and has nothing to set: that is not a failure.
    virtual void SetControlLines(const ControlLineLevels& levels) { (void)levels; }
    virtual ControlLineLevels ControlLines() const { return {}; }
    // What the port sees on its lines now; nothing for each line it cannot tell.
    virtual ModemLines Lines() { return {}; }
};

}  // namespace cat
