// The user's regional settings for dates and times: names, formats (in the
// program's own date-time pattern language), separators and designators.
#pragma once

#include "platform/Services.h"

#include <array>
#include <string>
#include <vector>

namespace pw {

struct TEra {
  std::string Name;
  int StartYear, StartMonth, StartDay;  // first day of the era
  int YearOffset;                       // the era's year is the year minus this
};

struct TFormatSettings {
  std::array<std::string, 12> ShortMonthNames, LongMonthNames;
  std::array<std::string, 7> ShortDayNames, LongDayNames;  // Sunday first
  std::string ShortDateFormat, LongDateFormat;
  std::string ShortTimeFormat, LongTimeFormat;
  std::string DateSeparator, TimeSeparator;
  std::string TimeAMString, TimePMString;
  std::vector<TEra> Eras;  // empty for calendars without eras
};

class IRegionalSettings {
 public:
  virtual ~IRegionalSettings() = default;
  virtual TFormatSettings Settings() const = 0;
};

// The implementation this build provides.
template <>
IRegionalSettings& DefaultService<IRegionalSettings>();

// Conversions of the locale's own format pictures into the pattern language.
// QLocale style: d M y H h m s z AP ap t, literals in single quotes.
std::string ConvertQtDateTimeFormat(const std::string& format, const std::string& dateSeparator,
                                    const std::string& timeSeparator);
// GetLocaleInfo style: d M y g H h m s t, literals in single quotes.
std::string ConvertWindowsDateTimeFormat(const std::string& format);
// The first character between two fields of a format picture, or the fallback.
std::string SeparatorOf(const std::string& format, const std::string& fallback);

}  // namespace pw
