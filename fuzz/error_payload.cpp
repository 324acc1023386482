// The error-payload builder under arbitrary keys, values and nesting, checked against a cJSON tree
// built from the same steps: after every step the text is valid JSON and, parsed, equals the model.
// A second mode hands it arbitrary text: whatever it accepts as JSON stays accepted after an
// element is inserted at either end.
#include "fuzz_input.h"
#include "support/errorStatus.h"
#include "support/payloadText.h"
#include "support/unique_any.h"

#include <cjson/cJSON.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {


void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void requireMatches(const qverr::Status& status, const cJSON* model) {
    require(qverr::locateEnd(status.payload) != nullptr);
    // Compared as printed text: cJSON_Compare takes time exponential in the nesting depth.
    const qv::unique_cjson parsed(cJSON_Parse(status.payload));
    require(parsed != nullptr);
    const qv::unique_cjson_text got(cJSON_PrintUnformatted(parsed.get()));
    const qv::unique_cjson_text wanted(cJSON_PrintUnformatted(model));
    require(got != nullptr && wanted != nullptr && std::strcmp(got.get(), wanted.get()) == 0);
}

// Keys carry the step's number, so that no two members of one object share a key.
void buildAgainstModel(FuzzInput& input) {
    qverr::Status status;
    require(status.reserve(status, qverr::kEmptyPayloadCapacity));
    require(qverr::copyPayloadText(status.payload, status.capacity, qverr::kEmptyPayload));
    qverr::PayloadCursor cursor(status.payload + 1, qverr::growPayload, &status);
    const qv::unique_cjson model(cJSON_CreateObject());
    std::vector<cJSON*> open{model.get()};
    for (int step = 0; !input.empty() && step < 200; ++step) {
        const std::string key = std::to_string(step) + input.text(12);
        switch (input.byte() % 5) {
        case 0: {
            const std::string value = input.text(40);
            cursor.addString(key.c_str(), value.c_str());
            cJSON_AddStringToObject(open.back(), key.c_str(), value.c_str());
            break;
        }
        case 1: {
            const auto value = static_cast<std::int32_t>(input.word());
            cursor.addSigned(key.c_str(), value);
            cJSON_AddNumberToObject(open.back(), key.c_str(), value);
            break;
        }
        case 2: {
            const std::uint32_t value = input.word();
            cursor.addUnsigned(key.c_str(), value);
            cJSON_AddNumberToObject(open.back(), key.c_str(), value);
            break;
        }
        case 3:
            cursor.beginObject(key.c_str());
            open.push_back(cJSON_AddObjectToObject(open.back(), key.c_str()));
            break;
        default:
            cursor.endObject();
            if (open.size() > 1) {
                open.pop_back();
            }
            break;
        }
        require(!cursor.isEmpty());
        requireMatches(status, model.get());
    }
}

void insertIntoAcceptedText(FuzzInput& input) {
    const std::string text = input.text(255);
    std::vector<char> buffer(text.size() + 256, '\0');
    if (!qverr::copyPayloadText(buffer.data(), static_cast<std::uint32_t>(buffer.size()), text.c_str()) ||
        qverr::locateEnd(buffer.data()) == nullptr) {
        return;
    }
    const bool isObject = buffer[text.find_first_of("{[")] == '{';
    const qverr::PayloadElement element{isObject ? "k" : nullptr, "v\"\x7f\x01", true};
    require(qverr::insertElement(qverr::locateEnd(buffer.data()), element) != nullptr);
    require(qverr::locateEnd(buffer.data()) != nullptr);
    require(qverr::insertElement(buffer.data() + text.find_first_of("{["), element) != nullptr);
    require(qverr::locateEnd(buffer.data()) != nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    if (input.byte() % 2 == 0) {
        buildAgainstModel(input);
    } else {
        insertIntoAcceptedText(input);
    }
    return 0;
}
