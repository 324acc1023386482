// The report of one board's properties - identity, location, link, alias, calibration,
// temperatures and device paths - and the two host operations that hand such reports out.
#pragma once

#include "hwsys/hwsys_expert.h"
#include "platform/win32.h"
#include "source/aliases/AliasStore.h"
#include "support/status.h"
#include "support/unique_any.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace qvkelpsysapiexpert {

class BoardContext;

// The alias file as one host call reads it: read under its shared lock when the first board's
// report needs it, and its records kept, so that every board of one ReportResources sees one file
// and a large file is parsed once, not once a board. The lock is released at once: a host's
// callback between two boards may rename a board (which takes the exclusive lock), and no writer
// waits for a whole listing. A file that cannot be opened is tried again for the next board, as
// each board's report tried it before.
class AliasSnapshot {
public:
    // False when the file cannot be opened, the status then saying why; the store's own throws
    // pass through.
    bool open(nQVOSALS100::tStatus* status);
    // Once open: the alias stored for the board whose key is `token`, as AliasStore::readAlias
    // reads it, or nothing when the board has no record.
    std::optional<std::string> readAlias(const std::string& token) const;

private:
    // A copy of the file's "devices", taken under the lock.
    qv::unique_cjson devices_;
    // The first record of each key, the key in lower case, as AliasStore::findDeviceRecord finds it
    // (the first whose key equals ignoring ASCII case): that walks every record, and a listing of 72
    // boards against 10,000 records spent most of its time walking.
    std::unordered_map<std::string, const cJSON*> firstRecordByKey_;
};

// Fills the empty `bag` with the properties of the board. Does nothing when the
// status holds an error on entry. A board that cannot be read leaves its first error in the status
// (the bag then still holds what could be set, for the caller to discard); a failing bag setter is
// thrown as its HRESULT, a driver library that does not load or lacks a function as qverr::Exception,
// and a text that does not convert byte for byte as std::runtime_error. Everything the report opens
// is released on every path.
// The board's alias comes from `aliases`.
void ReportDeviceProperties(BoardContext& board, IhwSysPropertyBag3* bag, AliasSnapshot& aliases,
                            nQVOSALS100::tStatus* status);

// The work of ReportResources behind the host boundary: one report per board present, each handed
// to the collection. S_OK when a bag was handed over, S_FALSE when there was none. A board whose
// report fails throws E_FAIL, a collection that refuses a bag throws its HRESULT; a failed listing
// stays in the status, which then decides the host's result. The alias file is read once for all
// the boards (AliasSnapshot).
HRESULT reportResources(IhwSysHostCollection* collection, nQVOSALS100::tStatus* status);

// The work of GetResourceProperties behind the host boundary: the board's bag in *bag, unless the
// report failed, in which case nothing is handed out.
void getResourceProperties(BoardContext& board, IhwSysPropertyBag** bag, nQVOSALS100::tStatus* status);

} // namespace qvkelpsysapiexpert
