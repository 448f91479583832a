// The user's regional settings as the system reports them. They are read
// through the wide calls, which know every item (the 8-bit call refuses
// LOCALE_SSHORTTIME on some systems), and converted to the program's texts.
#include <windows.h>

#include "platform/Errors.h"
#include "platform/RegionalSettings.h"
#include "platform/Services.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

std::string Info(LCTYPE type) {
  wchar_t buffer[256];
  const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 256);
  if (n <= 0) {
    throw Exception(Format("Cannot read the regional settings: system error %d",
                           static_cast<long long>(GetLastError())));
  }
  return Utf16ToLocal8Bit(std::u16string(buffer, buffer + n - 1));
}

class SystemSettings final : public IRegionalSettings {
 public:
  TFormatSettings Settings() const override {
    TFormatSettings s;
    for (int m = 0; m < 12; ++m) {
      s.ShortMonthNames[m] = Info(LOCALE_SABBREVMONTHNAME1 + m);
      s.LongMonthNames[m] = Info(LOCALE_SMONTHNAME1 + m);
    }
    // The system counts from Monday; these lists start with Sunday.
    for (int d = 0; d < 7; ++d) {
      const int system = (d + 6) % 7;
      s.ShortDayNames[d] = Info(LOCALE_SABBREVDAYNAME1 + system);
      s.LongDayNames[d] = Info(LOCALE_SDAYNAME1 + system);
    }
    s.ShortDateFormat = ConvertWindowsDateTimeFormat(Info(LOCALE_SSHORTDATE));
    s.LongDateFormat = ConvertWindowsDateTimeFormat(Info(LOCALE_SLONGDATE));
    s.LongTimeFormat = ConvertWindowsDateTimeFormat(Info(LOCALE_STIMEFORMAT));
    s.ShortTimeFormat = ConvertWindowsDateTimeFormat(Info(LOCALE_SSHORTTIME));
    s.DateSeparator = Info(LOCALE_SDATE);
    s.TimeSeparator = Info(LOCALE_STIME);
    s.TimeAMString = Info(LOCALE_S1159);
    s.TimePMString = Info(LOCALE_S2359);
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
