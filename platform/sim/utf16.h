// UTF-16 text as the simulation needs it, on both of its sides.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace winsim {

// The UTF-8 form of UTF-16 text. An unpaired surrogate, which Windows allows in names but UTF-8
// cannot carry, becomes U+FFFD.
std::string utf8FromUtf16(std::u16string_view text);

// The UTF-16 form of UTF-8 text; empty when the text is not valid UTF-8.
std::optional<std::u16string> utf16FromUtf8(std::string_view text);

} // namespace winsim
