// Owning handles for the COM references and BSTRs the tests receive, and readers of enumerators.
#pragma once

#include "com/CqvBStr.h"
#include "com/com_ptr.h"
#include "hwsys/hwsys.h"
#include "platform/win32.h"

#include <memory>
#include <string>
#include <vector>

template <typename Interface> using Ref = qv::com_ptr<Interface>;
using qvkelpsysapiexpert::CqvBStr;

inline std::u16string textOf(const OLECHAR* text) {
    return text == nullptr ? u"<null>" : std::u16string(text);
}

// Every tag left in the enumerator, read one at a time.
inline std::vector<ULONG> remainingTags(IhwSysEnumPropertyTag* tags) {
    std::vector<ULONG> read;
    ULONG tag = 0;
    while (tags->Next(1, &tag, nullptr) == S_OK) {
        read.push_back(tag);
    }
    return read;
}

// Every string left in the enumerator, read one at a time; each copy is freed after reading.
inline std::vector<std::u16string> remainingNames(IhwSysEnumStringList* names) {
    std::vector<std::u16string> read;
    CqvBStr name;
    while (names->Next(1, name.address(), nullptr) == S_OK) {
        read.push_back(textOf(name.get()));
    }
    return read;
}
