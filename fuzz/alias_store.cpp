// aliases.json as any other process may have left it, through every step of the alias store:
// open for reading, look a board up, check an alias, open for update, replace a record, write back.
// Only the failures the store documents may come out (qverr::Exception, a thrown HRESULT,
// std::bad_alloc); a refused file stays byte for byte as it was; a written one reads back.
#include "com/hostBoundary.h"
#include "source/aliases/AliasStore.h"
#include "tests/common/report_machine.h"
#include "support/cJSONUtils.h"
#include "support/errorException.h"
#include "support/status.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

namespace {

const std::string kToken = "PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:01";

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
    static const reporttest::InstalledMachine machine; // no boards: drive C and its alias file
    const reporttest::AliasDrive& drive = machine.drive();
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
