// The module as a host sees it: loaded by name from the program's folder, asked for one expert.
#pragma once

#include "com/com_ptr.h"
#include "hwsys/hwsys.h"
#include "support/unique_any.h"

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

    IhwSysExpert2* expert() const { return expert_.get(); }

private:
    // Declared first, destroyed last: the expert's code lives in the module, so the expert is
    // released before the module is unloaded.
    qv::unique_hmodule module_;
    qv::com_ptr<IhwSysExpert2> expert_;
};

} // namespace hwconfig
