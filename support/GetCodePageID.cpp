#include "support/AnsiToWide.h"

#include "support/BrixException.h"

#include <cstring>

namespace qv::brix {

UINT _GetCodePageID(const char* localeName) {
    const char* name = localeName == nullptr ? "" : localeName;
    if (name[0] == '\0') {
        return CP_ACP;
    }
    if (std::strcmp(name, "US-ASCII") == 0) {
        return 20127;
    }
    if (std::strcmp(name, "cp932") == 0) {
        return 932;
    }
    throw exception::InvalidLocale(__FILE__, __LINE__);
}

} // namespace qv::brix
