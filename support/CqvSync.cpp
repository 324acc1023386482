#include "support/CqvSync.h"

#include <memory>

namespace Tessel {

CqvSyncObject::~CqvSyncObject() = default;

CqvCS::CqvCS() {
    auto created = std::make_unique<CRITICAL_SECTION>();
    InitializeCriticalSection(created.get());
    section = created.release();
}

CqvCS::~CqvCS() {
    DeleteCriticalSection(section);
    delete section;
}

bool CqvCS::lock(DWORD) {
    EnterCriticalSection(section);
    return true;
}

void CqvCS::unlock() {
    LeaveCriticalSection(section);
}

} // namespace Tessel
