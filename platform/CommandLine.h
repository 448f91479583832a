#pragma once

#include <string>
#include <vector>

namespace pw {

// Splits a parameter string the way a Windows program's start-up code does:
// blanks separate arguments outside double quotes, the quotes themselves are
// removed, 2n backslashes before a quote give n backslashes and 2n+1 give n
// and a literal quote, and "" inside quotes is one literal quote.
std::vector<std::string> SplitCommandLine(const std::string& parameters);

}  // namespace pw
