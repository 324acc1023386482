// IUnknown, the root of every host interface. Windows supplies it; elsewhere it is declared here
// with the same three slots, so that every interface table keeps the layout the host expects.
#pragma once

#include "hwsys/hwsys_base.h"

#ifdef _WIN32
#include <unknwn.h>
#else

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

#endif
