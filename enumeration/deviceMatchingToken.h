// The two texts that name a board.
//
// The device matching token is the board's device instance ID exactly as the system reports it; it
// becomes the board's item name. The PCI identity token is made of the board's PCI identity
// registers and its PCI slot path, e.g. PCI:VEN_ABCD&DEV_1234&SUBSYS_ABCD5678&REV_01/0000:00:E0:00;
// it keys the board's record in stored files, so its form must never change.
#pragma once

#include "enumeration/tBasicString.h"
#include "enumeration/tDeviceInterfaceIterator.h"
#include "platform/win32.h"
#include "support/status.h"

namespace nQVOSALS100 {

// On failure the token is empty.
void getDeviceMatchingToken(HDEVINFO deviceInfoSet, const SP_DEVINFO_DATA& deviceInfo, tBasicString& token,
                            tStatus* status);
// Replaces `token` with the identity of the board at the iterator's position; on failure the token
// is empty.
void buildPCIIdentityToken(tDeviceInterfaceIterator& iterator, tBasicString& token, tStatus* status);
void appendPCISlotPath(tDeviceInterfaceIterator& iterator, tBasicString& text, tStatus* status);

} // namespace nQVOSALS100
