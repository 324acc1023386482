// Sets the TZ environment variable for the life of one object and restores the previous zone.
#pragma once

#include <cstdlib>
#include <string>

class TimeZoneOverride {
public:
    explicit TimeZoneOverride(const char* zone) {
        const char* previous = std::getenv("TZ");
        hadZone = previous != nullptr;
        savedZone = hadZone ? previous : "";
        use(zone);
    }
    ~TimeZoneOverride() {
        if (hadZone) {
            setenv("TZ", savedZone.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
    }
    TimeZoneOverride(const TimeZoneOverride&) = delete;
    TimeZoneOverride& operator=(const TimeZoneOverride&) = delete;

    static void use(const char* zone) { setenv("TZ", zone, 1); }

private:
    bool hadZone = false;
    std::string savedZone;
};
