// The one place where the program's 8-bit texts meet the toolkit's strings.
#pragma once

#include <QString>
#include <string>

namespace pw {

// Decodes UTF-8, or Windows-1252 where the bytes are not valid UTF-8.
QString ToQt(const std::string& text);
// Encodes as UTF-8, the local 8-bit encoding here; an unchanged text keeps
// its original bytes when the caller compares before storing.
std::string FromQt(const QString& text);
// The text of an edit field as the program's bytes: the original when the
// user left it as it was shown, so that texts not in UTF-8 survive an edit
// of some other field.
std::string FromQt(const QString& text, const std::string& original);

}  // namespace pw
