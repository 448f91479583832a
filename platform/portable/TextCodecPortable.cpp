#include "platform/TextCodec.h"

namespace pw {

std::u16string Local8BitToUtf16(const std::string& bytes) {
  std::u16string out;
  for (const char32_t cp : DecodeLocal8Bit(bytes)) {
    if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  return out;
}

std::string Utf16ToLocal8Bit(const std::u16string& text) {
  std::u32string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      decoded.push_back(0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00));
    } else if (unit >= 0xD800 && unit < 0xE000) {
      decoded.push_back(U'?');  // a lone surrogate has no UTF-8 form
    } else {
      decoded.push_back(unit);
    }
  }
  return EncodeUtf8(decoded);
}

std::string Local8BitToUtf8(const std::string& bytes) {
  return IsValidUtf8(bytes) ? bytes : EncodeUtf8(DecodeLocal8Bit(bytes));
}

// Here the 8-bit texts are UTF-8 already; anything else gets the same
// reading as any 8-bit text.
void Utf8ToLocal8Bit(std::string_view utf8, std::string& out) {
  if (IsValidUtf8(utf8)) {
    out.assign(utf8);
  } else {
    out = EncodeUtf8(DecodeLocal8Bit(std::string(utf8)));
  }
}

// The batch file is for a Windows machine whose console code page is not
// known here; it keeps the program's bytes.
std::string ToBatchCodePage(const std::string& text) {
  return text;
}

}  // namespace pw
