#include "host/jsonOutput.h"

#include <cstdio>
#include <new>

namespace hwconfig {

JsonDocument newJsonObject() {
    JsonDocument document(cJSON_CreateObject(), cJSON_Delete);
    if (!document) {
        throw std::bad_alloc();
    }
    return document;
}

void printJson(const cJSON* document) {
    const std::unique_ptr<char, decltype(&cJSON_free)> text(cJSON_Print(document), cJSON_free);
    if (!text) {
        throw std::bad_alloc();
    }
    std::printf("%s\n", text.get());
}

} // namespace hwconfig
