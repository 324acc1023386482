// Built as code of support/, which stands below source/: must not compile.
#include "source/boardContext.h"
