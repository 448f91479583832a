#pragma once

#include <string>
#include <vector>

namespace pw {

// Splits a parameter string the way a Windows program's start-up code does:
// blanks separate arguments outside double quotes, the quotes themselves are
// removed, 2n backslashes before a quote give n backslashes and 2n+1 give n
// and a literal quote, and "" inside quotes is one literal quote.
std::vector<std::string> SplitCommandLine(const std::string& parameters);

// One argument as a Windows program's start-up code splits it back: quoted
// when it holds a blank or a quote, with the backslashes before a quote
// doubled.
std::string QuoteWindowsArgument(const std::string& arg);

// A program and the parameters to start it with.
struct TProgramCall {
  std::string program;
  std::string parameters;
};

// The call that a file type's command, as the registry holds it
// ("C:\App\app.exe" --single-argument %1), makes for argument: %1 and %L
// become the argument, %* nothing, and a command that names neither gets the
// argument after it in quotes. The program is the command's first word,
// quoted or not.
TProgramCall AssociationCall(const std::string& command, const std::string& argument);

}  // namespace pw
