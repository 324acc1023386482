// Everything of the host's side of the contract.
#pragma once

#include "hwsys/hwsys_base.h"
#include "hwsys/hwsys_enumerators.h"
#include "hwsys/hwsys_errors.h"
#include "hwsys/hwsys_expert.h"
#include "hwsys/hwsys_propertybag.h"
#include "hwsys/hwsys_tags.h"
#include "hwsys/hwsys_types.h"
#include "hwsys/hwsys_unknown.h"
