#pragma once

#include <chrono>
#include <string>

#include "core/handshake.h"
#include "core/line_settings.h"

namespace cat {

// The serial-port component every protocol routine talks through. Bytes are
// carried one per char (the char's value is the byte); the port is always binary.
// Failures are raised as CatError with a number and a description that names the device.
//
// Synchronous contract: BytesWaiting() reports what has reached the machine at
// the moment of the call (no event loop needed); Write() has put the bytes on
// their way when it returns; ReadAll() returns and removes every waiting byte.
class CommPort {
public:
    virtual ~CommPort() = default;

    virtual void SelectPort(int number) = 0;  // 1..32, "Com N"
    virtual int PortNumber() const = 0;
    virtual void SetLineSettings(const LineSettings& settings) = 0;
    virtual void SetHandshake(Handshake handshake) = 0;
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
};

}  // namespace cat
