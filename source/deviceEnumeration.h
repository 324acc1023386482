// Listing the boards present: every board of the family exposes a device interface of one class,
// and its item name - the one name by which the host and the expert refer to it - is the device
// instance ID of the device that owns that interface.
#pragma once

#include "enumeration/boardInterfaceClass.h"
#include "hwsys/hwsys_enumerators.h"
#include "platform/win32.h"
#include "propertybag/ChwSysEnumSTL.h"
#include "support/status.h"

namespace qvkelpsysapiexpert {

// Item names in the system's enumeration order; a device with two board interfaces appears twice.
using BoardItemNameList = tItemNameList;

// Appends the item names of all present boards. Does nothing when the status holds an error; on a
// failure the names listed before it stay in the list.
void ListDeviceItemNames(BoardItemNameList& names, nQVOSALS100::tStatus* status);

// The work of EnumerateItemNames behind the host boundary: an enumerator over the item names in
// *itemNames (S_OK), or S_FALSE and nothing when no board is present. A failure of the listing is
// left in the status; a failing enumerator creator is thrown as its HRESULT.
HRESULT enumerateItemNames(IhwSysEnumStringList** itemNames, nQVOSALS100::tStatus* status);

} // namespace qvkelpsysapiexpert
