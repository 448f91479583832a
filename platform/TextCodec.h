// Decoding of the program's 8-bit texts: UTF-8 where the bytes are valid
// UTF-8, otherwise Windows-1252, the usual ANSI code page of the files this
// program exchanges.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/Services.h"

namespace pw {

bool IsValidUtf8(std::string_view bytes);
// The length of the well-formed UTF-8 sequence at bytes[i], with its code
// point in out; 0 when the bytes there are not one.
size_t DecodeUtf8At(std::string_view bytes, size_t i, char32_t& out);
std::u32string DecodeLocal8Bit(const std::string& bytes);
std::string EncodeUtf8(const std::u32string& text);
// The text with &, <, > and " as XML (and HTML) entities.
std::string EscapeXml(std::string_view text);

// The one conversion between the program's 8-bit texts and the Unicode of
// windows and wide system calls: the ANSI code page on Windows; elsewhere the
// rule above, and UTF-8 back. A character that the 8-bit text cannot hold
// becomes "?", which no file name holds, rather than a look-alike.
std::u16string Local8BitToUtf16(const std::string& bytes);
std::string Utf16ToLocal8Bit(const std::u16string& text);

// The same between the 8-bit texts and UTF-8, for files that are UTF-8 on
// every system. Elsewhere than on Windows a text that is valid UTF-8 stays as
// it is, and UTF-8 is what comes back; on Windows a character that the ANSI
// code page cannot hold comes back as "?".
std::string Local8BitToUtf8(const std::string& bytes);
std::string Utf8ToLocal8Bit(const std::string& utf8);
// The same into out, reusing its memory, for many texts in a row.
void Utf8ToLocal8Bit(std::string_view utf8, std::string& out);

// The character's simple upper-case form (one character for one), as file
// systems and archivers compare names without regard to case.
char32_t UpperCaseCharacter(char32_t c);

// A text as cmd.exe reads it from a batch file: in the OEM code page of the
// console on Windows, unchanged elsewhere. Fails with an Exception when a
// character has no form there.
std::string ToBatchCodePage(const std::string& text);

#ifdef _WIN32
// The code pages the conversions use: the system's ANSI and OEM code pages.
// A system may be set to UTF-8 (65001) for both, which tests put in place.
class ICodePages {
 public:
  virtual ~ICodePages() = default;
  virtual unsigned Ansi() = 0;
  virtual unsigned Oem() = 0;
};
template <>
ICodePages& DefaultService<ICodePages>();
#endif

}  // namespace pw
