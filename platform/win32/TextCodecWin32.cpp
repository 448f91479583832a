// The program's texts are in the ANSI code page; cmd.exe reads batch files in
// the OEM code page.
#include <windows.h>

#include <string>

#include "platform/Errors.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

std::wstring Wide(const std::string& bytes, UINT codePage) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), n);
  return wide;
}

// Code pages that take neither best-fit flags nor a default character:
// WideCharToMultiByte refuses the call, and the text would come back empty.
bool TakesNoFlags(UINT codePage) {
  return codePage == CP_UTF8 || codePage == CP_UTF7 || codePage == 42 || codePage == 54936 ||
         (codePage >= 50220 && codePage <= 50229) || (codePage >= 57002 && codePage <= 57011);
}

// lossy is set when a character had to be replaced by "?".
std::string Narrow(const std::wstring& wide, UINT codePage, bool* lossy) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const bool plain = TakesNoFlags(codePage);
  const DWORD flags = plain ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* fallback = plain ? nullptr : "?";
  BOOL replaced = FALSE;
  BOOL* replacedOut = plain ? nullptr : &replaced;
  const int n = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, fallback,
                                    replacedOut);
  if (n <= 0) throw Exception("Cannot convert a text to code page " + std::to_string(codePage));
  std::string bytes(n, '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), size, bytes.data(), n, fallback, replacedOut);
  if (lossy) *lossy = replaced != FALSE;
  return bytes;
}

UINT Ansi() {
  return Get<ICodePages>().Ansi();
}

UINT Oem() {
  return Get<ICodePages>().Oem();
}

bool IsAscii(std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// UTF-8 takes neither a default character nor best-fit flags.
std::string NarrowUtf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, bytes.data(), n, nullptr, nullptr);
  return bytes;
}

class TSystemCodePages final : public ICodePages {
 public:
  unsigned Ansi() override { return GetACP(); }
  unsigned Oem() override { return GetOEMCP(); }
};

}  // namespace

template <>
ICodePages& DefaultService<ICodePages>() {
  static TSystemCodePages codePages;
  return codePages;
}

// ASCII is the same in every ANSI code page and in UTF-8; most names of a
// journal are ASCII, and skip the two conversions.
std::string Local8BitToUtf8(const std::string& bytes) {
  return IsAscii(bytes) ? bytes : NarrowUtf8(Wide(bytes, Ansi()));
}

void Utf8ToLocal8Bit(std::string_view utf8, std::string& out) {
  if (IsAscii(utf8)) {
    out.assign(utf8);
  } else {
    out = Narrow(Wide(std::string(utf8), CP_UTF8), Ansi(), nullptr);
  }
}

std::u16string Local8BitToUtf16(const std::string& bytes) {
  const std::wstring wide = Wide(bytes, Ansi());
  return std::u16string(wide.begin(), wide.end());
}

std::string Utf16ToLocal8Bit(const std::u16string& text) {
  return Narrow(std::wstring(text.begin(), text.end()), Ansi(), nullptr);
}

std::string ToBatchCodePage(const std::string& text) {
  bool lossy = false;
  std::string oem = Narrow(Wide(text, Ansi()), Oem(), &lossy);
  if (lossy) throw Exception("Cannot write in the console's code page: " + text);
  return oem;
}

char32_t UpperCaseCharacter(char32_t c) {
  // The system's own table, which holds the characters of the first plane.
  if (c > 0xFFFF || (c >= 0xD800 && c <= 0xDFFF)) return c;
  wchar_t unit = static_cast<wchar_t>(c);
  CharUpperBuffW(&unit, 1);
  return static_cast<char32_t>(unit);
}

}  // namespace pw
