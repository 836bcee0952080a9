#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "core/comm_errors.h"
#include "core/comm_port.h"
#include "core/line_settings.h"
#include "core/settings_store.h"

namespace cat {

class NetworkPort;

// The serial port over QSerialPort, usable from synchronous code with no event loop running:
// every read first pulls what the system holds, waits block in the system instead of spinning and
// end at once when the program is asked to close. "Com N" becomes a device at open time, through
// the settings store's [Ports] group; a network address there opens a NetworkPort instead, with
// the same contract.
//
// OnComm is emitted from the event loop only (a queued call, repeated arrivals coalesced), never
// from inside a read or wait, so its handler may run directly and may find nothing waiting.
class QtCommPort : public QObject, public CommPort {
    Q_OBJECT

public:
    explicit QtCommPort(SettingsStore& store, QObject* parent = nullptr);
    ~QtCommPort() override;

    void SelectPort(int number) override;
    int PortNumber() const override { return number_; }
    void SetLineSettings(const LineSettings& settings) override;
    void SetHandshake(Handshake handshake) override;
    void Open() override;
    void Close() override;
    bool IsOpen() const override;

    void Write(const std::string& bytes) override;
    int BytesWaiting() override;
    void DiscardInput() override;
    std::string ReadAll() override;
    int WaitForInput(int count, std::chrono::milliseconds timeout) override;
    int BytesPending() override;

    int Handshaking() const { return handshaking_; }

    // The device the port was opened on, or would open now.
    std::string DeviceName() const;
    // Why the open port went away, in the system's or the far end's words; empty when it did not.
    const std::string& LostDetail() const { return lostDetail_; }
    // What messages call the port instead of its Com number and device: the path a user named
    // on the command line, which is no Com number of the list.
    void CallIt(std::string name) { name_ = std::move(name); }

signals:
    void OnComm();
    // The device went away (or the connection dropped) and the port was closed; queued like
    // OnComm.
    void PortLost(const QString& description);

private:
    void OpenNetworkPort();
    void ReportLost(CommFault fault, const std::string& detail);
    int WriteWaitMs(std::size_t bytes) const;
    void HandleError(QSerialPort::SerialPortError error);
    void ScheduleOnComm();
    void CloseQuietly();
    void SetLineDefaults();
    bool ApplyLineSettings();
    [[noreturn]] void RaiseOpenFailure();
    void RequireOpen() const;
    void Pull();
    int Waiting() const;
    std::string Label() const;

    SettingsStore& store_;
    QSerialPort port_;
    std::unique_ptr<NetworkPort> net_;  // while Com N is a network port
    int number_ = 0;
    std::string name_;
    std::string device_;  // resolved when the port opens
    LineSettings line_;
    int handshaking_ = 0;

    // Qt reports failures while it opens, sets modem lines on a pseudo-terminal, or closes a
    // vanished device; none of those may close the port from the error handler.
    bool quietErrors_ = false;
    bool lost_ = false;  // the port closed itself when its device went away
    CommFault lostFault_ = CommFault::DeviceLost;
    std::string lostDetail_;
    bool onCommQueued_ = false;
};

}  // namespace cat
