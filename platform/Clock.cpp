#include "platform/Clock.h"

namespace pw {

int TDateTime::DayOfWeek() const {
  // Days since 1970-01-01 (a Thursday) by the civil-from-days inverse.
  const int y = Year - (Month <= 2);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = static_cast<long>(era) * 146097 + doe - 719468;
  const long weekday = ((days % 7) + 7 + 4) % 7;  // 0 = Sunday
  return static_cast<int>(weekday) + 1;
}

}  // namespace pw
