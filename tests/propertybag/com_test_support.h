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

// OLECHAR text: char16_t in the simulation, wchar_t on Windows.
using OleText = std::basic_string<OLECHAR>;

inline OleText textOf(const OLECHAR* text) {
    return text == nullptr ? OLESTR("<null>") : OleText(text);
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
inline std::vector<OleText> remainingNames(IhwSysEnumStringList* names) {
    std::vector<OleText> read;
    CqvBStr name;
    while (names->Next(1, name.address(), nullptr) == S_OK) {
        read.push_back(textOf(name.get()));
    }
    return read;
}
