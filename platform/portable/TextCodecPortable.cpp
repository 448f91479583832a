#include "platform/TextCodec.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include "platform/Errors.h"

namespace pw {

std::u16string Local8BitToUtf16(const std::string& bytes) {
  const std::u32string decoded = DecodeLocal8Bit(bytes);
  std::u16string out(decoded.size() * 2, u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  // Every code point DecodeLocal8Bit gives is a scalar value, so nothing is
  // substituted here.
  u_strFromUTF32(out.data(), static_cast<int32_t>(out.size()), &length,
                 reinterpret_cast<const UChar32*>(decoded.data()),
                 static_cast<int32_t>(decoded.size()), &status);
  if (U_FAILURE(status)) throw Exception("Cannot convert a text to UTF-16");
  out.resize(static_cast<size_t>(length));
  return out;
}

std::string Utf16ToLocal8Bit(const std::u16string& text) {
  // At most three bytes for each unit: a pair of surrogates takes four
  // bytes for two units.
  std::string out(text.size() * 3, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  // A lone surrogate has no UTF-8 form: "?" stands for it, as for any
  // character an 8-bit text cannot hold.
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length,
                     reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                     U'?', nullptr, &status);
  if (U_FAILURE(status)) throw Exception("Cannot convert a text from UTF-16");
  out.resize(static_cast<size_t>(length));
  return out;
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

char32_t UpperCaseCharacter(char32_t c) {
  return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
}

}  // namespace pw
