// Decoding of the program's 8-bit texts: UTF-8 where the bytes are valid
// UTF-8, otherwise Windows-1252, the usual ANSI code page of the files this
// program exchanges.
#pragma once

#include <string>

namespace pw {

bool IsValidUtf8(const std::string& bytes);
std::u32string DecodeLocal8Bit(const std::string& bytes);
std::string EncodeUtf8(const std::u32string& text);

}  // namespace pw
