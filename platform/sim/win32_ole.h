// Part of the simulated Windows; declarations are added by the area that implements them.
#pragma once

#include "platform/sim/win32_types.h"
