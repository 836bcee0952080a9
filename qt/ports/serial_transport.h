#pragma once

#include <QSerialPort>
#include <string>

#include "qt/ports/port_transport.h"

namespace cat {

// A local serial device over QSerialPort, usable with no event loop running: every read first
// pulls what the system holds, and waits block in the system instead of spinning and end at once
// when the program is asked to close. The device is closed at its first fatal error (Qt reports a
// vanished device thousands of times a second). Errors name the port as `label`. The device
// object is a child of `owner`, as any of the owner's parts.
class SerialTransport : public PortTransport {
public:
    SerialTransport(std::string device, std::string label, Events events, QObject* owner);
    ~SerialTransport() override;
    SerialTransport(const SerialTransport&) = delete;
    SerialTransport& operator=(const SerialTransport&) = delete;

    void Open(const LineSettings& line, Handshake handshake,
              const ControlLineLevels& levels) override;
    bool IsOpen() const override { return port_.isOpen(); }
    void SetLine(const LineSettings& line, Handshake handshake) override;
    void SetHandshake(const LineSettings& line, Handshake handshake) override;

    void Write(const std::string& bytes, const LineSettings& line) override;
    int BytesWaiting() override;
    void DiscardInput() override;
    std::string ReadAll() override;
    int WaitForInput(int count, std::chrono::milliseconds timeout) override;
    int BytesPending() const override;

    void SetControlLines(const ControlLineLevels& levels, Handshake handshake) override;
    ModemLines Lines() override;
    int Descriptor() const override {
        return port_.isOpen() ? static_cast<int>(port_.handle()) : -1;
    }

private:
    void HandleError(QSerialPort::SerialPortError error);
    void CloseQuietly();
    bool ApplyLine(const LineSettings& line, Handshake handshake);
    [[noreturn]] void RaiseOpenFailure(const LineSettings& line);
    void RequireOpen() const;
    void Pull();
    int Waiting() const;

    std::string device_;
    std::string label_;
    Events events_;
    QSerialPort port_;
    // Qt reports failures while it opens, sets modem lines on a pseudo-terminal, or closes a
    // vanished device; none of those may close the port from the error handler.
    bool quietErrors_ = false;
    bool lost_ = false;
    std::string lostDetail_;
};

}  // namespace cat
