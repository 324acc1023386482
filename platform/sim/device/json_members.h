// Reading JSON members with a diagnostic that names the member at fault, written as a path such
// as devices[3].board.selfCal.time. Every failure throws std::invalid_argument("member: problem").
#pragma once

#include <cjson/cJSON.h>

#include <functional>
#include <string>

namespace winsim {

[[noreturn]] void refuse(const std::string& member, const std::string& problem);
[[noreturn]] void refuseUnknown(const std::string& member);

std::string child(const std::string& member, const std::string& name);

// Calls `visit` for each member of an object, refusing a member that appears twice.
void forEachMember(const cJSON* object, const std::string& member,
                   const std::function<void(const cJSON*, const std::string&)>& visit);
void forEachElement(const cJSON* array, const std::string& member,
                    const std::function<void(const cJSON*, const std::string&)>& visit);

std::string textOf(const cJSON* item, const std::string& member);
bool flagOf(const cJSON* item, const std::string& member);
// A number that is an integer from `lowest` to `highest`.
double integerOf(const cJSON* item, const std::string& member, double lowest, double highest);
// Any finite number.
double numberOf(const cJSON* item, const std::string& member);

} // namespace winsim
