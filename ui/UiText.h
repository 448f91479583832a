// The one place where the program's 8-bit texts meet the toolkit's strings.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

namespace pw {

// Through the platform's conversion of the program's 8-bit texts: the ANSI
// code page on Windows, UTF-8 (or Windows-1252 where the bytes are not valid
// UTF-8) elsewhere.
QString ToQt(const std::string& text);
// An unchanged text keeps its original bytes when the caller compares before
// storing.
std::string FromQt(const QString& text);
// The text of an edit field as the program's bytes: the original when the
// user left it as it was shown, so that texts not in UTF-8 survive an edit
// of some other field.
std::string FromQt(const QString& text, const std::string& original);

// A number in the user's locale, with its group separators: "113,110".
QString CountText(int64_t n);
// A size as the lists show it, in SI units to one decimal: "114.8 kB".
QString SizeText(int64_t bytes);

}  // namespace pw
