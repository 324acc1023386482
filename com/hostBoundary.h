// The one boundary between the host and the module's work.
//
// Every host-interface operation runs its body through runHostOperation, which checks the pointer
// arguments, gives the body one status record, and turns the outcome - the status, the body's own
// result, or whatever the body threw - into the HRESULT the host receives. No exception crosses it.
//
//     HRESULT ChwSysExpertKELP::GetExpertName(BSTR* name) {
//         return runHostOperation([&](nQVOSALS100::tStatus& status) { ... }, outArgument(name));
//     }
#pragma once

#include "platform/win32.h"
#include "support/status.h"
#include "support/thrownHResult.h"

#include <exception>
#include <type_traits>

namespace qvkelpsysapiexpert {

// A pointer through which the operation hands something back: null gives E_POINTER; otherwise the
// value it points to is cleared (null pointer, zero) before any work.
template <class T> struct tOutArgument { T* pointer; };

// A pointer to an object the operation needs but does not write: null gives E_POINTER.
template <class T> struct tRequiredArgument { T* pointer; };

template <class T> tOutArgument<T> outArgument(T* pointer) {
    return {pointer};
}

template <class T> tRequiredArgument<T> requiredArgument(T* pointer) {
    return {pointer};
}

// Raises a failed HRESULT of something the operation called.
inline void throwIfFailedHResult(HRESULT result) {
    if (FAILED(result)) {
        throwHResult(result);
    }
}

namespace boundary {

template <class T> bool prepare(tOutArgument<T> argument) {
    if (argument.pointer == nullptr) {
        return false;
    }
    *argument.pointer = T{};
    return true;
}

template <class T> bool prepare(tRequiredArgument<T> argument) {
    return argument.pointer != nullptr;
}

// A status that holds an error or a warning decides the result; a clean one leaves it to the body.
HRESULT resultOfCompletion(const nQVOSALS100::tStatus& status, HRESULT bodyResult);
HRESULT resultOfException(const nQVOSALS100::tStatus& status, const std::exception& exception);
HRESULT resultOfThrownHResult(const nQVOSALS100::tStatus& status, HRESULT thrown);
HRESULT resultOfUnknownException(nQVOSALS100::tStatus& status);

} // namespace boundary

// What an operation returns when the call's status holds its failure: the HRESULT the boundary
// makes of that status, so that no operation answers success while its failure sits elsewhere.
inline HRESULT failedStatusResult(const nQVOSALS100::tStatus& status) {
    return boundary::resultOfCompletion(status, E_UNEXPECTED);
}

// Checks the pointer arguments in order (an out argument is cleared as soon as it passes), then
// runs body(status). The body may return void (its result is then S_OK) or an HRESULT, which is
// returned when the status ends clean. A status holding an error or warning is mapped by the status
// table; exceptions are mapped by the catch order std::exception, thrown HRESULT, anything else.
template <class Body, class... PointerArguments>
HRESULT runHostOperation(Body&& body, PointerArguments... pointerArguments) noexcept {
    if (!(boundary::prepare(pointerArguments) && ...)) {
        return E_POINTER;
    }
    nQVOSALS100::tStatus status;
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Body&, nQVOSALS100::tStatus&>>) {
            body(status);
            return boundary::resultOfCompletion(status, S_OK);
        } else {
            const HRESULT bodyResult = body(status);
            return boundary::resultOfCompletion(status, bodyResult);
        }
    } catch (const std::exception& exception) {
        return boundary::resultOfException(status, exception);
    } catch (const tThrownHResult& thrown) {
        return boundary::resultOfThrownHResult(status, thrown.result);
    } catch (...) {
        return boundary::resultOfUnknownException(status);
    }
}

} // namespace qvkelpsysapiexpert
