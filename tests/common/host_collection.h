// A host's collection of property bags as tests and benchmarks make one: an object of the caller's
// own, never reference-counted, that answers only AddToHostCollection.
#pragma once

#include "hwsys/hwsys_expert.h"

struct TestHostCollection : public IhwSysHostCollection {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE HostOperation1() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE HostOperation2() override { return E_NOTIMPL; }
};
