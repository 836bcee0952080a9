#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "core/comm_errors.h"
#include "core/comm_port.h"
#include "core/handshake.h"
#include "core/line_settings.h"
#include "core/settings_store.h"

namespace cat {

class PortTransport;

// The program's port, usable from synchronous code with no event loop running. "Com N" becomes a
// device at open time, through the settings store's [Ports] group: a local serial device, or a
// network address that opens a serial port published on the network, with the same contract.
//
// BytesArrived is emitted from the event loop only (a queued call, repeated arrivals coalesced),
// never from inside a read or wait, so its handler may run directly and may find nothing waiting.
class QtCommPort : public QObject, public CommPort {
    Q_OBJECT

public:
    explicit QtCommPort(SettingsStore& store, QObject* parent = nullptr);
    ~QtCommPort() override;

    void SelectPort(int number) override;
    int PortNumber() const override { return number_; }
    void SetLineSettings(const LineSettings& line) override;
    void SetHandshake(Handshake mode) override;
    void Open() override;
    void Close() override;
    bool IsOpen() const override;

    void Write(const std::string& bytes) override;
    int BytesWaiting() override;
    void DiscardInput() override;
    std::string ReadAll() override;
    int WaitForInput(int count, std::chrono::milliseconds timeout) override;
    int BytesPending() override;
    void SetControlLines(const ControlLineLevels& levels) override;
    ControlLineLevels ControlLines() const override { return levels_; }
    ModemLines Lines() override;

    Handshake CurrentHandshake() const { return handshake_; }
    // Where bytes for the radio go when only one write is left to the program, and how they must
    // look there; -1 while the port is closed.
    int Descriptor() const;
    std::string WireBytes(std::string_view data) const;

    // The device the port was opened on, or would open now.
    std::string DeviceName() const;
    // Why the open port went away, in the system's or the far end's words; empty when it did not.
    const std::string& LostDetail() const { return lostDetail_; }
    // What messages call the port instead of its Com number and device: the path a user named
    // on the command line, which is no Com number of the list.
    void CallIt(std::string name) { name_ = std::move(name); }

signals:
    void BytesArrived();
    // The device went away (or the connection dropped) and the port was closed; queued like
    // BytesArrived.
    void PortLost(const QString& description);

private:
    std::unique_ptr<PortTransport> TransportFor(const std::string& device);
    void ReportLost(CommFault fault, const std::string& detail);
    void NotifyArrival();
    void RequireOpen() const;
    std::string Label() const;

    SettingsStore& store_;
    std::unique_ptr<PortTransport> transport_;  // from Open to Close, lost or not
    int number_ = 0;
    std::string name_;
    std::string device_;  // resolved when the port opens
    LineSettings line_;
    Handshake handshake_ = Handshake::None;
    ControlLineLevels levels_;

    bool lost_ = false;  // the port closed itself when its device went away
    CommFault lostFault_ = CommFault::DeviceLost;
    std::string lostDetail_;
    bool arrivalQueued_ = false;
};

}  // namespace cat
