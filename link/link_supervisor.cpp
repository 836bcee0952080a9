#include "link/link_supervisor.h"

#include <exception>
#include <utility>

#include "core/cat_error.h"
#include "core/comm_errors.h"

namespace cat {

void LinkSupervisor::Enter(LinkState state, WaitReason reason, std::string detail,
                           int errorNumber) {
    status_.state = state;
    status_.reason = reason;
    status_.detail = std::move(detail);
    status_.errorNumber = errorNumber;
    shell_.StatusChanged(status_);
}

void LinkSupervisor::Ticked() {
    if (status_.state == LinkState::Open) return;
    // The open chooses the port, so the device is known once it has been tried.
    try {
        shell_.OpenPort();
    } catch (const CatError& e) {
        status_.device = shell_.Device();
        if (!MeansAbsent(e.Number())) {
            shell_.StopWatching();
            Enter(LinkState::Closed, WaitReason::None, {});
            throw;
        }
        shell_.Watch(status_.device);
        Enter(LinkState::WaitingForDevice, WaitReason::AbsentAtOpen, e.Description(), e.Number());
        return;
    }
    status_.device = shell_.Device();
    shell_.Watch(status_.device);
    Enter(LinkState::Open, WaitReason::None, {});
}

void LinkSupervisor::Unticked() {
    shell_.StopWatching();
    shell_.ClosePort();
    Enter(LinkState::Closed, WaitReason::None, {});
}

void LinkSupervisor::DeviceLost(const std::string& detail) {
    if (status_.state == LinkState::Closed) return;
    if (status_.state == LinkState::WaitingForDevice) {
        status_.detail = detail;
        return;
    }
    // The port may have closed itself already; closing again is harmless and makes sure no
    // error loop follows on a device that is half gone.
    shell_.ClosePort();
    Enter(LinkState::WaitingForDevice, WaitReason::Lost, detail);
}

bool LinkSupervisor::DeviceAppeared() {
    if (status_.state != LinkState::WaitingForDevice) return status_.state == LinkState::Open;
    try {
        shell_.OpenPort();
    } catch (const CatError& e) {
        status_.detail = e.Description();
        status_.errorNumber = e.Number();
        shell_.StatusChanged(status_);
        return false;
    } catch (const std::exception& e) {
        status_.detail = e.what();
        shell_.StatusChanged(status_);
        return false;
    }
    Enter(LinkState::Open, WaitReason::None, {});
    return true;
}

}  // namespace cat
