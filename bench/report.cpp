// A board's property report against what it cannot avoid, in one run:
// - GetResourceProperties with a 10,000-record alias file next to reading, parsing and looking up
//   the same file with bare cJSON;
// - ReportResources on 1, 8 and 72 boards, as time per board;
// - the peak heap of one report with that alias file next to the parsed cJSON tree alone. Heap is
//   counted for the C++ allocator and cJSON (whose hooks this program installs); the C runtime's
//   own buffers are not counted.
#include "source/ChwSysExpertKELP.h"
#include "tests/common/report_machine.h"
#include "tests/common/host_collection.h"
#include "com/com_ptr.h"

#include <benchmark/benchmark.h>
#include <cjson/cJSON.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

namespace {

// Live and peak bytes of the counted allocators; each block carries its size in front.
std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* countedAllocate(std::size_t size) noexcept {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) {
        return nullptr;
    }
    *reinterpret_cast<std::size_t*>(block) = size;
    const std::size_t live = liveBytes.fetch_add(size) + size;
    std::size_t peak = peakBytes.load();
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
    return block + kHeader;
}

void countedFree(void* pointer) noexcept {
    if (pointer == nullptr) {
        return;
    }
    unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
    liveBytes.fetch_sub(*reinterpret_cast<std::size_t*>(block));
    std::free(block);
}

// The peak above the bytes live when the measurement starts.
class PeakMeasurement {
public:
    PeakMeasurement() : start_(liveBytes.load()) { peakBytes.store(start_); }
    std::size_t peakAboveStart() const { return peakBytes.load() - start_; }

private:
    std::size_t start_;
};

constexpr int kAliasRecords = 10000;

std::string otherToken(int record) {
    char text[96];
    std::snprintf(text, sizeof text, "PCI:VEN_ABCD&DEV_%04X&SUBSYS_ABCD5678&REV_01/0000:%02X:%02X:00",
                  record & 0xFFFF, (record >> 8) & 0xFF, record & 0xFF);
    return text;
}

// 10,000 records with the fields the module writes; board 0's record sits in the middle.
std::string largeAliasFile() {
    std::string text = "{\n\t\"devices\":\t{\n";
    for (int record = 0; record < kAliasRecords; ++record) {
        const std::string token = record == kAliasRecords / 2 ? reporttest::identityToken(0) : otherToken(record);
        text += "\t\t\"" + token + "\":\t{\n\t\t\t\"alias\":\t\"board-" + std::to_string(record) +
                "\",\n\t\t\t\"simulated\":\tfalse,\n\t\t\t\"vendor_id\":\t43981,\n\t\t\t\"vendor_name\":\t\"Quorvel\","
                "\n\t\t\t\"device_id\":\t" +
                std::to_string(record) +
                ",\n\t\t\t\"subsystem_id\":\t22136,\n\t\t\t\"model_name\":\t\"QV-KELP 4410\",\n\t\t\t"
                "\"serial_number\":\t\"01A2B3C4\",\n\t\t\t\"is_product_qv\":\ttrue,\n\t\t\t\"pxi_chassis_number\":\t1,"
                "\n\t\t\t\"pxi_slot_number\":\t3,\n\t\t\t\"pxi_connects_to_num_slots\":\t1\n\t\t}" +
                (record + 1 < kAliasRecords ? ",\n" : "\n");
    }
    return text + "\t}\n}";
}

qv::com_ptr<IhwSysExpert2> newExpert() {
    qv::com_ptr<IhwSysExpert2> expert;
    if (qvkelpsysapiexpert::createExpert(expert.put()) != S_OK) {
        std::abort();
    }
    return expert;
}

// One machine of `boards` boards, on a drive whose alias file is `aliases`.
class BenchMachine {
public:
    BenchMachine(int boards, const std::string& aliases) : machine_(std::vector<reporttest::BoardSpec>(boards)) {
        machine_.drive().write(aliases);
    }
    std::string aliasFile() const { return machine_.drive().aliasFile().string(); }

private:
    reporttest::InstalledMachine machine_;
};

struct NullCollection : public TestHostCollection {
    HRESULT STDMETHODCALLTYPE AddToHostCollection(IhwSysPropertyBag*) override { return S_OK; }
};

const std::u16string& board0Name() {
    static const std::string name = reporttest::boardId(0);
    static const std::u16string wide(name.begin(), name.end());
    return wide;
}

HRESULT reportBoard0(IhwSysExpert2* expert) {
    IhwSysPropertyBag* bag = nullptr;
    const HRESULT result = expert->GetResourceProperties(board0Name().c_str(), &bag);
    if (bag != nullptr) {
        bag->Release();
    }
    return result;
}

std::string readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void GetResourcePropertiesWithLargeAliasFile(benchmark::State& state) {
    const BenchMachine machine(1, largeAliasFile());
    const auto expert = newExpert();
    for (auto _ : state) {
        if (reportBoard0(expert.get()) != S_OK) {
            state.SkipWithError("the report failed");
            break;
        }
    }
}

void BaselineParseAndLookupOfLargeAliasFile(benchmark::State& state) {
    const BenchMachine machine(1, largeAliasFile());
    const std::string token = reporttest::identityToken(0);
    for (auto _ : state) {
        const std::string text = readWholeFile(machine.aliasFile());
        cJSON* root = cJSON_Parse(text.c_str());
        benchmark::DoNotOptimize(cJSON_GetObjectItem(cJSON_GetObjectItem(root, "devices"), token.c_str()));
        cJSON_Delete(root);
    }
}

constexpr int kLargestMachine = 72;

// Every machine shares one alias file, naming the boards of the largest: the file's size is the
// same in every run, so the figure per board shows how the report scales with the board count.
void ReportResources(benchmark::State& state) {
    const int boards = static_cast<int>(state.range(0));
    std::vector<std::uint32_t> indices(kLargestMachine);
    for (int i = 0; i < kLargestMachine; ++i) {
        indices[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i);
    }
    const BenchMachine machine(boards, reporttest::aliasFileNaming(indices));
    const auto expert = newExpert();
    NullCollection collection;
    for (auto _ : state) {
        if (expert->ReportResources(&collection) != S_OK) {
            state.SkipWithError("ReportResources failed");
            break;
        }
    }
    state.counters["per_board"] =
        benchmark::Counter(boards, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void PeakHeapOfOneReport(benchmark::State& state) {
    const BenchMachine machine(1, largeAliasFile());
    const auto expert = newExpert();
    std::size_t peak = 0;
    for (auto _ : state) {
        const PeakMeasurement measurement;
        reportBoard0(expert.get());
        peak = measurement.peakAboveStart();
    }
    state.counters["peak_bytes"] = static_cast<double>(peak);
}

void HeapOfParsedTreeAlone(benchmark::State& state) {
    const BenchMachine machine(1, largeAliasFile());
    const std::string text = readWholeFile(machine.aliasFile());
    std::size_t treeBytes = 0;
    for (auto _ : state) {
        const std::size_t before = liveBytes.load();
        cJSON* root = cJSON_Parse(text.c_str());
        treeBytes = liveBytes.load() - before;
        cJSON_Delete(root);
    }
    state.counters["tree_bytes"] = static_cast<double>(treeBytes);
    state.counters["file_bytes"] = static_cast<double>(text.size());
}

} // namespace

void* operator new(std::size_t size) {
    if (void* block = countedAllocate(size)) {
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* pointer) noexcept {
    countedFree(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    countedFree(pointer);
}

BENCHMARK(GetResourcePropertiesWithLargeAliasFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BaselineParseAndLookupOfLargeAliasFile)->Unit(benchmark::kMillisecond);
BENCHMARK(ReportResources)->Arg(1)->Arg(8)->Arg(kLargestMachine)->Unit(benchmark::kMicrosecond);
BENCHMARK(PeakHeapOfOneReport)->Iterations(3);
BENCHMARK(HeapOfParsedTreeAlone)->Iterations(3);

int main(int argc, char** argv) {
    cJSON_Hooks hooks = {countedAllocate, countedFree};
    cJSON_InitHooks(&hooks);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
