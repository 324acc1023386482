#include "module_allocations.h"

#include "common/replaced_operator_new.h"
#include "platform/sim/runtime/memory_hooks.h"
#include "platform/sim/runtime/test_hooks.h"

#include <cjson/cJSON.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cstdlib>
#include <cstring>

namespace {

const void* moduleBase = nullptr;

// The plan of this thread for the heap and cJSON: allocations of the module still to let through
// (the failing one is the next after them), or -1 when nothing is planned.
thread_local long heapCountdown = -1;
thread_local long jsonCountdown = -1;
thread_local bool heapFired = false;
thread_local bool jsonFired = false;
thread_local bool walkingStack = false;

enum class Caller { module, simulation, other };

Caller classify(void* frame) {
    Dl_info info{};
    if (dladdr(frame, &info) == 0 || info.dli_fname == nullptr) {
        return Caller::other;
    }
    if (info.dli_fbase == moduleBase) {
        return Caller::module;
    }
    // The simulated Windows and the simulated libraries live beside the module.
    const char* name = std::strrchr(info.dli_fname, '/');
    name = name == nullptr ? info.dli_fname : name + 1;
    const bool ours = std::strncmp(name, "libqv", 5) == 0;
    return ours ? Caller::simulation : Caller::other;
}

// Whether the allocation being made now comes from the module's own code: the innermost frame
// that belongs to the module or to the simulation decides.
bool calledByModule() {
    if (walkingStack || moduleBase == nullptr) {
        return false;
    }
    walkingStack = true;
    void* frames[64];
    const int depth = backtrace(frames, 64);
    Caller caller = Caller::other;
    for (int i = 1; i < depth && caller == Caller::other; ++i) {
        caller = classify(frames[i]);
    }
    walkingStack = false;
    return caller == Caller::module;
}

// True when this allocation is the planned failure.
bool mustFail(long& countdown, bool& fired) {
    if (countdown < 0 || !calledByModule()) {
        return false;
    }
    if (countdown-- > 0) {
        return false;
    }
    fired = true;
    return true;
}

void* jsonAllocate(std::size_t size) {
    return mustFail(jsonCountdown, jsonFired) ? nullptr : std::malloc(size);
}

void jsonFree(void* memory) {
    std::free(memory);
}

} // namespace

std::string nameOf(Allocator allocator) {
    switch (allocator) {
    case Allocator::heap: return "operator new";
    case Allocator::json: return "cJSON";
    case Allocator::taskMemory: return "CoTaskMemAlloc";
    default: return "SysAllocString";
    }
}

void setModuleAddress(const void* addressInModule) {
    Dl_info info{};
    moduleBase = dladdr(addressInModule, &info) != 0 ? info.dli_fbase : nullptr;
    void* warmUp[4];
    backtrace(warmUp, 4); // its first call loads the unwinder, which allocates
    cJSON_Hooks hooks{jsonAllocate, jsonFree};
    cJSON_InitHooks(&hooks);
}

ModuleAllocationFailure::ModuleAllocationFailure(Allocator allocator, unsigned nth) : allocator_(allocator) {
    heapFired = jsonFired = false;
    switch (allocator) {
    case Allocator::heap: heapCountdown = nth - 1; break;
    case Allocator::json: jsonCountdown = nth - 1; break;
    case Allocator::taskMemory: winsimFailTaskMemory(nth - 1, 1); break;
    case Allocator::bstr: winsim_failSysAllocString(nth - 1, 1); break;
    }
}

ModuleAllocationFailure::~ModuleAllocationFailure() {
    heapCountdown = jsonCountdown = -1;
    winsimClearTaskMemoryFaults();
    winsim_failSysAllocString(0, 0);
}

bool ModuleAllocationFailure::fired() const {
    switch (allocator_) {
    case Allocator::heap: return heapFired;
    case Allocator::json: return jsonFired;
    case Allocator::taskMemory: return winsimPendingTaskMemoryFailures() == 0;
    default: return winsim_pendingSysAllocStringFailures() == 0;
    }
}

void* allocateAsPlanned(std::size_t size) noexcept {
    if (mustFail(heapCountdown, heapFired)) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}
