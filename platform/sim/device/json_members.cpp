#include "platform/sim/device/json_members.h"

#include "platform/sim/text_rules.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <stdexcept>

namespace winsim {

[[noreturn]] void refuse(const std::string& member, const std::string& problem) {
    throw std::invalid_argument(member + ": " + problem);
}

std::string child(const std::string& member, const std::string& name) {
    return member.empty() ? name : member + "." + name;
}

namespace {

// Objects hold a few members: comparing each name with those before it costs less than a set up
// to this many; larger ones are checked through a set of their names in upper case.
constexpr std::size_t kPairwiseDuplicateCheck = 16;

bool repeatsEarlierMember(const cJSON* object, const cJSON* item, std::size_t position,
                          std::set<std::string>& seenInUpperCase) {
    if (position < kPairwiseDuplicateCheck) {
        for (const cJSON* earlier = object->child; earlier != item; earlier = earlier->next) {
            if (equalsIgnoringCase(earlier->string, item->string)) {
                return true;
            }
        }
        return false;
    }
    if (seenInUpperCase.empty()) {
        for (const cJSON* earlier = object->child; earlier != item; earlier = earlier->next) {
            seenInUpperCase.insert(toUpperAscii(earlier->string));
        }
    }
    return !seenInUpperCase.insert(toUpperAscii(item->string)).second;
}

} // namespace

// Each member's name is written into one buffer, reused from member to member.
void forEachMember(const cJSON* object, const std::string& member,
                   const std::function<void(const cJSON*, const std::string&)>& visit) {
    if (!cJSON_IsObject(object)) {
        refuse(member.empty() ? "(top level)" : member, "expected an object");
    }
    std::set<std::string> seenInUpperCase;
    std::string name = child(member, ""); // the prefix each member's name follows
    const std::size_t prefix = name.size();
    std::size_t position = 0;
    for (const cJSON* item = object->child; item != nullptr; item = item->next, ++position) {
        name.resize(prefix);
        name += item->string;
        if (repeatsEarlierMember(object, item, position, seenInUpperCase)) {
            refuse(name, "appears twice");
        }
        visit(item, name);
    }
}

void forEachElement(const cJSON* array, const std::string& member,
                    const std::function<void(const cJSON*, const std::string&)>& visit) {
    if (!cJSON_IsArray(array)) {
        refuse(member, "expected an array");
    }
    std::string name = member + "[";
    const std::size_t prefix = name.size();
    std::size_t index = 0;
    for (const cJSON* item = array->child; item != nullptr; item = item->next) {
        name.resize(prefix);
        name += std::to_string(index++);
        name += ']';
        visit(item, name);
    }
}

[[noreturn]] void refuseUnknown(const std::string& member) {
    refuse(member, "unknown member");
}

std::string textOf(const cJSON* item, const std::string& member) {
    if (!cJSON_IsString(item)) {
        refuse(member, "expected a text");
    }
    return item->valuestring;
}

bool flagOf(const cJSON* item, const std::string& member) {
    if (!cJSON_IsBool(item)) {
        refuse(member, "expected true or false");
    }
    return cJSON_IsTrue(item);
}

double integerOf(const cJSON* item, const std::string& member, double lowest, double highest) {
    if (!cJSON_IsNumber(item)) {
        refuse(member, "expected a number");
    }
    const double value = item->valuedouble;
    if (!std::isfinite(value) || std::floor(value) != value || value < lowest || value > highest) {
        char written[32];
        std::snprintf(written, sizeof written, "%.17g", value);
        refuse(member, std::string("the number ") + written + " does not fit (an integer from " +
                           std::to_string(static_cast<long long>(lowest)) + " to " +
                           std::to_string(static_cast<long long>(highest)) + " is expected)");
    }
    return value;
}

double numberOf(const cJSON* item, const std::string& member) {
    if (!cJSON_IsNumber(item) || !std::isfinite(item->valuedouble)) {
        refuse(member, "expected a number");
    }
    return item->valuedouble;
}

} // namespace winsim
