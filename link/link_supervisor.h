#pragma once

// The link across the life of its device. When the open link's device vanishes (a loose cable,
// RF in the USB, a radio switched off and on) the port is closed at once and "Open" stays
// ticked; when the same device comes back the link reopens with the same settings. "Open"
// ticked while the device is not there waits for it the same way. A state machine without Qt:
// the shell opens, closes and watches, and reports what it saw.
//
//   Closed --tick--> Open                 (or WaitingForDevice when the device is absent)
//   Open --device lost--> WaitingForDevice --device appeared--> Open
//   any --untick--> Closed

#include <string>

namespace cat {

enum class LinkState { Closed, Open, WaitingForDevice };

enum class WaitReason {
    None,
    AbsentAtOpen,  // ticked while the device was not there, or the far end did not answer
    Lost,          // the open link's device went away, or its connection dropped
};

struct LinkStatus {
    LinkState state = LinkState::Closed;
    std::string device;  // what the link opens: "/dev/serial/by-id/usb-...", "rfc2217://pi:2000"
    WaitReason reason = WaitReason::None;
    std::string detail;   // while waiting: the last failure's description, in the operator's words
    int errorNumber = 0;  // and its number, 0 when the wait began with a loss
};

// What the supervisor asks of the shell.
class LinkShell {
public:
    virtual ~LinkShell() = default;
    // Opens the link with the choices of the last tick (OpenLink); raises CatError.
    virtual void OpenPort() = 0;
    virtual void ClosePort() = 0;
    // What the link opens, as the status names it.
    virtual std::string Device() = 0;
    // Watch `device` while the link is open or waiting: report DeviceLost when it goes away and
    // DeviceAppeared when it is there again. Watching never polls.
    virtual void Watch(const std::string& device) = 0;
    virtual void StopWatching() = 0;
    virtual void StatusChanged(const LinkStatus& status) = 0;
};

class LinkSupervisor {
public:
    explicit LinkSupervisor(LinkShell& shell) : shell_(shell) {}

    // "Open" ticked: opens the link, or waits when the device is absent. Any other failure is
    // raised for the caller to report, and the link stays closed.
    void Ticked();
    // "Open" unticked: the port closes and waiting stops.
    void Unticked();
    // The open link's device went away; `detail` says how, in the operator's words.
    void DeviceLost(const std::string& detail);
    // The awaited device is there: the link reopens. When that fails the wait goes on (the
    // failure becomes the detail); true when the link is open now.
    bool DeviceAppeared();

    const LinkStatus& Status() const { return status_; }

private:
    void Enter(LinkState state, WaitReason reason, std::string detail, int errorNumber = 0);

    LinkShell& shell_;
    LinkStatus status_;
};

}  // namespace cat
