#include "cli/TerminalText.h"

namespace pw {

namespace {

// The length of the well-formed UTF-8 sequence at text[i] and its code
// point, or 0 when the bytes there are not one.
size_t Utf8Sequence(std::string_view text, size_t i, char32_t& point) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, point = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    point = (point << 6) | (next & 0x3F);
  }
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
  return length;
}

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
    const size_t length = Utf8Sequence(text, i, point);
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
