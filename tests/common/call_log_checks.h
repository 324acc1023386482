// Checks on the lines of the simulated libraries' call log (see CallLogFile).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <sstream>
#include <string>
#include <vector>

inline std::size_t countStartingWith(const std::vector<std::string>& log, const std::string& start) {
    return std::count_if(log.begin(), log.end(), [&](const std::string& line) { return line.rfind(start, 0) == 0; });
}

// Every library loaded is freed once, except a "_pin" companion, which stays; every reset session
// is destroyed once.
inline void expectEverythingReleased(const std::vector<std::string>& log, const std::string& where = {}) {
    std::map<std::string, int> held;
    for (const std::string& line : log) {
        std::istringstream words(line);
        std::string call, name, arrow;
        words >> call >> name >> arrow;
        if (call == "LoadLibraryExW" && arrow.empty() && name.size() > 4 &&
            name.compare(name.size() - 4, 4, "_pin") != 0) {
            ++held[name];
        } else if (call == "FreeLibrary") {
            --held[name];
        }
    }
    for (const auto& [name, count] : held) {
        EXPECT_EQ(count, 0) << name << " " << where;
    }
    EXPECT_EQ(countStartingWith(log, "qvrocoapi_createSession"), countStartingWith(log, "qvrocoapi_destroySession"))
        << where;
}
