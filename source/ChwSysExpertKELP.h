// The expert: the object the host receives from createSysApiExpert.
//
// It has no data of its own; every operation builds what it needs and releases it before returning,
// so any number of experts may exist at once without interacting.
#pragma once

#include "hwsys/hwsys_expert.h"
#include "com/CQVComObject.h"

namespace qvkelpsysapiexpert {

// The texts by which the expert names itself; the identifier is also every board's expert-identifier
// property.
inline constexpr const OLECHAR* kExpertName = OLESTR("QV-KELP");
// The version is the product's, from the build (CMakeLists.txt); OLESTR pastes its argument, so the
// build's text is expanded one level above it.
#define QVKELP_WIDE_TEXT(text) OLESTR(text)
inline constexpr const OLECHAR* kExpertVersion = QVKELP_WIDE_TEXT(QVKELP_VERSION_TEXT);
inline constexpr const OLECHAR* kExpertIdentifier = OLESTR("qv-kelp");

class ChwSysExpertKELP : public virtual CQVComObjectRootEx<CQVComMultiThreadModelNoCS>,
                         public IhwSysExpert2,
                         public IhwSysExpertPlugPlay,
                         public IhwSysExpertDiagnostic {
public:
    using tInterfaceMapOwner = ChwSysExpertKELP;
    static const tQVInterfaceEntry* interfaceMap();

    // IhwSysExpertInfo
    HRESULT STDMETHODCALLTYPE GetExpertGuid(GUID* guid) override;
    HRESULT STDMETHODCALLTYPE GetExpertName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE GetExpertVersion(BSTR* version) override;
    HRESULT STDMETHODCALLTYPE GetExpertIdentifier(BSTR* identifier) override;
    HRESULT STDMETHODCALLTYPE ReservedOperation1() override;
    HRESULT STDMETHODCALLTYPE ReservedOperation2() override;

    // IhwSysExpert
    HRESULT STDMETHODCALLTYPE ReportResources(IhwSysHostCollection* collection) override;
    HRESULT STDMETHODCALLTYPE EnumerateItemNames(IhwSysEnumStringList** itemNames) override;
    HRESULT STDMETHODCALLTYPE GetResourceProperties(LPCWSTR itemName, IhwSysPropertyBag** bag) override;
    HRESULT STDMETHODCALLTYPE CheckRequestFlag(LPCWSTR itemName, ULONG flag) override;
    // Stands in the tables of IhwSysExpert, IhwSysExpertPlugPlay and IhwSysExpertDiagnostic.
    HRESULT STDMETHODCALLTYPE NotImplementedOperation() override;

    // IhwSysExpert2
    HRESULT STDMETHODCALLTYPE RenameResource(LPCWSTR itemName, LPCWSTR newAlias, ULONG flags,
                                             LONG* aliasInUse, void** reserved) override;
    HRESULT STDMETHODCALLTYPE ValidateResourceProperties(LPCWSTR itemName, IhwSysPropertyBag* bag,
                                                         ULONG_PTR* reserved,
                                                         IhwSysEnumPropertyTag** acceptedTags) override;
    HRESULT STDMETHODCALLTYPE SaveResourceProperties(LPCWSTR itemName, IhwSysPropertyBag* bag,
                                                     ULONG* reserved) override;

    // IhwSysExpertDiagnostic
    HRESULT STDMETHODCALLTYPE SelfTestResource(LPCWSTR itemName, ULONG testMode, BSTR* errorText) override;
    HRESULT STDMETHODCALLTYPE SelfCalibrateResource(LPCWSTR itemName, BSTR* errorText) override;
};

// What createSysApiExpert does: a new expert with one reference, handed out through its first
// interface pointer.
HRESULT createExpert(IhwSysExpert2** expert) noexcept;

} // namespace qvkelpsysapiexpert
