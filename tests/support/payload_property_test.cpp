// Random sequences of appends, some of them starved of memory, checked against cJSON.
#include "support/errorReport.h"
#include "support/unique_any.h"

#include <gtest/gtest.h>

#include <cjson/cJSON.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

std::mt19937 generator;
double growthFailureRate = 0;

bool flakyReserve(qverr::Status& status, std::uint32_t requested) {
    if (requested > status.capacity &&
        std::uniform_real_distribution<>(0, 1)(generator) < growthFailureRate) {
        return false;
    }
    return qverr::defaultReserve(status, requested);
}

int uniform(int low, int high) {
    return std::uniform_int_distribution<>(low, high)(generator);
}

// Any bytes but NUL: control bytes, quotes, backslashes, 0x7F and high bytes included.
std::string randomText(int maxLength) {
    std::string text(static_cast<std::size_t>(uniform(0, maxLength)), ' ');
    for (char& c : text) {
        c = static_cast<char>(uniform(1, 255));
    }
    return text;
}

using Json = qv::unique_cjson;

// Applies one random append to the cursor and, if the cursor accepted it, to the model tree.
void appendRandomMember(qverr::PayloadCursor& cursor, std::vector<cJSON*>& openObjects, int index) {
    const std::string key = randomText(12) + "#" + std::to_string(index); // keys stay unique
    cJSON* model = openObjects.back();
    switch (uniform(0, 4)) {
    case 0: {
        const std::string value = randomText(300);
        if (!cursor.addString(key.c_str(), value.c_str()).isEmpty()) {
            cJSON_AddStringToObject(model, key.c_str(), value.c_str());
        }
        break;
    }
    case 1: {
        const auto value = static_cast<std::int32_t>(generator());
        if (!cursor.addSigned(key.c_str(), value).isEmpty()) {
            cJSON_AddNumberToObject(model, key.c_str(), value);
        }
        break;
    }
    case 2: {
        const auto value = static_cast<std::uint32_t>(generator());
        if (!cursor.addUnsigned(key.c_str(), value).isEmpty()) {
            cJSON_AddNumberToObject(model, key.c_str(), value);
        }
        break;
    }
    case 3:
        if (!cursor.beginObject(key.c_str()).isEmpty()) {
            openObjects.push_back(cJSON_AddObjectToObject(model, key.c_str()));
        }
        break;
    default:
        if (openObjects.size() > 1) {
            cursor.endObject();
            openObjects.pop_back();
        }
    }
}

} // namespace

TEST(PayloadProperty, random_appends_always_leave_valid_json_holding_every_accepted_member) {
    int starvedRounds = 0;
    int completeRounds = 0;
    for (unsigned round = 0; round < 400; ++round) {
        generator.seed(round);
        growthFailureRate = round % 2 == 0 ? 0.0 : 0.1;
        qverr::Status status;
        status.reserve = &flakyReserve;
        const std::string file = randomText(40);
        qverr::PayloadCursor cursor =
            qverr::reportError(status, -52003, "qvosalerr_unexpected", file.c_str(), static_cast<int>(round));
        if (status.payload == nullptr) {
            EXPECT_TRUE(cursor.isEmpty());
            ++starvedRounds;
            continue;
        }
        // What the report itself wrote is checked elsewhere; the model starts from it.
        const Json model(cJSON_Parse(status.payload));
        ASSERT_NE(model, nullptr) << "round " << round;
        std::vector<cJSON*> openObjects{model.get()};
        const int appends = uniform(0, 60);
        for (int index = 0; index < appends; ++index) {
            appendRandomMember(cursor, openObjects, index);
        }
        (cursor.isEmpty() ? starvedRounds : completeRounds) += 1;

        const Json parsed(cJSON_Parse(status.payload));
        ASSERT_NE(parsed, nullptr) << "round " << round << ": " << status.payload;
        EXPECT_TRUE(cJSON_Compare(parsed.get(), model.get(), true)) << "round " << round;
        EXPECT_EQ(qverr::locateEnd(status.payload), status.payload + std::strlen(status.payload) - 1);
        EXPECT_EQ(status.payload[status.capacity - 1], 'J');
    }
    EXPECT_GT(starvedRounds, 20);
    EXPECT_GT(completeRounds, 100);
}
