// RenameResource on an alias file of 10,000 records against bare cJSON doing the least a rename
// must: read, parse, replace one record, print and write the same file back.
#include "bare_cjson.h"
#include "com/com_ptr.h"
#include "hwsys/hwsys.h"
#include "source/ChwSysExpertKELP.h"
#include "tests/common/report_machine.h"

#include <benchmark/benchmark.h>
#include <cjson/cJSON.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRecords = 10000;
const std::string kItemName = reporttest::boardId(0);
const std::string kToken = reporttest::identityToken(0);

std::string record(int board, const std::string& alias) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "\t\t\"PCI:VEN_ABCD&DEV_%04X&SUBSYS_ABCD5678&REV_01/0000:%02X:%02X\":\t{\n"
                  "\t\t\t\"alias\":\t\"%s\",\n\t\t\t\"simulated\":\tfalse,\n\t\t\t\"vendor_id\":\t43981,\n"
                  "\t\t\t\"vendor_name\":\t\"Quorvel\",\n\t\t\t\"device_id\":\t%d,\n\t\t\t\"subsystem_id\":\t22136,\n"
                  "\t\t\t\"model_name\":\t\"QV-KELP 4410\",\n\t\t\t\"serial_number\":\t\"01A2B3C4\",\n"
                  "\t\t\t\"is_product_qv\":\ttrue,\n\t\t\t\"pxi_chassis_number\":\t1,\n"
                  "\t\t\t\"pxi_slot_number\":\t3,\n\t\t\t\"pxi_connects_to_num_slots\":\t1\n\t\t}",
                  board & 0xFFFF, (board >> 8) & 0xFF, board & 0xFF, alias.c_str(), board);
    return text;
}

// A machine of one board whose drive C holds an alias file of kRecords other boards' records.
class BenchMachine {
public:
    BenchMachine() {
        std::string text = "{\n\t\"devices\":\t{\n";
        for (int board = 0; board < kRecords; ++board) {
            text += record(board, "board-" + std::to_string(board)) + ",\n";
        }
        text.erase(text.size() - 2);
        text += "\n\t}\n}";
        machine_.drive().write(text);
    }

    std::string aliasFile() const { return machine_.drive().aliasFile().string(); }

private:
    reporttest::InstalledMachine machine_{std::vector<reporttest::BoardSpec>(1)};
};

BenchMachine machine;

void RenameResourceOn10000Records(benchmark::State& state) {
    qv::com_ptr<IhwSysExpert2> expert;
    if (qvkelpsysapiexpert::createExpert(expert.put()) != S_OK) {
        state.SkipWithError("no expert");
        return;
    }
    const std::u16string item(kItemName.begin(), kItemName.end());
    const std::u16string aliases[] = {u"bench-a", u"bench-b"};
    int round = 0;
    for (auto _ : state) {
        LONG inUse = 0;
        void* reserved = nullptr;
        if (expert->RenameResource(item.c_str(), aliases[++round % 2].c_str(), 0, &inUse, &reserved) != S_OK) {
            state.SkipWithError("rename failed");
            break;
        }
    }
}

void BareCJsonParsePrintWriteOn10000Records(benchmark::State& state) {
    const qv::unique_cjson fresh(
        cJSON_Parse(("{" + record(70000, "bench-c").substr(2) + "}").c_str()));
    for (auto _ : state) {
        barecjson::replaceRecord(machine.aliasFile(), kToken.c_str(), fresh.get()->child);
    }
}

// The crash-safe floor: the same, with the old and new text written to a second file and flushed
// to the disk before the rewrite, the file flushed to the disk after it, and only then the second
// file removed.
void BareCJsonCrashSafeRewriteOn10000Records(benchmark::State& state) {
    const qv::unique_cjson fresh(
        cJSON_Parse(("{" + record(70000, "bench-c").substr(2) + "}").c_str()));
    const std::string journal = machine.aliasFile() + ".floor";
    for (auto _ : state) {
        barecjson::replaceRecord(machine.aliasFile(), kToken.c_str(), fresh.get()->child, journal.c_str());
    }
}

} // namespace

// Interleaved, so that the machine's load falls on all three alike: compare the rename with the
// crash-safe floor (docs/aliases-file.md gives the figures).
BENCHMARK(RenameResourceOn10000Records)->Unit(benchmark::kMillisecond);
BENCHMARK(BareCJsonCrashSafeRewriteOn10000Records)->Unit(benchmark::kMillisecond);
BENCHMARK(BareCJsonParsePrintWriteOn10000Records)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
