// Built as code of source/, the top of the module, which reaches the system only through
// platform/win32.h: must not compile.
#include "platform/sim/device/machine.h"
