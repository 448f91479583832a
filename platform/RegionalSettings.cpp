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

namespace {

// One field of a format picture in the pattern language; consumed is 0 when
// the picture has no field at that place.
struct Field {
  std::string text;
  size_t consumed = 0;
};

Field Counted(char letter, size_t run, size_t most) {
  return {Repeat(letter, run > most ? most : run), run};
}

// The fields both kinds of picture share: d M y H h m s.
Field CommonField(char c, size_t run) {
  switch (c) {
    case 'd':
      return Counted('d', run, 4);
    case 'M':
      return Counted('m', run, 4);
    case 'y':
      return {run <= 2 ? "yy" : "yyyy", run};
    case 'H':
    case 'h':
      return Counted('h', run, 2);
    case 'm':
      return Counted('n', run, 2);
    case 's':
      return Counted('s', run, 2);
    default:
      return {};
  }
}

Field QtField(const std::string& format, size_t i, size_t run) {
  switch (format[i]) {
    case 'L':
      return Counted('m', run, 4);
    case 'z':
      return {run >= 3 ? "zzz" : "z", run};
    case 'A':
    case 'a': {
      const bool ap = i + 1 < format.size() && (format[i + 1] == 'P' || format[i + 1] == 'p');
      return {"AMPM", ap ? size_t{2} : size_t{1}};
    }
    case 't':
      return {"", run};  // the time zone has no counterpart
    default:
      return CommonField(format[i], run);
  }
}

Field WindowsField(const std::string& format, size_t i, size_t run) {
  switch (format[i]) {
    case 'g':
      return {"g", run};
    case 't':
      return {"AMPM", run};
    default:
      return CommonField(format[i], run);
  }
}

// Literal characters equal to a separator become the pattern's own "/" and
// ":"; other literal text is quoted where the pattern would read it.
std::string Convert(const std::string& format,
                    Field (*readField)(const std::string&, size_t, size_t),
                    const std::string& dateSeparator, const std::string& timeSeparator) {
  std::string out, literal;
  auto flush = [&] {
    AppendLiteral(out, literal);
    literal.clear();
  };
  for (size_t i = 0; i < format.size();) {
    if (format[i] == '\'') {
      literal += QuotedLiteral(format, i);
      continue;
    }
    const Field field = readField(format, i, RunLength(format, i));
    if (field.consumed > 0) {
      flush();
      out += field.text;
      i += field.consumed;
      continue;
    }
    const std::string one(1, format[i]);
    if (one == dateSeparator || one == timeSeparator) {
      flush();
      out += one == dateSeparator ? '/' : ':';
    } else {
      literal += format[i];
    }
    ++i;
  }
  flush();
  // A dropped field may leave a trailing blank.
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

std::string ConvertQtDateTimeFormat(const std::string& format, const std::string& dateSeparator,
                                    const std::string& timeSeparator) {
  return Convert(format, QtField, dateSeparator, timeSeparator);
}

std::string ConvertWindowsDateTimeFormat(const std::string& format) {
  // The system's pictures write its own separators as "/" and ":" already.
  return Convert(format, WindowsField, "/", ":");
}

}  // namespace pw
