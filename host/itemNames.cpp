#include "host/itemNames.h"

#include "host/hostError.h"
#include "host/hostRefs.h"

namespace hwconfig {

std::vector<BoardName> readBoardNames(IhwSysExpert2* expert) {
    InterfaceRef<IhwSysEnumStringList> names;
    throwIfFailed(expert->EnumerateItemNames(names.put()), "listing the boards (EnumerateItemNames)");
    std::vector<BoardName> result;
    if (!names) {
        return result;
    }
    for (;;) {
        OwnedBstr name;
        ULONG fetched = 0;
        throwIfFailed(names->Next(1, name.put(), &fetched), "reading the list of boards");
        if (fetched == 0) {
            return result;
        }
        static const WCHAR kEmpty[] = {0};
        const WCHAR* const text = name.get() != nullptr ? name.get() : kEmpty;
        result.push_back({text, toUtf8(text)});
    }
}

} // namespace hwconfig
