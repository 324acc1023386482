// aliases.json as any other process may have left it, through every step of the alias store:
// open for reading, look a board up, check an alias, open for update, replace a record, write back.
// Only the failures the store documents may come out (qverr::Exception, a thrown HRESULT,
// std::bad_alloc); a refused file stays byte for byte as it was; a written one reads back.
#include "com/hostBoundary.h"
#include "platform/sim/device/machine.h"
#include "source/aliases/AliasStore.h"
#include "support/cJSONUtils.h"
#include "support/errorException.h"
#include "support/status.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>

namespace {

const std::string kToken = "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:01";

// A fresh drive C holding the maker's folder, for the life of the process.
class AliasDrive {
public:
    AliasDrive() {
        std::string pattern = (std::filesystem::temp_directory_path() / "fuzz-aliases-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        root_ = pattern;
        std::filesystem::create_directories(file().parent_path());
        sim::Machine machine;
        machine.mapDrive('C', root_.string());
        sim::installMachine(machine);
    }
    ~AliasDrive() { std::filesystem::remove_all(root_); }

    std::filesystem::path file() const { return root_ / "ProgramData" / "Quorvel" / "QV-KELP" / "aliases.json"; }
    void write(const std::string& text) const { std::ofstream(file(), std::ios::binary | std::ios::trunc) << text; }
    std::string read() const {
        std::ifstream in(file(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path root_;
};

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Runs `step`; true when it ran through, false when it failed in a documented way.
template <class Step> bool documentedOutcome(Step step) {
    try {
        return step();
    } catch (const qverr::Exception&) {
    } catch (const qvkelpsysapiexpert::tThrownHResult&) {
    } catch (const std::bad_alloc&) {
    }
    return false;
}

bool readsBack(const std::string& alias) {
    nQVOSALS100::tStatus status;
    AliasStore store;
    return store.openForRead(&status) && store.readAlias(kToken) == alias;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const AliasDrive drive;
    const std::string before(reinterpret_cast<const char*>(data), size);
    drive.write(before);

    documentedOutcome([] {
        nQVOSALS100::tStatus status;
        AliasStore store;
        if (!store.openForRead(&status)) {
            return false;
        }
        static_cast<void>(store.readAlias(kToken));
        static_cast<void>(store.isAliasInUse("Fuzzed"));
        return true;
    });
    bool written = false;
    const bool updated = documentedOutcome([&written] {
        nQVOSALS100::tStatus status;
        AliasStore store;
        if (!store.openForUpdate(&status)) {
            return false;
        }
        static_cast<void>(store.isAliasInUse("Fuzzed"));
        cJSONUtils::Tree record = cJSONUtils::createObject();
        cJSONUtils::addString(record.get(), "alias", "Fuzzed");
        store.replaceDeviceRecord(kToken, record.get());
        written = store.writeBack(&status);
        return written;
    });
    if (!written) {
        require(drive.read() == before);
    }
    if (updated) {
        require(readsBack("Fuzzed"));
    }
    return 0;
}
