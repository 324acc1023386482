// The expert's host interfaces and the host's collection of property bags.
#pragma once

#include "hwsys/hwsys_enumerators.h"
#include "hwsys/hwsys_propertybag.h"
#include "hwsys/hwsys_unknown.h"

inline constexpr IID IID_IhwSysExpertInfo = {
    0x9C257614, 0x172D, 0x4D5D, {0x81, 0xBB, 0x3D, 0x4F, 0x72, 0xBD, 0x30, 0xA4}};
inline constexpr IID IID_IhwSysExpert = {
    0xB259235B, 0x6978, 0x4402, {0x89, 0x10, 0xE1, 0x9E, 0x12, 0x95, 0xF3, 0x26}};
inline constexpr IID IID_IhwSysExpert2 = {
    0xCF3357AD, 0x3023, 0x4121, {0xA6, 0x0E, 0x2F, 0xF9, 0xB3, 0xA8, 0x7B, 0xEE}};
inline constexpr IID IID_IhwSysExpertPlugPlay = {
    0xC20E7758, 0x0346, 0x431A, {0xA4, 0x11, 0xBF, 0x7C, 0x1E, 0x73, 0x6A, 0x60}};
inline constexpr IID IID_IhwSysExpertDiagnostic = {
    0x8862BB0E, 0x7B94, 0x4E93, {0x82, 0xEE, 0xB6, 0xCF, 0x15, 0x8A, 0x65, 0x18}};

// The host's object that collects the property bags of ReportResources. Experts call only
// AddToHostCollection; the two operations before it belong to the host.
struct IhwSysHostCollection : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE HostOperation1() = 0;
    virtual HRESULT STDMETHODCALLTYPE HostOperation2() = 0;
    virtual HRESULT STDMETHODCALLTYPE AddToHostCollection(IhwSysPropertyBag* bag) = 0;
};

// Slots 3 to 8: who the expert is.
struct IhwSysExpertInfo : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetExpertGuid(GUID* guid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExpertName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExpertVersion(BSTR* version) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExpertIdentifier(BSTR* identifier) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReservedOperation1() = 0;
    virtual HRESULT STDMETHODCALLTYPE ReservedOperation2() = 0;
};

// Slots 9 to 13: the boards the expert manages and their properties.
struct IhwSysExpert : public IhwSysExpertInfo {
    virtual HRESULT STDMETHODCALLTYPE ReportResources(IhwSysHostCollection* collection) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumerateItemNames(IhwSysEnumStringList** itemNames) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetResourceProperties(LPCWSTR itemName, IhwSysPropertyBag** bag) = 0;
    virtual HRESULT STDMETHODCALLTYPE CheckRequestFlag(LPCWSTR itemName, ULONG flag) = 0;
    virtual HRESULT STDMETHODCALLTYPE NotImplementedOperation() = 0;
};

// Slots 14 to 16: changes the user makes to a board.
struct IhwSysExpert2 : public IhwSysExpert {
    // flags bit 0: store the alias even if another board already uses it. reserved is set to null.
    virtual HRESULT STDMETHODCALLTYPE RenameResource(LPCWSTR itemName, LPCWSTR newAlias, ULONG flags,
                                                     LONG* aliasInUse, void** reserved) = 0;
    // reserved is set to 0; acceptedTags receives the changed tags that passed the checks.
    virtual HRESULT STDMETHODCALLTYPE ValidateResourceProperties(LPCWSTR itemName, IhwSysPropertyBag* bag,
                                                                 ULONG_PTR* reserved,
                                                                 IhwSysEnumPropertyTag** acceptedTags) = 0;
    // reserved is set to 0.
    virtual HRESULT STDMETHODCALLTYPE SaveResourceProperties(LPCWSTR itemName, IhwSysPropertyBag* bag,
                                                             ULONG* reserved) = 0;
};

struct IhwSysExpertPlugPlay : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE NotImplementedOperation() = 0;
};

// Maintenance of one board. errorText receives the failing status code as text.
struct IhwSysExpertDiagnostic : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE NotImplementedOperation() = 0;
    virtual HRESULT STDMETHODCALLTYPE SelfTestResource(LPCWSTR itemName, ULONG testMode, BSTR* errorText) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelfCalibrateResource(LPCWSTR itemName, BSTR* errorText) = 0;
};

// The module's one export.
extern "C" HRESULT STDMETHODCALLTYPE createSysApiExpert(IhwSysExpert2** expert);
using createSysApiExpertFunction = HRESULT(STDMETHODCALLTYPE*)(IhwSysExpert2** expert);
