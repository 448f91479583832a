// The program's texts are in the ANSI code page; cmd.exe reads batch files in
// the OEM code page.
#include <windows.h>

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

// lossy is set when a character had to be replaced by "?".
std::string Narrow(const std::wstring& wide, UINT codePage, bool* lossy) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0,
                                    nullptr, nullptr);
  std::string bytes(n, '\0');
  BOOL replaced = FALSE;
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, bytes.data(), n, "?",
                      &replaced);
  if (lossy) *lossy = replaced != FALSE;
  return bytes;
}

}  // namespace

std::u16string Local8BitToUtf16(const std::string& bytes) {
  const std::wstring wide = Wide(bytes, CP_ACP);
  return std::u16string(wide.begin(), wide.end());
}

std::string Utf16ToLocal8Bit(const std::u16string& text) {
  return Narrow(std::wstring(text.begin(), text.end()), CP_ACP, nullptr);
}

std::string ToBatchCodePage(const std::string& text) {
  bool lossy = false;
  std::string oem = Narrow(Wide(text, CP_ACP), CP_OEMCP, &lossy);
  if (lossy) throw Exception("Cannot write in the console's code page: " + text);
  return oem;
}

}  // namespace pw
