// Kernel objects of the simulated Windows: events and open files. Their handles come from the
// one handle sequence of the simulation, are looked up (and so validated) on every use, and are
// gone once closed, so a stale handle fails like any invalid one.
#pragma once

#include "platform/sim/win32_types.h"

#include <memory>

namespace winsim {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Runs when the object's handle is closed, before the last reference may go.
    virtual void onHandleClosed() {}
};

// A new handle for the object.
HANDLE insertHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null when the handle is invalid or closed.
std::shared_ptr<KernelObject> lookupHandle(HANDLE handle);

// The object behind a handle when it is of the wanted kind, else null (Windows reports a handle
// of the wrong kind as an invalid handle).
template <typename Object> std::shared_ptr<Object> lookupHandleOf(HANDLE handle) {
    return std::dynamic_pointer_cast<Object>(lookupHandle(handle));
}

// Removes a handle; false when it is not a valid handle.
bool closeHandle(HANDLE handle);

} // namespace winsim
