// Several threads setting, reading, copying and enumerating one bag at once. Run under
// ThreadSanitizer to check the bag's locking as well as the results.
#include "com_test_support.h"
#include "propertybag/ChwDynamicPropertyBag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

namespace {

using namespace qvkelpsysapiexpert;

constexpr int kThreads = 4;
constexpr int kRoundsPerThread = 3000;
constexpr ULONG kTagsPerThread = 64;
constexpr ULONG kSharedTag = 1; // written by every thread, under the caller's lock

// Each thread owns a range of tags and writes there only values derived from the tag, so that
// any thread can check any value it reads, and its own tags' values exactly.
ULONG firstTagOf(int thread) {
    return 1000u * static_cast<ULONG>(thread + 1);
}
LONG expectedValue(ULONG tag, LONG round) {
    return static_cast<LONG>(tag) * 4096 + round;
}
bool plausible(ULONG tag, LONG value) {
    return value >= expectedValue(tag, 0) && value < expectedValue(tag, 4096);
}

bool strictlyAscending(const std::vector<ULONG>& tags) {
    return std::adjacent_find(tags.begin(), tags.end(), std::greater_equal<ULONG>()) == tags.end();
}

// Runs one thread's share of mixed operations; returns a description of the first fault seen.
std::string exercise(IhwSysPropertyBag3* bag, int thread) {
    std::minstd_rand random(static_cast<unsigned>(thread) + 1);
    const ULONG first = firstTagOf(thread);
    std::vector<LONG> lastWritten(kTagsPerThread, -1); // -1: absent
    for (LONG round = 0; round < kRoundsPerThread; ++round) {
        const ULONG index = random() % kTagsPerThread;
        const ULONG tag = first + index;
        switch (random() % 7) {
        case 0:
        case 1: {
            const LONG value = expectedValue(tag, round % 4096);
            if (bag->SetLong(tag, value) != S_OK) {
                return "SetLong failed";
            }
            lastWritten[index] = value;
            break;
        }
        case 2: {
            LONG value = 0;
            const HRESULT result = bag->GetLong(tag, &value);
            if (lastWritten[index] < 0 ? result != HW_E_PROPERTY_NOT_FOUND
                                       : (result != S_OK || value != lastWritten[index])) {
                return "own tag read back wrong";
            }
            break;
        }
        case 3:
            if (bag->RemoveProperty(tag) != (lastWritten[index] < 0 ? HW_E_PROPERTY_NOT_FOUND : S_OK)) {
                return "RemoveProperty disagrees";
            }
            lastWritten[index] = -1;
            break;
        case 4: {
            IhwSysEnumPropertyTag* raw = nullptr;
            const HRESULT result = bag->EnumPropertyTags(&raw);
            if (result == S_OK) {
                auto tags = Ref<IhwSysEnumPropertyTag>::attach(raw);
                if (!strictlyAscending(remainingTags(tags.get()))) {
                    return "enumeration not ascending";
                }
            } else if (result != S_FALSE) {
                return "EnumPropertyTags failed";
            }
            break;
        }
        case 5: {
            IhwSysPropertyBag* raw = nullptr;
            if (bag->CloneBag(&raw) != S_OK) {
                return "CloneBag failed";
            }
            auto copy = Ref<IhwSysPropertyBag>::attach(raw);
            IhwSysEnumPropertyTag* rawTags = nullptr;
            if (copy->EnumPropertyTags(&rawTags) == S_OK) {
                auto tags = Ref<IhwSysEnumPropertyTag>::attach(rawTags);
                for (ULONG copied : remainingTags(tags.get())) {
                    LONG value = 0;
                    ULONG writer = kThreads;
                    const bool right =
                        copied == kSharedTag
                            ? copy->GetULong(copied, &writer) == S_OK && writer < kThreads
                            : copy->GetLong(copied, &value) == S_OK && plausible(copied, value);
                    if (!right) {
                        return "copy holds a wrong value";
                    }
                }
            }
            break;
        }
        case 6: {
            // Under the caller's lock a pair of writes and reads is not interleaved with others.
            bag->LockBag();
            bag->SetULong(kSharedTag, static_cast<ULONG>(thread));
            ULONG seen = 99;
            bag->GetULong(kSharedTag, &seen);
            bag->UnlockBag();
            if (seen != static_cast<ULONG>(thread)) {
                return "the caller's lock let another thread in";
            }
            break;
        }
        }
    }
    return {};
}

TEST(PropertyBagConcurrency, mixed_operations_from_several_threads_keep_the_bag_consistent) {
    IhwSysPropertyBag3* raw = nullptr;
    ASSERT_EQ(createPropertyBag(&raw), S_OK);
    auto bag = Ref<IhwSysPropertyBag3>::attach(raw);

    std::vector<std::string> faults(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] { faults[t] = exercise(bag.get(), t); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(faults[t], "") << "thread " << t;
    }
    EXPECT_EQ(bag->UnlockBag(), E_FAIL) << "every LockBag was matched";
}

} // namespace
