// Texts from a settings file on their way to a terminal.
#pragma once

#include <string>
#include <string_view>

namespace pw {

// The text with every byte below 0x20 and 0x7F, the C1 controls (as UTF-8
// or as lone bytes 0x80 to 0x9F) and the bidirectional overrides and
// isolates shown as \xHH, so that a crafted name cannot move the cursor,
// clear the screen, retitle the terminal or make a line read backwards.
// Other bytes pass unchanged.
std::string Printable(std::string_view text);

}  // namespace pw
