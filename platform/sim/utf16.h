// UTF-16 text as the Linux side of the simulation needs it.
#pragma once

#include <string>
#include <string_view>

namespace winsim {

// The UTF-8 form of UTF-16 text. An unpaired surrogate, which Windows allows in names but UTF-8
// cannot carry, becomes U+FFFD.
std::string utf8FromUtf16(std::u16string_view text);

} // namespace winsim
