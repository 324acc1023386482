#include "host/boardSelection.h"

#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"

#include <algorithm>
#include <cctype>

namespace hwconfig {
namespace {

bool equalIgnoringCase(const std::string& left, const std::string& right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

// The board number as `list` prints it, or 0 when `text` is not a number in range.
std::size_t boardNumber(const std::string& text, std::size_t count) {
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        return 0;
    }
    const std::size_t number = std::stoul(text);
    return number <= count ? number : 0;
}

} // namespace

std::size_t selectBoard(const std::vector<BoardReport>& boards, const std::string& board) {
    if (const std::size_t number = boardNumber(board, boards.size()); number != 0) {
        return number - 1;
    }
    for (std::size_t i = 0; i < boards.size(); ++i) {
        if (equalIgnoringCase(toUtf8(boards[i].itemName.c_str()), board) ||
            propertyText(boards[i], hwSysTagAlias) == board) {
            return i;
        }
    }
    throw HostError("no board present answers to \"" + board + "\" (give the number, item name or alias that list shows)",
                    kExitNoSuchBoard);
}

} // namespace hwconfig
