// Sets the TZ environment variable for the life of one object and restores the previous zone.
#pragma once

#include "common/host_platform.h"

#include <cstdlib>
#include <ctime>
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
            use(savedZone.c_str());
        } else {
            hostplatform::unsetEnvironment("TZ");
            readZone();
        }
    }
    TimeZoneOverride(const TimeZoneOverride&) = delete;
    TimeZoneOverride& operator=(const TimeZoneOverride&) = delete;

    static void use(const char* zone) {
        hostplatform::setEnvironment("TZ", zone);
        readZone();
    }

private:
    // The Windows C runtime reads TZ once, unless told again with _tzset; the simulation reads it at
    // every call.
    static void readZone() {
#ifdef _WIN32
        _tzset();
#endif
    }

    bool hadZone = false;
    std::string savedZone;
};
