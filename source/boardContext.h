// A board as one host call knows it. The host names a board by its item name; the operations need
// what that name resolves to - the narrow name, the board's interface, the device paths of its
// interfaces, the name of its driver library and the library itself. A BoardContext is made once
// per host call and resolves each of these the first time an operation asks for it, so that no step
// runs twice in a call and every operation still meets the failures in the order it asks: a step
// does nothing when the status already holds an error, and later asks take the first result.
//
// Every device set the call opens by the item name is opened here. An empty item name names no
// device: its sets are empty, made without asking the system for any device, so that it answers
// as a name of no present board does (the system would take an empty enumerator for no
// restriction at all and hand over every board).
#pragma once

#include "enumeration/tBasicString.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "platform/win32.h"
#include "support/dynload.h"
#include "support/status.h"

#include <optional>
#include <string>

namespace qvkelpsysapiexpert {

// The item name one byte per wide character; throws std::runtime_error "unexpected return value
// from wcstombs()" when a character does not fit in one byte (a null name is refused alike).
nQVOSALS100::tBasicString narrowItemName(const WCHAR* itemName, nQVOSALS100::tStatus* status);

// The board driver library as the call loaded it, the one way to its functions: a function cannot
// be looked for before the library is there.
class BoardDriverLibrary {
public:
    // The library's name, the prefix of its functions' names ("qvkelpdrvu").
    const std::string& name() const { return name_; }
    // A function of the library by its suffix ("_selfTest"), which follows the library's name;
    // throws qverr::Exception when the library has none of that name.
    template <typename Function> Function function(const char* suffix) const {
        return library_.getFunction<Function>((name_ + suffix).c_str());
    }

private:
    friend class BoardContext;
    std::string name_;
    dynload::LibraryHandle library_;
};

class BoardContext {
public:
    explicit BoardContext(const WCHAR* itemName) : itemName_(itemName) {}
    BoardContext(const BoardContext&) = delete;
    BoardContext& operator=(const BoardContext&) = delete;

    const WCHAR* itemName() const { return itemName_; }
    // The item name narrowed by narrowItemName's rule.
    const nQVOSALS100::tBasicString& name(nQVOSALS100::tStatus* status);
    // The board's interface: the first present board interface of the device the name names. A
    // name that names no board leaves it invalid; the first read through it then fails.
    nQVOSALS100::tDeviceInterfaceIterator& board(nQVOSALS100::tStatus* status);
    // The board's interface for an operation that must not go on without one: a name that names
    // no present board records osalStatusResourceNotFound.
    nQVOSALS100::tDeviceInterfaceIterator& presentBoard(nQVOSALS100::tStatus* status);
    // The device path of the first present interface of the board's "mainInterface" class (read
    // from the board interface's "Properties" key); a path longer than the 256-byte detail record
    // allows reports -52019.
    const nQVOSALS100::tDevicePath& mainPath(nQVOSALS100::tStatus* status);
    // The device path of the board's first present interface of `interfaceClass`; false, with the
    // error in the status, when there is none or it cannot be had.
    bool interfacePath(const GUID& interfaceClass, nQVOSALS100::tDevicePath& path, nQVOSALS100::tStatus* status);
    // The board driver library, "driverBaseName" of the board interface with "u" appended, loaded
    // once per call; null, with nothing loaded, when the status holds an error. A library that does
    // not load throws qverr::Exception.
    const BoardDriverLibrary* driverLibrary(nQVOSALS100::tStatus* status);

private:
    const WCHAR* itemName_;
    std::optional<nQVOSALS100::tBasicString> name_;
    std::optional<nQVOSALS100::tDeviceInterfaceIterator> board_;
    std::optional<nQVOSALS100::tDevicePath> mainPath_;
    BoardDriverLibrary driverLibrary_;
};

} // namespace qvkelpsysapiexpert
