#include "host/boardSelection.h"

#include "com/CqvBStr.h"
#include "host/utf8Text.h"

#include <cstdlib>

namespace hwconfig {
namespace {

bool equalIgnoringAsciiCase(const std::string& a, const std::string& b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// 0 when the text is not a plain decimal number.
std::size_t numberOf(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return static_cast<std::size_t>(std::strtoul(text.c_str(), nullptr, 10));
}

} // namespace

std::vector<std::string> readItemNames(IhwSysExpert2* expert) {
    qv::com_ptr<IhwSysEnumStringList> names;
    const HRESULT listed = expert->EnumerateItemNames(names.put());
    if (FAILED(listed)) {
        throw HostError("EnumerateItemNames failed with HRESULT " + formatHResult(listed));
    }
    std::vector<std::string> result;
    if (!names) {
        return result;
    }
    for (;;) {
        qvkelpsysapiexpert::CqvBStr name;
        ULONG fetched = 0;
        const HRESULT next = names->Next(1, name.address(), &fetched);
        if (FAILED(next)) {
            throw HostError("reading the item names failed with HRESULT " + formatHResult(next));
        }
        if (fetched == 0) {
            return result;
        }
        result.push_back(toUtf8(name.get()));
    }
}

SelectedBoard selectBoard(IhwSysExpert2* expert, const std::string& board) {
    const std::vector<std::string> names = readItemNames(expert);
    const std::size_t number = numberOf(board);
    if (number >= 1 && number <= names.size()) {
        return {number, names[number - 1]};
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (equalIgnoringAsciiCase(names[i], board)) {
            return {i + 1, names[i]};
        }
    }
    throw HostError("no board present answers to \"" + board + "\" (give the number or item name that list shows)",
                    kExitNoSuchBoard);
}

} // namespace hwconfig
