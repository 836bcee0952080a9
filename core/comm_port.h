#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace cat {

// The serial-port component every protocol routine talks through. Bytes are
// carried one per char (the char's value is the byte). Failures are raised as
// CatError with a number and a description that names the device.
//
// Synchronous contract: InBufferCount() reports what has reached the machine at
// the moment of the call (no event loop needed); Output() has put the bytes on
// their way when it returns; Input() returns and removes every waiting byte.
class CommPort {
public:
    virtual ~CommPort() = default;

    virtual void SetCommPort(std::int16_t number) = 0;  // 1..32, "Com N"
    virtual std::int16_t GetCommPort() const = 0;
    virtual void SetSettings(const std::string& settings) = 0;  // "9600,n,8,2"
    virtual void SetHandshaking(int mode) = 0;                  // 0 none, 2 RTS/CTS
    virtual void SetInputMode(int mode) = 0;                    // 1 binary
    virtual void SetPortOpen(bool open) = 0;
    virtual bool PortOpen() const = 0;

    virtual void Output(const std::string& bytes) = 0;
    virtual int InBufferCount() = 0;
    virtual void ClearInBuffer() = 0;  // InBufferCount = 0: discard what is waiting
    virtual std::string Input() = 0;

    // Blocks until at least `count` bytes are waiting or `timeout` has passed,
    // without spinning; returns InBufferCount() at that moment.
    virtual int WaitForInput(int count, std::chrono::milliseconds timeout) = 0;

    // Bytes handed to Output that have not left yet: flow control holding them (the radio keeps
    // CTS low), or a slow line. 0 for a port that cannot tell.
    virtual int OutBufferCount() { return 0; }
};

}  // namespace cat
