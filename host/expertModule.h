// The module as a host sees it: loaded by name from the program's folder, asked for one expert.
#pragma once

#include "host/hostError.h"
#include "host/hostRefs.h"
#include "hwsys/hwsys.h"

namespace hwconfig {

class ExpertModule {
public:
    // Loads the module and creates one expert; throws HostError.
    ExpertModule();
    ~ExpertModule();
    ExpertModule(const ExpertModule&) = delete;
    ExpertModule& operator=(const ExpertModule&) = delete;

    IhwSysExpert2* expert() const { return expert_.get(); }

private:
    HMODULE module_ = nullptr;
    InterfaceRef<IhwSysExpert2> expert_;
};

} // namespace hwconfig
