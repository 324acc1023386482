// The few cJSON operations the module needs, with every failure turned into an exception instead of
// a null pointer: malformed text, a value of the wrong kind and a missing member throw
// qverr::Exception (-52005, -52004, -52006); an allocation failure throws std::bad_alloc.
//
// A parsed or created tree is owned by a boost::shared_ptr whose deleter deletes the whole tree.
// Items added to an object belong to that object's tree. Member names are compared ignoring ASCII
// letter case, as cJSON's own object lookup does.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cjson/cJSON.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace cJSONUtils {

using Tree = boost::shared_ptr<cJSON>;

// Parses a NUL-terminated text. Leading white space is skipped and anything after the first
// complete value is ignored.
Tree parse(const char* text);
// Parses a stored document: the `length` bytes must be one JSON value with nothing but white space
// around it. Text after the value (a NUL byte included) throws as malformed text does, because a
// document rewritten from the value alone would silently lose it.
Tree parseDocument(const char* text, std::size_t length);

void requireObject(const cJSON* item);
void requireString(const cJSON* item);

// The first member whose name equals `name` ignoring case; throws when `object` is not an object
// or has no such member.
cJSON* getMember(const cJSON* object, const char* name);
// The same lookup without exceptions: null when absent or when `object` is not an object.
cJSON* findMember(const cJSON* object, const char* name);

std::string getString(const cJSON* item);

// The formatted text: one member per line, indented by one tab per nesting level.
std::string print(const cJSON* item);

Tree createObject();
Tree createNumber(std::uint32_t value);
Tree createBool(bool value);

// Each appends a new member as the object's last member and returns it. On failure nothing is
// linked into the object.
cJSON* addString(cJSON* object, const char* name, const char* text);
cJSON* addNumber(cJSON* object, const char* name, std::uint32_t value);
cJSON* addBool(cJSON* object, const char* name, bool value);
cJSON* addCopy(cJSON* object, const char* name, const cJSON* item);

// Unlinks `item` from `object` and deletes it with everything below it.
void deleteMember(cJSON* object, cJSON* item);

} // namespace cJSONUtils
