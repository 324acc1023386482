// Fails the Nth allocation that the loaded module makes with one allocator: operator new (replaced
// in this program), cJSON's allocator (its hooks, installed by this program), COM task memory or
// SysAllocString (the simulated Windows' plans). Allocations made inside the simulated Windows or
// the simulated libraries do not count: Windows reports its own shortage as a Win32 error, which
// the system-call loop covers.
#pragma once

#include <string>

enum class Allocator { heap, json, taskMemory, bstr };

std::string nameOf(Allocator allocator);

// Names the loaded module by an address inside it; its frames are what count as "the module's".
void setModuleAddress(const void* addressInModule);

class ModuleAllocationFailure {
public:
    // The `nth` (from 1) allocation of the module with `allocator` on this thread fails.
    ModuleAllocationFailure(Allocator allocator, unsigned nth);
    ~ModuleAllocationFailure();
    ModuleAllocationFailure(const ModuleAllocationFailure&) = delete;
    ModuleAllocationFailure& operator=(const ModuleAllocationFailure&) = delete;

    bool fired() const;

private:
    Allocator allocator_;
};
