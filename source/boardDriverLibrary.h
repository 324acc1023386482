// The shared steps of the operations that reach a board through its driver library: the device path
// of the board's main interface, which the library's functions take, and loading the library, whose
// name prefixes every function (qvkelpdrvu + "_selfTest").
#pragma once

#include "enumeration/tBasicString.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "platform/win32.h"
#include "support/dynload.h"
#include "support/status.h"

#include <string>

namespace qvkelpsysapiexpert {

// The item name one byte per wide character; throws std::runtime_error "unexpected return value
// from wcstombs()" when a character does not fit in one byte (a null name is refused alike).
nQVOSALS100::tBasicString narrowItemName(const WCHAR* itemName, nQVOSALS100::tStatus* status);

// The device path of the first present interface of the board's "mainInterface" class (read from
// the board interface's "Properties" key). Does nothing when the status holds an error; a path
// longer than the 256-byte detail record allows reports -52019.
void findMainInterfacePath(const nQVOSALS100::tBasicString& itemName, nQVOSALS100::tDevicePath& path,
                           nQVOSALS100::tStatus* status);
// The same through the board interface the caller already stands on.
void findMainInterfacePath(nQVOSALS100::tDeviceInterfaceIterator& board, const nQVOSALS100::tBasicString& itemName,
                           nQVOSALS100::tDevicePath& path, nQVOSALS100::tStatus* status);

// The board driver library's name, the "driverBaseName" of the board interface with "u" appended:
// the prefix of its functions. Loads that library into `library` unless it is loaded already (at
// most once per host call) or the status holds an error, in which case the prefix is empty and
// nothing is loaded. A library that does not load throws qverr::Exception.
std::string loadBoardDriverLibrary(const WCHAR* itemName, dynload::LibraryHandle& library,
                                   nQVOSALS100::tStatus* status);

} // namespace qvkelpsysapiexpert
