// The user's regional settings as the desktop's locale describes them.
#include <QLocale>

#include "platform/RegionalSettings.h"
#include "platform/Services.h"

namespace pw {

namespace {

std::string Local8Bit(const QString& text) {
  return text.toStdString();
}

class LocaleSettings final : public IRegionalSettings {
 public:
  TFormatSettings Settings() const override {
    const QLocale locale = QLocale::system();
    TFormatSettings s;
    for (int m = 1; m <= 12; ++m) {
      s.ShortMonthNames[m - 1] = Local8Bit(locale.monthName(m, QLocale::ShortFormat));
      s.LongMonthNames[m - 1] = Local8Bit(locale.monthName(m, QLocale::LongFormat));
    }
    for (int d = 0; d < 7; ++d) {
      const int qtDay = d == 0 ? 7 : d;  // Qt counts from Monday = 1 to Sunday = 7
      s.ShortDayNames[d] = Local8Bit(locale.dayName(qtDay, QLocale::ShortFormat));
      s.LongDayNames[d] = Local8Bit(locale.dayName(qtDay, QLocale::LongFormat));
    }
    const std::string shortDate = Local8Bit(locale.dateFormat(QLocale::ShortFormat));
    const std::string shortTime = Local8Bit(locale.timeFormat(QLocale::ShortFormat));
    s.DateSeparator = SeparatorOf(shortDate, "/");
    s.TimeSeparator = SeparatorOf(shortTime, ":");
    s.ShortDateFormat = ConvertQtDateTimeFormat(shortDate, s.DateSeparator, s.TimeSeparator);
    s.LongDateFormat = ConvertQtDateTimeFormat(Local8Bit(locale.dateFormat(QLocale::LongFormat)),
                                               s.DateSeparator, s.TimeSeparator);
    s.ShortTimeFormat = ConvertQtDateTimeFormat(shortTime, s.DateSeparator, s.TimeSeparator);
    s.LongTimeFormat = ConvertQtDateTimeFormat(Local8Bit(locale.timeFormat(QLocale::LongFormat)),
                                               s.DateSeparator, s.TimeSeparator);
    s.TimeAMString = Local8Bit(locale.amText());
    s.TimePMString = Local8Bit(locale.pmText());
    return s;
  }
};

}  // namespace

template <>
IRegionalSettings& DefaultService<IRegionalSettings>() {
  static LocaleSettings instance;
  return instance;
}

}  // namespace pw
