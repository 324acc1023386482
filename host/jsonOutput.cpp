#include "host/jsonOutput.h"

#include "host/output.h"

#include <cstdio>
#include <new>

namespace hwconfig {

qv::unique_cjson newJsonObject() {
    qv::unique_cjson document(cJSON_CreateObject());
    if (!document) {
        throw std::bad_alloc();
    }
    return document;
}

void printJson(const cJSON* document) {
    const qv::unique_cjson_text text(cJSON_Print(document));
    if (!text) {
        throw std::bad_alloc();
    }
    printOut("%s\n", text.get());
}

} // namespace hwconfig
