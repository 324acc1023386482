// The alias store against bare cJSON on the same file in the same run: opening for reading plus
// one lookup against reading and parsing; opening for update plus one rewrite against reading,
// parsing, printing and writing. And a read beside 100,000 empty journal names anyone may plant.
#include "bare_cjson.h"
#include "platform/sim/device/machine.h"
#include "source/aliases/AliasStore.h"
#include "support/cJSONUtils.h"
#include "support/status.h"
#include "support/unique_any.h"
#include "tests/common/host_platform.h"

#include <benchmark/benchmark.h>
#include <cjson/cJSON.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

std::string tokenOf(int board) {
    char text[96];
    std::snprintf(text, sizeof text, "PCI:VEN_ABCD&DEV_%04X&SUBSYS_ABCD5678&REV_01/0000:%02X:%02X:00",
                  board & 0xFFFF, (board >> 8) & 0xFF, board & 0xFF);
    return text;
}

cJSONUtils::Tree recordOf(int board) {
    cJSONUtils::Tree record = cJSONUtils::createObject();
    cJSON* r = record.get();
    cJSONUtils::addString(r, "alias", ("board-" + std::to_string(board)).c_str());
    cJSONUtils::addBool(r, "simulated", false);
    cJSONUtils::addNumber(r, "vendor_id", 0xABCD);
    cJSONUtils::addString(r, "vendor_name", "Quorvel");
    cJSONUtils::addNumber(r, "device_id", static_cast<std::uint32_t>(board));
    cJSONUtils::addNumber(r, "subsystem_id", 0x5678);
    cJSONUtils::addString(r, "model_name", "QV-KELP 4410");
    cJSONUtils::addString(r, "serial_number", "01A2B3C4");
    cJSONUtils::addBool(r, "is_product_qv", true);
    cJSONUtils::addNumber(r, "pxi_chassis_number", 1);
    cJSONUtils::addNumber(r, "pxi_slot_number", 3);
    cJSONUtils::addNumber(r, "pxi_connects_to_num_slots", 1);
    return record;
}

// One temporary drive C per store size, holding an alias file of that many records.
class Drives {
public:
    ~Drives() {
        for (const auto& [records, folder] : folders_) {
            std::filesystem::remove_all(folder);
        }
    }

    // Installs the machine whose alias file has `records` records; returns the file's real path.
    std::string use(int records) {
        auto found = folders_.find(records);
        if (found == folders_.end()) {
            found = folders_.emplace(records, create(records)).first;
        }
        sim::Machine machine;
        machine.mapDrive('C', found->second.string());
        sim::installMachine(machine);
        return (found->second / "ProgramData" / "Quorvel" / "QV-KELP" / "aliases.json").string();
    }

private:
    static std::filesystem::path create(int records) {
        const std::filesystem::path drive = hostplatform::makeTemporaryFolder("aliasbench");
        const std::filesystem::path folder = drive / "ProgramData" / "Quorvel" / "QV-KELP";
        std::filesystem::create_directories(folder);
        cJSONUtils::Tree root = cJSONUtils::createObject();
        cJSONUtils::addString(root.get(), "format", "1");
        cJSON* devices = cJSONUtils::addCopy(root.get(), "devices", cJSONUtils::createObject().get());
        for (int board = 0; board < records; ++board) {
            cJSONUtils::addCopy(devices, tokenOf(board).c_str(), recordOf(board).get());
        }
        std::ofstream(folder / "aliases.json", std::ios::binary) << cJSONUtils::print(root.get());
        return drive;
    }

    std::map<int, std::filesystem::path> folders_;
};

Drives drives;

// Plants `count` empty aliases.json.recovery-* files beside the alias file at `path`, once.
void plantEmptyJournals(const std::string& path, int count) {
    for (int i = 0; i < count; ++i) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "-%016x", i);
        const std::string name = path + ".recovery" + suffix;
        if (!std::filesystem::exists(name)) {
            std::ofstream created(name, std::ios::binary);
        }
    }
}

// Each iteration opens the file for reading, as a report does, and looks one board up.
void openForReadAndLookUp(benchmark::State& state, const std::string& token) {
    for (auto _ : state) {
        nQVOSALS100::tStatus status;
        AliasStore store;
        if (!store.openForRead(&status)) {
            state.SkipWithError("open failed");
            break;
        }
        benchmark::DoNotOptimize(store.readAlias(token));
    }
}

void StoreOpenForReadAndLookup(benchmark::State& state) {
    drives.use(static_cast<int>(state.range(0)));
    const std::string token = tokenOf(static_cast<int>(state.range(0)) / 2);
    openForReadAndLookUp(state, token);
}

// A read of a small file with state.range(0) empty journal names planted beside it.
void StoreOpenForReadBesidePlantedJournals(benchmark::State& state) {
    plantEmptyJournals(drives.use(11), static_cast<int>(state.range(0))); // a drive of its own
    const std::string token = tokenOf(5);
    openForReadAndLookUp(state, token);
}

void BaselineReadAndParse(benchmark::State& state) {
    const std::string path = drives.use(static_cast<int>(state.range(0)));
    const std::string token = tokenOf(static_cast<int>(state.range(0)) / 2);
    for (auto _ : state) {
        const qv::unique_file file(std::fopen(path.c_str(), "rb"));
        const std::string text = barecjson::readAll(file.get());
        const qv::unique_cjson root(cJSON_Parse(text.c_str()));
        benchmark::DoNotOptimize(cJSON_GetObjectItem(cJSON_GetObjectItem(root.get(), "devices"), token.c_str()));
    }
}

void StoreOpenForUpdateAndRewrite(benchmark::State& state) {
    drives.use(static_cast<int>(state.range(0)));
    const int board = static_cast<int>(state.range(0)) / 2;
    const std::string token = tokenOf(board);
    const cJSONUtils::Tree record = recordOf(board);
    for (auto _ : state) {
        nQVOSALS100::tStatus status;
        AliasStore store;
        if (!store.openForUpdate(&status)) {
            state.SkipWithError("open failed");
            break;
        }
        store.replaceDeviceRecord(token, record.get());
        if (!store.writeBack(&status)) {
            state.SkipWithError("write failed");
            break;
        }
    }
}

void BaselineParsePrintAndWrite(benchmark::State& state) {
    const std::string path = drives.use(static_cast<int>(state.range(0)));
    const int board = static_cast<int>(state.range(0)) / 2;
    const std::string token = tokenOf(board);
    const cJSONUtils::Tree record = recordOf(board);
    for (auto _ : state) {
        barecjson::replaceRecord(path, token.c_str(), record.get());
    }
}

} // namespace

BENCHMARK(StoreOpenForReadAndLookup)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StoreOpenForReadBesidePlantedJournals)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BaselineReadAndParse)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StoreOpenForUpdateAndRewrite)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BaselineParsePrintAndWrite)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
