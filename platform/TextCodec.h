// Decoding of the program's 8-bit texts: UTF-8 where the bytes are valid
// UTF-8, otherwise Windows-1252, the usual ANSI code page of the files this
// program exchanges.
#pragma once

#include <string>

namespace pw {

bool IsValidUtf8(const std::string& bytes);
std::u32string DecodeLocal8Bit(const std::string& bytes);
std::string EncodeUtf8(const std::u32string& text);

// The one conversion between the program's 8-bit texts and the Unicode of
// windows and wide system calls: the ANSI code page on Windows; elsewhere the
// rule above, and UTF-8 back. A character that the 8-bit text cannot hold
// becomes "?", which no file name holds, rather than a look-alike.
std::u16string Local8BitToUtf16(const std::string& bytes);
std::string Utf16ToLocal8Bit(const std::u16string& text);

// A text as cmd.exe reads it from a batch file: in the OEM code page of the
// console on Windows, unchanged elsewhere. Fails with an Exception when a
// character has no form there.
std::string ToBatchCodePage(const std::string& text);

}  // namespace pw
