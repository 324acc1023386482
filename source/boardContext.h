// A board as one host call knows it. The host names a board by its item name; the operations need
// what that name resolves to - the narrow name, the board's interface, the device path of its main
// interface, the name of its driver library and the library itself. A BoardContext is made once per
// host call and resolves each of these the first time an operation asks for it, so that no step
// runs twice in a call and every operation still meets the failures in the order it asks: a step
// does nothing when the status already holds an error, and later asks take the first result.
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
    // The device path of the first present interface of the board's "mainInterface" class (read
    // from the board interface's "Properties" key); a path longer than the 256-byte detail record
    // allows reports -52019.
    const nQVOSALS100::tDevicePath& mainPath(nQVOSALS100::tStatus* status);
    // The board driver library's name, the "driverBaseName" of the board interface with "u"
    // appended: the prefix of its functions. Empty when it cannot be read.
    const std::string& driverModule(nQVOSALS100::tStatus* status);
    // The board driver library, loaded once its name is read; null, with nothing loaded, when the
    // status holds an error. A library that does not load throws qverr::Exception.
    const dynload::LibraryHandle* driverLibrary(nQVOSALS100::tStatus* status);

    // A function of the loaded driver library by its suffix ("_selfTest"); throws
    // qverr::Exception when the library has none of that name.
    template <typename Function> Function driverFunction(const char* suffix) const {
        return driverLibrary_.getFunction<Function>((*driverModule_ + suffix).c_str());
    }

private:
    const WCHAR* itemName_;
    std::optional<nQVOSALS100::tBasicString> name_;
    std::optional<nQVOSALS100::tDeviceInterfaceIterator> board_;
    std::optional<nQVOSALS100::tDevicePath> mainPath_;
    std::optional<std::string> driverModule_;
    dynload::LibraryHandle driverLibrary_;
};

} // namespace qvkelpsysapiexpert
