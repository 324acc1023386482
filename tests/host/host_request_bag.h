// A host's own request bag, as a host hands it to ValidateResourceProperties and
// SaveResourceProperties: strings and time stamps under tags, and the changed tags in the order the
// host wrote them (the expert must follow the bag's order, whatever it is). Only what a request
// bag is asked for is answered; the rest is E_NOTIMPL.
#pragma once

#include "hwsys/hwsys.h"
#include "platform/win32.h"

#include "host_module.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace hosttest {

class TagList final : public IhwSysEnumPropertyTag {
public:
    explicit TagList(std::vector<ULONG> tags) : tags_(std::move(tags)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, ULONG* tags, ULONG* fetched) override {
        ULONG copied = 0;
        for (; copied < count && next_ < tags_.size(); ++copied) {
            tags[copied] = tags_[next_++];
        }
        if (fetched != nullptr) {
            *fetched = copied;
        }
        return copied == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IhwSysEnumPropertyTag**) override { return E_NOTIMPL; }

private:
    std::vector<ULONG> tags_;
    std::size_t next_ = 0;
    ULONG references_ = 1;
};

// Lives on the test's stack: references are counted only to be checked.
class HostRequestBag final : public IhwSysPropertyBag3 {
public:
    using Value = std::variant<std::u16string, hwSysAttrTimestampUTC>;

    // A value the host already had; not marked as changed.
    void hold(ULONG tag, Value value) { values_[tag] = std::move(value); }
    // A value the user changed.
    void change(ULONG tag, Value value) {
        hold(tag, std::move(value));
        markChanged(tag);
    }
    const Value* find(ULONG tag) const {
        const auto found = values_.find(tag);
        return found == values_.end() ? nullptr : &found->second;
    }
    ULONG references() const { return references_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IhwSysPropertyBag || iid == IID_IhwSysPropertyBag2 ||
            iid == IID_IhwSysPropertyBag3) {
            *object = static_cast<IhwSysPropertyBag3*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE HasProperty(ULONG tag) override {
        return find(tag) != nullptr ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE SetString(ULONG tag, LPCWSTR value) override {
        if (const Value* held = find(tag);
            held != nullptr && !std::holds_alternative<std::u16string>(*held)) {
            return HW_E_PROPERTY_TYPE_MISMATCH;
        }
        change(tag, value != nullptr ? fromOle(value) : std::u16string());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetString(ULONG tag, BSTR* value) override {
        *value = nullptr;
        const std::u16string* text = nullptr;
        const HRESULT found = get(tag, &text);
        if (SUCCEEDED(found)) {
            *value = SysAllocString(ole(*text));
        }
        // A null BSTR would be the empty text: a host out of memory says so.
        return SUCCEEDED(found) && *value == nullptr ? E_OUTOFMEMORY : found;
    }
    HRESULT STDMETHODCALLTYPE GetTimestamp(ULONG tag, hwSysAttrTimestampUTC* value) override {
        const hwSysAttrTimestampUTC* time = nullptr;
        const HRESULT found = get(tag, &time);
        if (SUCCEEDED(found)) {
            *value = *time;
        }
        return found;
    }
    HRESULT STDMETHODCALLTYPE EnumChangedTags(IhwSysEnumPropertyTag** tags) override {
        *tags = nullptr;
        if (changed_.empty()) {
            return S_FALSE;
        }
        *tags = new TagList(changed_);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE EnumPropertyTags(IhwSysEnumPropertyTag**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyType(ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveProperty(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveAllProperties() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBool(ULONG, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetLong(ULONG, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetULong(ULONG, ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDouble(ULONG, double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetGuid(ULONG, const GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDateTime(ULONG, hwSysAttrDateTime) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBool(ULONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLong(ULONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetULong(ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDouble(ULONG, double*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetGuid(ULONG, GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDateTime(ULONG, hwSysAttrDateTime*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CloneBag(IhwSysPropertyBag**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ClearChangedTags() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTimestamp(ULONG, const hwSysAttrTimestampUTC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockBag() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockBag() override { return E_NOTIMPL; }

private:
    template <class T> HRESULT get(ULONG tag, const T** value) const {
        const Value* held = find(tag);
        if (held == nullptr) {
            return HW_E_PROPERTY_NOT_FOUND;
        }
        *value = std::get_if<T>(held);
        return *value != nullptr ? S_OK : HW_E_PROPERTY_TYPE_MISMATCH;
    }
    void markChanged(ULONG tag) {
        if (std::find(changed_.begin(), changed_.end(), tag) == changed_.end()) {
            changed_.push_back(tag);
        }
    }

    std::map<ULONG, Value> values_;
    std::vector<ULONG> changed_;
    ULONG references_ = 1;
};

} // namespace hosttest
