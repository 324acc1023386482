// Built as code of host/ (hwconfig), which loads the module by name: must not compile.
#include "source/boardContext.h"
