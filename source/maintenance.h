// Maintenance of one board: its self-test, and its self-calibration with the optional reset of its
// signal routing before it.
//
// Both actions reach the board only through libraries loaded by name for the length of the call:
// the board driver library for the self-test; the reset library "qvrocoapi" and a self-calibration
// library for the self-calibration. A failure code of the board's own function is handed back to
// the host as decimal text; every other failure only through the result.
#pragma once

#include "platform/win32.h"
#include "support/status.h"

namespace qvkelpsysapiexpert {

class BoardContext;

// The work of SelfTestResource behind the host boundary. An unreadable board leaves its failure in
// the status and loads nothing; a missing library or function throws; a test mode other than 0
// gives HW_E_UNSUPPORTED_TEST_MODE, once the library has been found. The self-test's code goes into
// the status and, when it is a failure, as decimal text into *errorText.
HRESULT runSelfTest(BoardContext& board, ULONG testMode, BSTR* errorText, nQVOSALS100::tStatus* status);

// The work of SelfCalibrateResource behind the host boundary. Boards of interface version 4 or
// above may ask for their routing to be reset first; the reset session stays open until the
// self-calibration has returned. An unreadable board leaves its failure in the status and loads
// nothing; a missing library or function and a failure of the reset throw. The calibration's code
// goes into the status and, when it is a failure, as decimal text into *errorText.
HRESULT runSelfCalibration(BoardContext& board, BSTR* errorText, nQVOSALS100::tStatus* status);

} // namespace qvkelpsysapiexpert
