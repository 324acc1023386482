// What the alias file holds: one JSON object whose member "devices" is an object, of at most
// kMaxAliasFileBytes. Only such text is ever written into the file.
#pragma once

#include "support/cJSONUtils.h"

#include <cstdint>
#include <string>

namespace aliases {

// The largest alias file the store reads; a larger one is refused before it is read, as malformed.
constexpr std::uint64_t kMaxAliasFileBytes = 64ull << 20;

struct AliasDocument {
    cJSONUtils::Tree root;
    cJSON* devices = nullptr;
};

// Throws as the JSON layer does when the text is not an alias document.
AliasDocument parseAliasDocument(const std::string& text);
bool isAliasDocument(const std::string& text);

// The one size limit, for the file read and for the text a rewrite would write (which no reader
// would read back): beyond it the text is refused as no alias document (qverr::Exception, -52005).
void refuseBeyondSizeLimit(std::uint64_t size);

} // namespace aliases

using aliases::kMaxAliasFileBytes;
