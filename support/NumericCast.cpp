#include "support/NumericCast.h"

#include "support/BrixException.h"

namespace qv::brix {

void throwNumericCastOutOfRange() {
    throw exception::OutOfRange(__FILE__, __LINE__);
}

} // namespace qv::brix
