// Texts from a settings file on their way to a terminal.
#pragma once

#include <string>
#include <string_view>

namespace pw {

// The text with every byte below 0x20 and 0x7F shown as \xHH, so that a
// crafted name cannot move the cursor, clear the screen or retitle the
// terminal. Other bytes pass unchanged.
std::string Printable(std::string_view text);

}  // namespace pw
