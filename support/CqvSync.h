// The module's locks for objects shared between threads.
#pragma once

#include "platform/win32.h"

namespace Tessel {

class CqvSyncObject {
public:
    CqvSyncObject() = default;
    CqvSyncObject(const CqvSyncObject&) = delete;
    CqvSyncObject& operator=(const CqvSyncObject&) = delete;
    virtual ~CqvSyncObject();

    // Waits at most `timeoutMs` milliseconds (INFINITE: without limit); true once the lock is held.
    virtual bool lock(DWORD timeoutMs) = 0;
    virtual void unlock() = 0;
};

// A critical section: recursive for the owning thread; it always waits until it gets the lock.
class CqvCS final : public CqvSyncObject {
public:
    CqvCS();
    ~CqvCS() override;

    bool lock(DWORD timeoutMs) override;
    void unlock() override;

private:
    CRITICAL_SECTION* section;
};

} // namespace Tessel
