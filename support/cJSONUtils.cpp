#include "support/cJSONUtils.h"

#include "support/errorReport.h"
#include "support/payloadText.h"
#include "support/statusCodes.h"

#include <cstring>
#include <memory>
#include <new>

namespace cJSONUtils {
namespace {

// JSON failures carry only where they were raised: no error constant.
[[noreturn]] void throwJsonError(std::int32_t code, int line) {
    qverr::throwError(code, nullptr, __FILE__, line);
}

Tree own(cJSON* item) {
    if (item == nullptr) {
        throw std::bad_alloc();
    }
    // boost::shared_ptr deletes the item itself if it cannot allocate its count.
    return Tree(item, cJSON_Delete);
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// ASCII only, whatever the process's locale says about other bytes.
bool equalIgnoringAsciiCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (asciiLower(*a) != asciiLower(*b)) {
            return false;
        }
    }
    return *a == *b;
}

cJSON* firstMemberNamed(const cJSON* object, const char* name) {
    cJSON* member = nullptr;
    cJSON_ArrayForEach(member, object) {
        if (member->string != nullptr && equalIgnoringAsciiCase(member->string, name)) {
            return member;
        }
    }
    return nullptr;
}

// Links `item` as the last member of `object`. On any failure the item is deleted, not linked, so
// nothing is left half-added.
cJSON* link(cJSON* object, const char* name, cJSON* item) {
    if (item == nullptr) {
        throw std::bad_alloc();
    }
    if (!cJSON_IsObject(object)) {
        cJSON_Delete(item);
        throwJsonError(nQVOSALS100::osalStatusWrongType, __LINE__);
    }
    if (!cJSON_AddItemToObject(object, name, item)) {
        cJSON_Delete(item);
        throw std::bad_alloc();
    }
    return item;
}

// cJSON reports a failed allocation exactly as malformed text (it marks a position either way), so
// a text that the payload layer's validator, which allocates nothing, accepts as JSON can only have
// failed for want of memory.
cJSON* parseOrThrow(cJSON* root, const char* text) {
    if (root == nullptr) {
        if (qverr::locateEnd(text) != nullptr) {
            throw std::bad_alloc();
        }
        throwJsonError(nQVOSALS100::osalStatusInvalidParameter, __LINE__);
    }
    return root;
}

bool onlyWhiteSpace(const char* begin, const char* end) {
    for (; begin != end; ++begin) {
        if (*begin != ' ' && *begin != '\t' && *begin != '\n' && *begin != '\r') {
            return false;
        }
    }
    return true;
}

} // namespace

Tree parse(const char* text) {
    if (text == nullptr) {
        throwJsonError(nQVOSALS100::osalStatusInvalidParameter, __LINE__);
    }
    return own(parseOrThrow(cJSON_Parse(text), text));
}

Tree parseDocument(const char* text, std::size_t length) {
    // JSON allows no raw NUL, and cJSON would end a string at one and write back the rest lost.
    if (text == nullptr || std::memchr(text, '\0', length) != nullptr) {
        throwJsonError(nQVOSALS100::osalStatusInvalidParameter, __LINE__);
    }
    const char* end = nullptr;
    cJSON* parsed = cJSON_ParseWithLengthOpts(text, length, &end, 0);
    Tree root = own(parseOrThrow(parsed, text));
    if (!onlyWhiteSpace(end, text + length)) {
        throwJsonError(nQVOSALS100::osalStatusInvalidParameter, __LINE__);
    }
    return root;
}

void requireObject(const cJSON* item) {
    if (!cJSON_IsObject(item)) {
        throwJsonError(nQVOSALS100::osalStatusWrongType, __LINE__);
    }
}

void requireString(const cJSON* item) {
    if (!cJSON_IsString(item)) {
        throwJsonError(nQVOSALS100::osalStatusWrongType, __LINE__);
    }
}

cJSON* getMember(const cJSON* object, const char* name) {
    requireObject(object);
    cJSON* member = firstMemberNamed(object, name);
    if (member == nullptr) {
        throwJsonError(nQVOSALS100::osalStatusResourceNotFound, __LINE__);
    }
    return member;
}

cJSON* findMember(const cJSON* object, const char* name) {
    return cJSON_IsObject(object) ? firstMemberNamed(object, name) : nullptr;
}

std::string getString(const cJSON* item) {
    requireString(item);
    return item->valuestring;
}

std::string print(const cJSON* item) {
    // Released by cJSON's own deallocator: where cJSON is a separate library with its own heap,
    // plain free would release the text into the wrong one.
    const std::unique_ptr<char, void (*)(void*)> text(cJSON_Print(item), cJSON_free);
    if (text == nullptr) {
        throw std::bad_alloc();
    }
    return text.get();
}

Tree createObject() {
    return own(cJSON_CreateObject());
}

Tree createNumber(std::uint32_t value) {
    return own(cJSON_CreateNumber(value));
}

Tree createBool(bool value) {
    return own(cJSON_CreateBool(value));
}

cJSON* addString(cJSON* object, const char* name, const char* text) {
    return link(object, name, cJSON_CreateString(text));
}

cJSON* addNumber(cJSON* object, const char* name, std::uint32_t value) {
    return link(object, name, cJSON_CreateNumber(value));
}

cJSON* addBool(cJSON* object, const char* name, bool value) {
    return link(object, name, cJSON_CreateBool(value));
}

cJSON* addCopy(cJSON* object, const char* name, const cJSON* item) {
    return link(object, name, cJSON_Duplicate(item, true));
}

void deleteMember(cJSON* object, cJSON* item) {
    cJSON_Delete(cJSON_DetachItemViaPointer(object, item));
}

} // namespace cJSONUtils
