// The user's regional settings as the system reports them.
#include <windows.h>

#include "platform/RegionalSettings.h"
#include "platform/Services.h"

namespace pw {

namespace {

std::string Info(LCTYPE type, const char* fallback) {
  char buffer[256];
  const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, n - 1) : std::string(fallback);
}

class SystemSettings final : public IRegionalSettings {
 public:
  TFormatSettings Settings() const override {
    TFormatSettings s;
    for (int m = 0; m < 12; ++m) {
      s.ShortMonthNames[m] = Info(LOCALE_SABBREVMONTHNAME1 + m, "");
      s.LongMonthNames[m] = Info(LOCALE_SMONTHNAME1 + m, "");
    }
    // The system counts from Monday; these lists start with Sunday.
    for (int d = 0; d < 7; ++d) {
      const int system = (d + 6) % 7;
      s.ShortDayNames[d] = Info(LOCALE_SABBREVDAYNAME1 + system, "");
      s.LongDayNames[d] = Info(LOCALE_SDAYNAME1 + system, "");
    }
    s.ShortDateFormat = ConvertWindowsDateTimeFormat(Info(LOCALE_SSHORTDATE, "M/d/yy"));
    s.LongDateFormat = ConvertWindowsDateTimeFormat(Info(LOCALE_SLONGDATE, "dddd, MMMM d, yyyy"));
    const std::string time = Info(LOCALE_STIMEFORMAT, "h:mm:ss tt");
    s.LongTimeFormat = ConvertWindowsDateTimeFormat(time);
    s.ShortTimeFormat = ConvertWindowsDateTimeFormat(Info(LOCALE_SSHORTTIME, "h:mm tt"));
    s.DateSeparator = Info(LOCALE_SDATE, "/");
    s.TimeSeparator = Info(LOCALE_STIME, ":");
    s.TimeAMString = Info(LOCALE_S1159, "AM");
    s.TimePMString = Info(LOCALE_S2359, "PM");
    return s;
  }
};

}  // namespace

template <>
IRegionalSettings& DefaultService<IRegionalSettings>() {
  static SystemSettings instance;
  return instance;
}

}  // namespace pw
