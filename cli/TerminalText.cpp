#include "cli/TerminalText.h"

#include "platform/TextCodec.h"

namespace pw {

namespace {

// Characters a terminal acts on or that reorder what follows: the C1
// controls and the bidirectional embeddings, overrides and isolates.
bool IsControlPoint(char32_t point) {
  return (point >= 0x80 && point <= 0x9F) || (point >= 0x202A && point <= 0x202E) ||
         (point >= 0x2066 && point <= 0x2069);
}

void Escape(std::string& out, unsigned char byte) {
  static const char digits[] = "0123456789ABCDEF";
  out += "\\x";
  out += digits[byte >> 4];
  out += digits[byte & 15];
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (byte >= 0x20 && byte != 0x7F) {
        out += text[i];
      } else {
        Escape(out, byte);
      }
      ++i;
      continue;
    }
    char32_t point = 0;
    const size_t length = DecodeUtf8At(text, i, point);
    if (length == 0) {
      // A lone byte of another encoding; 0x80 to 0x9F is read as a C1
      // control (0x9B as CSI) by terminals that take 8-bit controls.
      if (byte <= 0x9F) {
        Escape(out, byte);
      } else {
        out += text[i];
      }
      ++i;
    } else if (IsControlPoint(point)) {
      for (size_t k = 0; k < length; ++k) Escape(out, static_cast<unsigned char>(text[i + k]));
      i += length;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace pw
