// The property bag against a plain std::map guarded by a std::recursive_mutex doing the same work:
// typed set (overwriting an existing value, and filling a new bag), typed get, copy and enumeration
// of a bag of the size a board report has.
//
// Run from the plain build: build/plain/bin/bench_propertybag
#include "com/com_ptr.h"
#include "propertybag/ChwDynamicPropertyBag.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <variant>

namespace {

using namespace qvkelpsysapiexpert;

constexpr ULONG kProperties = 50; // about what one board report holds
constexpr ULONG kFirstTag = 0x1000;

// The baseline: the same typed storage, type check and changed-tag record, with standard parts.
class BaselineBag {
public:
    using Value = std::variant<bool, LONG, ULONG, double, GUID, std::u16string, hwSysAttrTimestampUTC>;

    HRESULT setLong(ULONG tag, LONG value) {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        const auto found = values.lower_bound(tag);
        if (found == values.end() || found->first != tag) {
            values.emplace_hint(found, tag, Value(std::in_place_type<LONG>, value));
        } else if (auto* stored = std::get_if<LONG>(&found->second)) {
            *stored = value;
        } else {
            return HW_E_PROPERTY_TYPE_MISMATCH;
        }
        changed.insert(tag);
        return S_OK;
    }

    HRESULT getLong(ULONG tag, LONG* value) {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        const auto found = values.find(tag);
        if (found == values.end()) {
            return HW_E_PROPERTY_NOT_FOUND;
        }
        const auto* stored = std::get_if<LONG>(&found->second);
        if (stored == nullptr) {
            return HW_E_PROPERTY_TYPE_MISMATCH;
        }
        *value = *stored;
        return S_OK;
    }

    std::unique_ptr<BaselineBag> clone() {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        auto copy = std::make_unique<BaselineBag>();
        copy->values = values;
        return copy;
    }

    std::set<ULONG> tagSnapshot() {
        std::lock_guard<std::recursive_mutex> guard(mutex);
        std::set<ULONG> snapshot;
        for (const auto& entry : values) {
            snapshot.emplace_hint(snapshot.end(), entry.first);
        }
        return snapshot;
    }

private:
    std::recursive_mutex mutex;
    std::map<ULONG, Value> values;
    std::set<ULONG> changed;
};

using BagRef = qv::com_ptr<IhwSysPropertyBag3>;

BagRef filledBag() {
    BagRef bag;
    createPropertyBag(bag.put());
    for (ULONG i = 0; i < kProperties; ++i) {
        bag->SetLong(kFirstTag + i, static_cast<LONG>(i));
    }
    return bag;
}

std::unique_ptr<BaselineBag> filledBaseline() {
    auto bag = std::make_unique<BaselineBag>();
    for (ULONG i = 0; i < kProperties; ++i) {
        bag->setLong(kFirstTag + i, static_cast<LONG>(i));
    }
    return bag;
}

void Bag_SetExisting(benchmark::State& state) {
    const BagRef bag = filledBag();
    ULONG i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bag->SetLong(kFirstTag + i, static_cast<LONG>(i)));
        i = (i + 1) % kProperties;
    }
}
BENCHMARK(Bag_SetExisting);

void Map_SetExisting(benchmark::State& state) {
    const auto bag = filledBaseline();
    ULONG i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bag->setLong(kFirstTag + i, static_cast<LONG>(i)));
        i = (i + 1) % kProperties;
    }
}
BENCHMARK(Map_SetExisting);

void Bag_Get(benchmark::State& state) {
    const BagRef bag = filledBag();
    ULONG i = 0;
    LONG value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bag->GetLong(kFirstTag + i, &value));
        benchmark::DoNotOptimize(value);
        i = (i + 1) % kProperties;
    }
}
BENCHMARK(Bag_Get);

void Map_Get(benchmark::State& state) {
    const auto bag = filledBaseline();
    ULONG i = 0;
    LONG value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bag->getLong(kFirstTag + i, &value));
        benchmark::DoNotOptimize(value);
        i = (i + 1) % kProperties;
    }
}
BENCHMARK(Map_Get);

void Bag_FillNew(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(filledBag());
    }
}
BENCHMARK(Bag_FillNew);

void Map_FillNew(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(filledBaseline());
    }
}
BENCHMARK(Map_FillNew);

void Bag_Clone(benchmark::State& state) {
    const BagRef bag = filledBag();
    for (auto _ : state) {
        qv::com_ptr<IhwSysPropertyBag> copy;
        benchmark::DoNotOptimize(bag->CloneBag(copy.put()));
    }
}
BENCHMARK(Bag_Clone);

void Map_Clone(benchmark::State& state) {
    const auto bag = filledBaseline();
    for (auto _ : state) {
        benchmark::DoNotOptimize(bag->clone());
    }
}
BENCHMARK(Map_Clone);

void Bag_Enumerate(benchmark::State& state) {
    const BagRef bag = filledBag();
    for (auto _ : state) {
        qv::com_ptr<IhwSysEnumPropertyTag> tags;
        bag->EnumPropertyTags(tags.put());
        ULONG tag = 0;
        while (tags->Next(1, &tag, nullptr) == S_OK) {
            benchmark::DoNotOptimize(tag);
        }
    }
}
BENCHMARK(Bag_Enumerate);

void Map_Enumerate(benchmark::State& state) {
    const auto bag = filledBaseline();
    for (auto _ : state) {
        for (ULONG tag : bag->tagSnapshot()) {
            benchmark::DoNotOptimize(tag);
        }
    }
}
BENCHMARK(Map_Enumerate);

} // namespace

BENCHMARK_MAIN();
