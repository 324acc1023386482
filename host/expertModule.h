// The module as a host sees it: loaded by name from the program's folder, asked for one expert.
#pragma once

#include "host/hostRefs.h"
#include "hwsys/hwsys.h"

#include <stdexcept>
#include <string>

namespace hwconfig {

// A failure the user can act on; the message says what happened.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "0x8000FFFF"
std::string formatHResult(HRESULT result);

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
