// hwconfig rename BOARD NEW_ALIAS [--force]: stores the board's new alias through RenameResource.
// --force lets the board share an alias that another board already has.
#include "host/boardSelection.h"
#include "host/commands.h"
#include "host/jsonOutput.h"
#include "host/utf8Text.h"

#include <cstdio>
#include <new>

namespace hwconfig {
namespace {

constexpr ULONG kRenameEvenIfAliasInUse = 0x1;

// One line that says what went wrong and what to do, and the exit code of that kind of failure.
[[noreturn]] void throwRenameFailure(HRESULT result, const std::string& alias) {
    const std::string code = " (HRESULT " + formatHResult(result) + ")";
    switch (result) {
    case HW_E_INVALID_ALIAS:
        throw HostError("invalid alias \"" + alias +
                            "\": use 1 to 254 of A-Z a-z 0-9 - _, not beginning with _" + code,
                        kExitInvalidAlias);
    case HW_E_ALIAS_IN_USE:
        throw HostError("the alias \"" + alias + "\" is already used by another board; --force shares it" + code,
                        kExitAliasInUse);
    case HW_E_FILE_ACCESS_DENIED:
        throw HostError("the alias file may not be written" + code, kExitAccessDenied);
    case E_UNEXPECTED:
        throw HostError("the alias file is missing or could not be read or written" + code);
    case E_FAIL:
        throw HostError("the alias file is malformed, or the board could not be read" + code);
    default:
        throw HostError("RenameResource failed" + code);
    }
}

void printRenameJson(const std::string& itemName, const std::string& alias) {
    const qv::unique_cjson document = newJsonObject();
    if (cJSON_AddStringToObject(document.get(), "itemName", itemName.c_str()) == nullptr ||
        cJSON_AddStringToObject(document.get(), "alias", alias.c_str()) == nullptr) {
        throw std::bad_alloc();
    }
    printJson(document.get());
}

} // namespace

int runRename(ExpertModule& module, const CommandOptions& options) {
    if (options.operands.size() != 2) {
        throw UsageError("rename needs BOARD and NEW_ALIAS");
    }
    const std::string& alias = options.operands[1];
    const std::vector<BoardReport> boards = readBoardReports(module.expert());
    const std::size_t number = selectBoard(boards, options.operands[0]);
    const std::string itemName = toUtf8(boards[number].itemName.c_str());
    LONG aliasInUse = 0;
    void* reserved = nullptr;
    const HRESULT result = module.expert()->RenameResource(
        boards[number].itemName.c_str(), toUtf16(alias).c_str(), options.force ? kRenameEvenIfAliasInUse : 0,
        &aliasInUse, &reserved);
    if (FAILED(result)) {
        throwRenameFailure(result, alias);
    }
    if (options.json) {
        printRenameJson(itemName, alias);
    } else {
        std::printf("Board %zu (%s) is now named %s.\n", number + 1, itemName.c_str(), alias.c_str());
    }
    return kExitSuccess;
}

} // namespace hwconfig
