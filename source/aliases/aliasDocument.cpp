#include "source/aliases/aliasDocument.h"

#include "support/errorException.h"
#include "support/errorReport.h"
#include "support/statusCodes.h"

#include <utility>

namespace aliases {

AliasDocument parseAliasDocument(const std::string& text) {
    cJSONUtils::Tree root = cJSONUtils::parseDocument(text.data(), text.size());
    cJSONUtils::requireObject(root.get());
    cJSON* devices = cJSONUtils::getMember(root.get(), "devices");
    cJSONUtils::requireObject(devices);
    return {std::move(root), devices};
}

bool isAliasDocument(const std::string& text) {
    try {
        parseAliasDocument(text);
        return true;
    } catch (const qverr::Exception&) {
        return false;
    }
}

void refuseBeyondSizeLimit(std::uint64_t size) {
    if (size > kMaxAliasFileBytes) {
        qverr::throwError(nQVOSALS100::osalStatusInvalidParameter, nullptr, __FILE__, __LINE__);
    }
}

} // namespace aliases
