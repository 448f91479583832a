#include "platform/TextCodec.h"

#include <cstdint>
#include <cstring>

namespace pw {

namespace {

// Code points of Windows-1252 bytes 0x80 to 0x9F; the five undefined bytes map
// to the C1 control of the same value, as the system conversion does.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr uint64_t kHighBits = 0x8080808080808080;

}  // namespace

size_t DecodeUtf8At(std::string_view bytes, size_t i, char32_t& out) {
  const auto b0 = static_cast<unsigned char>(bytes[i]);
  if (b0 < 0x80) {
    out = b0;
    return 1;
  }
  size_t length;
  char32_t cp = 0;
  char32_t minimum;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, cp = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, cp = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, cp = b0 & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > bytes.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(bytes[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  out = cp;
  return length;
}

bool IsValidUtf8(std::string_view bytes) {
  char32_t cp = 0;
  for (size_t i = 0; i < bytes.size();) {
    // Most texts are mostly ASCII: eight bytes at a time while they are.
    if (i + 8 <= bytes.size()) {
      uint64_t word;
      std::memcpy(&word, bytes.data() + i, 8);
      if ((word & kHighBits) == 0) {
        i += 8;
        continue;
      }
    }
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const size_t n = DecodeUtf8At(bytes, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::u32string DecodeLocal8Bit(const std::string& bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  if (IsValidUtf8(bytes)) {
    char32_t cp = 0;
    for (size_t i = 0; i < bytes.size();) {
      i += DecodeUtf8At(bytes, i, cp);
      out.push_back(cp);
    }
    return out;
  }
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char32_t{b});
  }
  return out;
}

std::string Utf8ToLocal8Bit(const std::string& utf8) {
  std::string out;
  Utf8ToLocal8Bit(utf8, out);
  return out;
}

std::string EncodeUtf8(const std::u32string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char32_t cp : text) {
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::string EscapeXml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace pw
