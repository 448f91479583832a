#include "platform/RegionalSettings.h"

namespace pw {

namespace {

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

size_t RunLength(const std::string& s, size_t i) {
  size_t n = 1;
  while (i + n < s.size() && s[i + n] == s[i]) ++n;
  return n;
}

// Literal text of a picture, quoted where the pattern language would read it
// as specifiers.
void AppendLiteral(std::string& out, const std::string& text) {
  if (text.empty()) return;
  bool plain = true;
  for (const char c : text) {
    if (IsLetter(c) || c == '/' || c == ':' || c == '"' || c == '\'') plain = false;
  }
  if (plain) {
    out += text;
  } else if (text.find('"') == std::string::npos) {
    out += '"' + text + '"';
  } else {
    out += '\'' + text + '\'';
  }
}

// Reads a quoted literal starting at s[i] == '\''; '' stands for one quote.
std::string QuotedLiteral(const std::string& s, size_t& i) {
  std::string text;
  ++i;
  while (i < s.size()) {
    if (s[i] == '\'') {
      if (i + 1 < s.size() && s[i + 1] == '\'') {
        text += '\'';
        i += 2;
        continue;
      }
      ++i;
      return text;
    }
    text += s[i++];
  }
  return text;
}

std::string Repeat(char c, size_t n) {
  return std::string(n, c);
}

}  // namespace

std::string SeparatorOf(const std::string& format, const std::string& fallback) {
  bool afterField = false;
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c == '\'') {
      QuotedLiteral(format, i);
      --i;
      continue;
    }
    if (IsLetter(c)) {
      afterField = true;
    } else if (afterField && c != ' ' && c != ',' && static_cast<unsigned char>(c) < 0x80) {
      return std::string(1, c);
    }
  }
  return fallback;
}

std::string ConvertQtDateTimeFormat(const std::string& format, const std::string& dateSeparator,
                                    const std::string& timeSeparator) {
  std::string out, literal;
  auto flush = [&] {
    AppendLiteral(out, literal);
    literal.clear();
  };
  for (size_t i = 0; i < format.size();) {
    const char c = format[i];
    if (c == '\'') {
      literal += QuotedLiteral(format, i);
      continue;
    }
    const size_t n = RunLength(format, i);
    std::string field;
    switch (c) {
      case 'd':
        field = Repeat('d', n > 4 ? 4 : n);
        break;
      case 'M':
      case 'L':
        field = Repeat('m', n > 4 ? 4 : n);
        break;
      case 'y':
        field = n <= 2 ? "yy" : "yyyy";
        break;
      case 'H':
      case 'h':
        field = Repeat('h', n > 2 ? 2 : n);
        break;
      case 'm':
        field = Repeat('n', n > 2 ? 2 : n);
        break;
      case 's':
        field = Repeat('s', n > 2 ? 2 : n);
        break;
      case 'z':
        field = n >= 3 ? "zzz" : "z";
        break;
      case 'A':
      case 'a':
        field = "AMPM";
        if (i + 1 < format.size() && (format[i + 1] == 'P' || format[i + 1] == 'p')) ++i;
        break;
      case 't':
        field = " ";
        break;  // the time zone has no counterpart
      default:
        break;
    }
    if (!field.empty()) {
      flush();
      if (field != " ") out += field;
      i += (c == 'A' || c == 'a') ? 1 : n;
      continue;
    }
    const std::string one(1, c);
    if (one == dateSeparator) {
      flush();
      out += '/';
    } else if (one == timeSeparator) {
      flush();
      out += ':';
    } else {
      literal += c;
    }
    ++i;
  }
  flush();
  // A dropped time zone leaves a trailing blank.
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string ConvertWindowsDateTimeFormat(const std::string& format) {
  std::string out, literal;
  auto flush = [&] {
    AppendLiteral(out, literal);
    literal.clear();
  };
  for (size_t i = 0; i < format.size();) {
    const char c = format[i];
    if (c == '\'') {
      literal += QuotedLiteral(format, i);
      continue;
    }
    const size_t n = RunLength(format, i);
    std::string field;
    switch (c) {
      case 'd':
        field = Repeat('d', n > 4 ? 4 : n);
        break;
      case 'M':
        field = Repeat('m', n > 4 ? 4 : n);
        break;
      case 'y':
        field = n <= 2 ? "yy" : "yyyy";
        break;
      case 'g':
        field = "g";
        break;
      case 'H':
      case 'h':
        field = Repeat('h', n > 2 ? 2 : n);
        break;
      case 'm':
        field = Repeat('n', n > 2 ? 2 : n);
        break;
      case 's':
        field = Repeat('s', n > 2 ? 2 : n);
        break;
      case 't':
        field = "AMPM";
        break;
      default:
        break;
    }
    if (!field.empty()) {
      flush();
      out += field;
    } else if (c == '/' || c == ':') {
      flush();
      out += c;  // the system's pictures use these for its own separators
    } else {
      literal += Repeat(c, n);
    }
    i += n;
  }
  flush();
  return out;
}

}  // namespace pw
