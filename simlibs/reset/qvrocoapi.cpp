// The simulated reset library "qvrocoapi". Failures are reported into the caller's qverr::Status
// through its binary layout (abi/qverrStatus.h) with a small payload naming the function.
//
// Session creation names no board, so only a fault injected for "qvrocoapi_createSession" makes it
// fail; it returns a session even then, which the caller destroys like any other. A reset reports
// the board state's "reset" code ({"reset": {"initiateDeviceReset": code}}).
#include "abi/boardLibraries.h"
#include "simlibs/boardSim.h"

#include <mutex>
#include <set>

namespace {

using boardlib::ResetSession;

// Sessions are numbers, never addresses, so that a stale or foreign handle is recognised rather
// than followed.
class Sessions {
public:
    ResetSession open() {
        const std::lock_guard<std::mutex> guard(mutex_);
        const std::uintptr_t session = next_++;
        open_.insert(session);
        return reinterpret_cast<ResetSession>(session);
    }
    bool isOpen(ResetSession session) const {
        const std::lock_guard<std::mutex> guard(mutex_);
        return open_.count(reinterpret_cast<std::uintptr_t>(session)) != 0;
    }
    void close(ResetSession session) {
        const std::lock_guard<std::mutex> guard(mutex_);
        open_.erase(reinterpret_cast<std::uintptr_t>(session));
    }
    std::uint32_t openCount() const {
        const std::lock_guard<std::mutex> guard(mutex_);
        return static_cast<std::uint32_t>(open_.size());
    }

private:
    mutable std::mutex mutex_;
    std::uintptr_t next_ = 1;
    std::set<std::uintptr_t> open_;
};

Sessions sessions;

// Sets the code by the status rules and, when accepted, the payload
// {"component":"qvrocoapi","function":<function>}, if the status's buffer can be grown for it.
void report(qverr::Status* status, std::int32_t code, const char* function) {
    if (status == nullptr) {
        return;
    }
    qverr::StatusLayout& layout = qverr::layoutOf(*status);
    if (!qverr::acceptsStatusCode(layout.code, code)) {
        return;
    }
    layout.code = code;
    const std::string text = std::string("{\"component\":\"qvrocoapi\",\"function\":\"") + function + "\"}";
    const auto needed = static_cast<std::uint32_t>(text.size() + 2); // the text, its NUL, the sentinel
    if (layout.reserve != nullptr && layout.reserve(*status, needed)) {
        std::memset(layout.payload, 0, layout.capacity);
        std::memcpy(layout.payload, text.data(), text.size());
        layout.payload[layout.capacity - 1] = qverr::kPayloadSentinel;
    }
}

std::int32_t resetCode(ResetSession session, const char* itemName) {
    if (!sessions.isOpen(session)) {
        return boardsim::kInvalidParameter;
    }
    const std::optional<sim::BoardState> state = sim::readBoardState(itemName);
    return state ? state->reset : boardsim::kDeviceNotFound;
}

} // namespace

// Argument offered to injected faults: none ("").
QV_SIMLIB_EXPORT ResetSession qvrocoapi_createSession(qverr::Status* status) {
    sim::logCall(boardlib::kCreateResetSessionName);
    const ResetSession session = sessions.open();
    if (const std::int32_t fault = boardsim::injectedFault(boardlib::kCreateResetSessionName, "")) {
        report(status, fault, boardlib::kCreateResetSessionName);
    }
    return session;
}

// Argument offered to injected faults: the item name.
QV_SIMLIB_EXPORT void qvrocoapi_initiateDeviceReset(ResetSession session, const char* itemName,
                                                    qverr::Status* status) {
    const std::int32_t code = boardsim::answer(boardlib::kInitiateDeviceResetName, itemName,
                                               boardsim::kMaxItemNameLength,
                                               [&] { return resetCode(session, itemName); });
    report(status, code, boardlib::kInitiateDeviceResetName);
}

QV_SIMLIB_EXPORT void qvrocoapi_destroySession(ResetSession session) {
    sim::logCall(boardlib::kDestroyResetSessionName);
    sessions.close(session);
}

// Only the simulation has this: sessions open now, so a test can see that each one was destroyed.
QV_SIMLIB_EXPORT std::uint32_t qvrocoapiSim_openSessionCount() {
    return sessions.openCount();
}

static_assert(std::is_same_v<decltype(&qvrocoapi_createSession), boardlib::CreateResetSessionFunction> &&
              std::is_same_v<decltype(&qvrocoapi_initiateDeviceReset), boardlib::InitiateDeviceResetFunction> &&
              std::is_same_v<decltype(&qvrocoapi_destroySession), boardlib::DestroyResetSessionFunction>);
