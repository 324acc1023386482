// The --json form of a command's result: one cJSON document, printed formatted.
#pragma once

#include "support/unique_any.h"

#include <cjson/cJSON.h>

namespace hwconfig {

// An empty object; throws std::bad_alloc.
qv::unique_cjson newJsonObject();
// Prints the document and a line break to standard output; throws std::bad_alloc.
void printJson(const cJSON* document);

} // namespace hwconfig
