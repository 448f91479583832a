#include "archiver/DateTimeFormat.h"

#include <cstdio>
#include <optional>
#include <string_view>

#include "platform/Services.h"

namespace pw {

namespace {

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsLetter(char c) {
  return Upper(c) >= 'A' && Upper(c) <= 'Z';
}

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Upper(text[at + i]) != Upper(prefix[i])) return false;
  }
  return true;
}

// Whether the next "a" outside quotes after from, before another h, begins
// AM/PM, A/P or AMPM: a 12-hour clock.
bool TwelveHourFollows(std::string_view p, size_t from) {
  char quote = 0;
  for (size_t k = from; k < p.size(); ++k) {
    const char c = p[k];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == 'a' || c == 'A') {
      return StartsWithNoCase(p, k, "AM/PM") || StartsWithNoCase(p, k, "A/P") ||
             StartsWithNoCase(p, k, "AMPM");
    } else if (c == 'h' || c == 'H') {
      return false;
    }
  }
  return false;
}

// Text in quotes, from the quote at i to the same quote again (or the end),
// handed to take without the quotes; returns how many characters it used.
template <class Take>
size_t Quoted(std::string_view p, size_t i, const Take& take) {
  const size_t close = p.find(p[i], i + 1);
  const size_t end = close == std::string_view::npos ? p.size() : close;
  take(p.substr(i + 1, end - i - 1));
  return end == p.size() ? end - i : end - i + 1;
}

// The run of one specifier letter that starts at i.
size_t RunLength(std::string_view p, size_t i) {
  size_t count = 1;
  while (i + count < p.size() && Upper(p[i + count]) == Upper(p[i]) && IsLetter(p[i])) ++count;
  return count;
}

class Formatter {
 public:
  Formatter(const TDateTime& when, const TFormatSettings& settings) : t_(when), s_(settings) {}

  std::string Result() {
    // A cut must not leave half of a multi-byte character behind.
    if (out_.size() == kMaxFormattedLength) {
      size_t end = out_.size();
      size_t lead = end;
      while (lead > 0 && (static_cast<unsigned char>(out_[lead - 1]) & 0xC0) == 0x80) --lead;
      if (lead > 0 && static_cast<unsigned char>(out_[lead - 1]) >= 0xC0) {
        const auto b = static_cast<unsigned char>(out_[lead - 1]);
        const size_t need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        if (end - (lead - 1) < need) out_.resize(lead - 1);
      }
    }
    return out_;
  }

  // Regional formats are expanded by the same rules, one level deep.
  void Format(std::string_view p, int level = 0) {
    if (level > 1) return;
    char lastLetter = 0;
    for (size_t i = 0; i < p.size();) {
      const char starter = p[i];
      const char token = Upper(starter);
      const bool afterHour = lastLetter == 'H';
      if (IsLetter(starter)) lastLetter = token;
      size_t count = RunLength(p, i);
      switch (token) {
        case 'Y':
          if (count <= 2) {
            Number(t_.Year % 100, 2);
          } else {
            Number(t_.Year, 4);
          }
          break;
        case 'M':
          if (count <= 2) {
            Number(afterHour ? t_.Minute : t_.Month, static_cast<int>(count));
          } else {
            Append(count == 3 ? s_.ShortMonthNames[t_.Month - 1] : s_.LongMonthNames[t_.Month - 1]);
          }
          break;
        case 'D':
          if (count <= 2) {
            Number(t_.Day, static_cast<int>(count));
          } else if (count == 3) {
            Append(s_.ShortDayNames[t_.DayOfWeek() - 1]);
          } else if (count == 4) {
            Append(s_.LongDayNames[t_.DayOfWeek() - 1]);
          } else {
            Format(count == 5 ? s_.ShortDateFormat : s_.LongDateFormat, level + 1);
          }
          break;
        case 'H':
          Hour(p, i + count, count);
          break;
        case 'N':
          Number(t_.Minute, static_cast<int>(count > 2 ? 2 : count));
          break;
        case 'S':
          Number(t_.Second, static_cast<int>(count > 2 ? 2 : count));
          break;
        case 'Z':
          Number(t_.Millisecond, static_cast<int>(count > 3 ? 3 : count));
          break;
        case 'T':
          Format(count == 1 ? s_.ShortTimeFormat : s_.LongTimeFormat, level + 1);
          break;
        case 'C':
          Format(s_.ShortDateFormat, level + 1);
          if (t_.Hour != 0 || t_.Minute != 0 || t_.Second != 0) {
            Append(" ");
            Format(s_.LongTimeFormat, level + 1);
          }
          break;
        case 'E':
          EraYear(count);
          break;
        case 'G':
          EraName();
          break;
        case 'A':
          count = Designator(p, i);
          break;
        case '/':
          Append(s_.DateSeparator);
          break;
        case ':':
          Append(s_.TimeSeparator);
          break;
        case '"':
        case '\'':
          count = Quoted(p, i, [this](std::string_view text) { Append(text); });
          break;
        default:
          // Not a specifier: copied one character at a time.
          Append(p.substr(i, 1));
          count = 1;
          break;
      }
      i += count;
    }
  }

 private:
  void Append(std::string_view text) {
    const size_t room = kMaxFormattedLength - out_.size();
    out_.append(text.substr(0, room));
  }

  void Number(int value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
    Append(buffer);
  }

  // 12-hour clock when the next "a" outside quotes, before another h, begins
  // AM/PM, A/P or AMPM.
  void Hour(std::string_view p, size_t from, size_t count) {
    const bool twelve = TwelveHourFollows(p, from);
    int hour = t_.Hour;
    if (twelve) {
      if (hour == 0)
        hour = 12;
      else if (hour > 12)
        hour -= 12;
    }
    Number(hour, static_cast<int>(count > 2 ? 2 : count));
  }

  // Returns how many characters of the pattern it used.
  size_t Designator(std::string_view p, size_t i) {
    const bool morning = t_.Hour < 12;
    if (StartsWithNoCase(p, i, "AM/PM")) {
      Append(morning ? p.substr(i, 2) : p.substr(i + 3, 2));
      return 5;
    }
    if (StartsWithNoCase(p, i, "A/P")) {
      Append(morning ? p.substr(i, 1) : p.substr(i + 2, 1));
      return 3;
    }
    if (StartsWithNoCase(p, i, "AMPM")) {
      Append(morning ? s_.TimeAMString : s_.TimePMString);
      return 4;
    }
    if (StartsWithNoCase(p, i, "AAAA")) {
      Append(s_.LongDayNames[t_.DayOfWeek() - 1]);
      return 4;
    }
    if (StartsWithNoCase(p, i, "AAA")) {
      Append(s_.ShortDayNames[t_.DayOfWeek() - 1]);
      return 3;
    }
    Append(p.substr(i, 1));
    return 1;
  }

  const TEra* CurrentEra() const {
    const TEra* found = nullptr;
    for (const TEra& era : s_.Eras) {
      const bool started = t_.Year != era.StartYear     ? t_.Year > era.StartYear
                           : t_.Month != era.StartMonth ? t_.Month > era.StartMonth
                                                        : t_.Day >= era.StartDay;
      if (started && (!found || era.StartYear >= found->StartYear)) found = &era;
    }
    return found;
  }

  void EraYear(size_t count) {
    const TEra* era = CurrentEra();
    Number(era ? t_.Year - era->YearOffset : t_.Year, count >= 2 ? 2 : 1);
  }

  void EraName() {
    if (const TEra* era = CurrentEra()) Append(era->Name);
  }

  const TDateTime& t_;
  const TFormatSettings& s_;
  std::string out_;
};

}  // namespace

std::string FormatDateTime(const std::string& pattern, const TDateTime& when,
                           const TFormatSettings& settings) {
  Formatter formatter(when, settings);
  formatter.Format(pattern);
  return formatter.Result();
}

std::optional<std::string> DateCommandFormat(const std::string& pattern) {
  const std::string_view p = pattern;
  std::string out;
  const auto literal = [&out](std::string_view text) {
    for (const char c : text) out += c == '%' ? "%%" : std::string(1, c);
  };
  char lastLetter = 0;
  for (size_t i = 0; i < p.size();) {
    const char starter = p[i];
    const char token = Upper(starter);
    const bool afterHour = lastLetter == 'H';
    if (IsLetter(starter)) lastLetter = token;
    size_t count = RunLength(p, i);
    switch (token) {
      case 'Y':
        out += count <= 2 ? "%y" : "%Y";
        break;
      case 'M':
        if (count > 2) return std::nullopt;  // a month's name
        out += afterHour ? (count == 1 ? "%-M" : "%M") : (count == 1 ? "%-m" : "%m");
        break;
      case 'D':
        if (count > 2) return std::nullopt;  // names and regional formats
        out += count == 1 ? "%-d" : "%d";
        break;
      case 'H':
        if (TwelveHourFollows(p, i + count)) return std::nullopt;
        out += count == 1 ? "%-H" : "%H";
        break;
      case 'N':
        out += count == 1 ? "%-M" : "%M";
        break;
      case 'S':
        out += count == 1 ? "%-S" : "%S";
        break;
      case 'Z':
        if (count < 3) return std::nullopt;
        out += "%3N";
        break;
      case 'T':
      case 'C':
      case 'E':
      case 'G':
      case 'A':
      case '/':
      case ':':
        return std::nullopt;  // the regional settings' texts
      case '"':
      case '\'':
        count = Quoted(p, i, literal);
        break;
      default:
        literal(p.substr(i, 1));
        count = 1;
        break;
    }
    i += count;
  }
  // Far below the cut of 256 characters, which date does not know.
  if (pattern.size() > 64) return std::nullopt;
  return out;
}

std::string FormatSubDirName(const std::string& pattern) {
  const TDateTime now = Get<IClock>().Now();
  return FormatDateTime(pattern, now, Get<IRegionalSettings>().Settings());
}

}  // namespace pw
