// The --json form of a command's result: one cJSON document, printed formatted.
#pragma once

#include <cjson/cJSON.h>

#include <memory>

namespace hwconfig {

using JsonDocument = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// An empty object; throws std::bad_alloc.
JsonDocument newJsonObject();
// Prints the document and a line break to standard output; throws std::bad_alloc.
void printJson(const cJSON* document);

} // namespace hwconfig
