// The simulated PXI services library. Locations come from the current machine's "pxi" table;
// faults injected into its three calls report their "error" as the status code.
#include "abi/qvpxisvc.h"
#include "simlibs/pxi/qvpxisvc_sessions.h"

#include "platform/sim/device/machine.h"
#include "platform/sim/machine_access.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace {

using tStatus = nQVOSALS100::tStatusRecord;

constexpr const char* kComponent = "qvpxisvc";
constexpr std::int32_t kInvalidParameter = -52005; // null result, unknown attribute
constexpr std::int32_t kDeviceNotFound = -52006;   // no PXI location for bus, device, function
constexpr std::int32_t kNoSession = -52010;        // read or close without an open session

std::atomic<std::uint32_t> openSessions{0};
std::atomic<std::uint32_t> sessionsOpened{0};
// Sessions belong to the thread that opened them, as every call of a host request runs on one
// thread. They are kept in a table rather than in thread-local storage: the library is loaded at run
// time, and LeakSanitizer cannot scan the thread-local blocks of such libraries.
class ThreadSessions {
public:
    void open() {
        const std::lock_guard<std::mutex> guard(mutex_);
        ++sessions_[std::this_thread::get_id()];
    }
    bool isOpen() const {
        const std::lock_guard<std::mutex> guard(mutex_);
        return sessions_.count(std::this_thread::get_id()) != 0;
    }
    // Ends one session of the calling thread; false when it has none.
    bool close() {
        const std::lock_guard<std::mutex> guard(mutex_);
        const auto found = sessions_.find(std::this_thread::get_id());
        if (found == sessions_.end()) {
            return false;
        }
        if (--found->second == 0) {
            sessions_.erase(found);
        }
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::thread::id, std::uint32_t> sessions_;
};

ThreadSessions threadSessions;

bool holdsError(const tStatus* status) {
    return status == nullptr || status->code < 0;
}

// An error replaces a warning; the diagnostics go only into a full-sized record.
void report(tStatus* status, std::int32_t code, std::uint32_t line) {
    status->code = code;
    if (!status->isFull()) {
        return;
    }
    std::memset(status->component, 0, sizeof status->component);
    std::strncpy(status->component, kComponent, sizeof status->component - 1);
    std::memset(status->file, 0, sizeof status->file);
    std::strncpy(status->file, __FILE__, sizeof status->file - 1);
    status->line = line;
}

bool reportInjectedFault(const char* call, const std::string& argument, tStatus* status, std::uint32_t line) {
    DWORD code = 0;
    if (!winsim::takeInjectedFault(call, argument, &code)) {
        return false;
    }
    report(status, static_cast<std::int32_t>(code), line);
    return true;
}

} // namespace

// Argument offered to injected faults: none ("").
extern "C" void nQVPXIINIT100_openPXISession(tStatus* status) {
    if (holdsError(status) || reportInjectedFault("nQVPXIINIT100_openPXISession", "", status, __LINE__)) {
        return;
    }
    threadSessions.open();
    ++openSessions;
    ++sessionsOpened;
}

// Argument offered to injected faults: the attribute number in decimal ("0", "3").
extern "C" void nQVPXIINIT100_getDeviceU32Attribute(std::uint32_t bus, std::uint32_t device,
                                                    std::uint32_t function, std::uint32_t attribute,
                                                    std::uint32_t* value, tStatus* status) {
    if (holdsError(status)) {
        return;
    }
    if (!threadSessions.isOpen()) {
        report(status, kNoSession, __LINE__);
        return;
    }
    if (value == nullptr || (attribute != nQVPXIINIT100::kAttributeChassisNumber &&
                             attribute != nQVPXIINIT100::kAttributeSlotNumber)) {
        report(status, kInvalidParameter, __LINE__);
        return;
    }
    if (reportInjectedFault("nQVPXIINIT100_getDeviceU32Attribute", std::to_string(attribute), status,
                            __LINE__)) {
        return;
    }
    const auto location = sim::findPxiLocation(bus, device, function);
    if (!location) {
        report(status, kDeviceNotFound, __LINE__);
        return;
    }
    *value = attribute == nQVPXIINIT100::kAttributeChassisNumber ? location->chassis : location->slot;
}

// Argument offered to injected faults: none (""). The session ends even when the fault fires.
extern "C" void nQVPXIINIT100_closePXISession(tStatus* status) {
    if (!threadSessions.close()) {
        if (!holdsError(status)) {
            report(status, kNoSession, __LINE__);
        }
        return;
    }
    --openSessions;
    if (!holdsError(status)) {
        reportInjectedFault("nQVPXIINIT100_closePXISession", "", status, __LINE__);
    }
}

extern "C" std::uint32_t qvpxisvcSim_openSessionCount() {
    return openSessions.load();
}

extern "C" std::uint32_t qvpxisvcSim_sessionsOpened() {
    return sessionsOpened.load();
}
