// Sequences of property-bag and tag-enumerator calls, checked against a model made of a std::map
// (tag to type and value), a std::set (changed tags) and, for each live enumerator, the tag list it
// was made over and its position. Enumerators are kept across later bag changes and clones are
// kept after the enumerator they came from is released, so a snapshot that is not one, or a clone
// that borrows a freed list, shows up (under AddressSanitizer) as a fault.
#include "fuzz_input.h"
#include "hwsys/hwsys.h"
#include "platform/win32.h"
#include "propertybag/ChwDynamicPropertyBag.h"
#include "com/com_ptr.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr ULONG kTags[] = {0, 1, 0x1001000, 0x1002000, 0x101F000, 0x1000A000, 0x7FFFFFFF, 0xFFFFFFFF};
constexpr ULONG kTypes = 7; // bool, long, unsigned, double, GUID, string, time stamp

struct Value {
    ULONG type;
    std::string bytes; // the payload as the getter hands it out (strings: the UTF-16 units)
};

struct LiveEnumerator {
    qv::com_ptr<IhwSysEnumPropertyTag> enumerator;
    std::vector<ULONG> tags;
    std::size_t position = 0;
};

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

template <class T> std::string bytesOf(const T& value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

class BagModel {
public:
    explicit BagModel(FuzzInput& input) : input_(input) {
        require(qvkelpsysapiexpert::createPropertyBag(bag_.put()) == S_OK);
    }
    ~BagModel() {
        for (; lockDepth_ > 0; --lockDepth_) {
            require(bag_->UnlockBag() == S_OK);
        }
    }

    void step() {
        const ULONG tag = kTags[input_.byte() % std::size(kTags)];
        switch (input_.byte() % 13) {
        case 0: set(tag, input_.byte() % kTypes + 1); break;
        case 1: get(tag, input_.byte() % kTypes + 1); break;
        case 2:
            require(bag_->HasProperty(tag) == (values_.count(tag) ? S_OK : S_FALSE));
            break;
        case 3: {
            ULONG type = 0;
            const auto found = values_.find(tag);
            require(bag_->GetPropertyType(tag, &type) == (found == values_.end() ? HW_E_PROPERTY_NOT_FOUND : S_OK));
            require(found == values_.end() || type == found->second.type);
            break;
        }
        case 4:
            require(bag_->RemoveProperty(tag) == (values_.erase(tag) ? S_OK : HW_E_PROPERTY_NOT_FOUND));
            changed_.erase(tag);
            break;
        case 5:
            require(bag_->RemoveAllProperties() == S_OK);
            values_.clear();
            changed_.clear();
            break;
        case 6:
            require(bag_->ClearChangedTags() == (changed_.empty() ? S_FALSE : S_OK));
            changed_.clear();
            break;
        case 7: enumerateTags(false); break;
        case 8: enumerateTags(true); break;
        case 9: useEnumerator(); break;
        case 10: cloneBag(); break;
        case 11:
            require(bag_->LockBag() == S_OK);
            ++lockDepth_;
            break;
        default:
            require(bag_->UnlockBag() == (lockDepth_ == 0 ? E_FAIL : S_OK));
            lockDepth_ -= lockDepth_ == 0 ? 0 : 1;
            break;
        }
    }

private:
    void set(ULONG tag, ULONG type) {
        Value value{type, {}};
        HRESULT result = E_UNEXPECTED;
        switch (type) {
        case 1: {
            const LONG v = static_cast<LONG>(input_.word());
            result = bag_->SetBool(tag, v);
            value.bytes = bytesOf(LONG{v != 0});
            break;
        }
        case 2: {
            const LONG v = static_cast<LONG>(input_.word());
            result = bag_->SetLong(tag, v);
            value.bytes = bytesOf(v);
            break;
        }
        case 3: {
            const ULONG v = input_.word();
            result = bag_->SetULong(tag, v);
            value.bytes = bytesOf(v);
            break;
        }
        case 4: {
            const double v = static_cast<std::int32_t>(input_.word()) / 8.0;
            result = bag_->SetDouble(tag, v);
            value.bytes = bytesOf(v);
            break;
        }
        case 5: {
            GUID v{input_.word(), 0, 0, {}};
            result = bag_->SetGuid(tag, &v);
            value.bytes = bytesOf(v);
            break;
        }
        case 6: {
            const std::string narrow = input_.text(16);
            const std::u16string text(narrow.begin(), narrow.end());
            result = bag_->SetString(tag, text.c_str());
            value.bytes.assign(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
            break;
        }
        default: {
            const hwSysAttrTimestampUTC v{input_.word(), static_cast<std::int32_t>(input_.word())};
            result = bag_->SetTimestamp(tag, &v);
            value.bytes = bytesOf(v);
            break;
        }
        }
        const auto found = values_.find(tag);
        if (found != values_.end() && found->second.type != type) {
            require(result == HW_E_PROPERTY_TYPE_MISMATCH);
            return;
        }
        require(result == S_OK);
        values_[tag] = value;
        changed_.insert(tag);
    }

    // What the bag hands out for `type` under `tag`, as bytes, with the getter's result.
    std::string read(IhwSysPropertyBag3* bag, ULONG tag, ULONG type, HRESULT* result) {
        switch (type) {
        case 1: { LONG v = 0; *result = bag->GetBool(tag, &v); return bytesOf(v); }
        case 2: { LONG v = 0; *result = bag->GetLong(tag, &v); return bytesOf(v); }
        case 3: { ULONG v = 0; *result = bag->GetULong(tag, &v); return bytesOf(v); }
        case 4: { double v = 0; *result = bag->GetDouble(tag, &v); return bytesOf(v); }
        case 5: { GUID v{}; *result = bag->GetGuid(tag, &v); return bytesOf(v); }
        case 6: {
            BSTR v = nullptr;
            *result = bag->GetString(tag, &v);
            std::string bytes(reinterpret_cast<const char*>(v), SysStringLen(v) * sizeof(OLECHAR));
            SysFreeString(v);
            return bytes;
        }
        default: { hwSysAttrTimestampUTC v{}; *result = bag->GetTimestamp(tag, &v); return bytesOf(v); }
        }
    }

    void get(ULONG tag, ULONG type) {
        HRESULT result = E_UNEXPECTED;
        const std::string bytes = read(bag_.get(), tag, type, &result);
        const auto found = values_.find(tag);
        if (found == values_.end()) {
            require(result == HW_E_PROPERTY_NOT_FOUND);
        } else if (found->second.type != type) {
            require(result == HW_E_PROPERTY_TYPE_MISMATCH);
        } else {
            require(result == S_OK && bytes == found->second.bytes);
        }
    }

    void enumerateTags(bool changedOnly) {
        std::vector<ULONG> expected;
        if (changedOnly) {
            expected.assign(changed_.begin(), changed_.end());
        } else {
            for (const auto& [tag, value] : values_) {
                expected.push_back(tag);
            }
        }
        IhwSysEnumPropertyTag* raw = nullptr;
        const HRESULT result = changedOnly ? bag_->EnumChangedTags(&raw) : bag_->EnumPropertyTags(&raw);
        require(result == (expected.empty() ? S_FALSE : S_OK) && (raw == nullptr) == expected.empty());
        if (raw != nullptr && live_.size() < 6) {
            live_.push_back({qv::com_ptr<IhwSysEnumPropertyTag>::attach(raw), std::move(expected)});
        } else if (raw != nullptr) {
            raw->Release();
        }
    }

    void useEnumerator() {
        if (live_.empty()) {
            return;
        }
        const std::size_t index = input_.byte() % live_.size();
        LiveEnumerator& live = live_[index];
        const std::size_t left = live.tags.size() - live.position;
        switch (input_.byte() % 5) {
        case 0: {
            const ULONG count = input_.byte() % 6;
            ULONG tags[5] = {};
            ULONG fetched = 99;
            const HRESULT result = live.enumerator->Next(count, tags, &fetched);
            const std::size_t copied = std::min<std::size_t>(count, left);
            require(result == (copied == count ? S_OK : S_FALSE) && fetched == copied);
            require(std::equal(tags, tags + copied, live.tags.begin() + live.position));
            live.position += copied;
            break;
        }
        case 1: {
            const ULONG count = input_.byte() % 4;
            require(live.enumerator->Skip(count) == (count <= left ? S_OK : S_FALSE));
            live.position += std::min<std::size_t>(count, left);
            break;
        }
        case 2:
            require(live.enumerator->Reset() == S_OK);
            live.position = 0;
            break;
        case 3: {
            IhwSysEnumPropertyTag* clone = nullptr;
            require(live.enumerator->Clone(&clone) == S_OK && clone != nullptr);
            live_.push_back({qv::com_ptr<IhwSysEnumPropertyTag>::attach(clone), live.tags, live.position});
            break;
        }
        default:
            live_.erase(live_.begin() + static_cast<std::ptrdiff_t>(index));
            break;
        }
    }

    // The copy holds every value and no changed tag; sometimes the sequence goes on with the copy.
    void cloneBag() {
        IhwSysPropertyBag* raw = nullptr;
        require(bag_->CloneBag(&raw) == S_OK && raw != nullptr);
        IhwSysPropertyBag3* copy = nullptr;
        require(raw->QueryInterface(IID_IhwSysPropertyBag3, reinterpret_cast<void**>(&copy)) == S_OK);
        raw->Release();
        const auto owned = qv::com_ptr<IhwSysPropertyBag3>::attach(copy);
        for (const auto& [tag, value] : values_) {
            HRESULT result = E_UNEXPECTED;
            require(read(copy, tag, value.type, &result) == value.bytes && result == S_OK);
        }
        IhwSysEnumPropertyTag* none = nullptr;
        require(copy->EnumChangedTags(&none) == S_FALSE && none == nullptr);
        if (input_.byte() % 2 == 0 && lockDepth_ == 0) {
            bag_ = std::move(owned);
            changed_.clear();
        }
    }

    FuzzInput& input_;
    qv::com_ptr<IhwSysPropertyBag3> bag_;
    std::map<ULONG, Value> values_;
    std::set<ULONG> changed_;
    std::vector<LiveEnumerator> live_;
    unsigned lockDepth_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    BagModel model(input);
    for (int step = 0; !input.empty() && step < 400; ++step) {
        model.step();
    }
    return 0;
}
