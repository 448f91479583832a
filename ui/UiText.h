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

}  // namespace pw
