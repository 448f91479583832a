// The local date and time.
#pragma once

#include "platform/Services.h"

namespace pw {

struct TDateTime {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;

  // 1 for Sunday up to 7 for Saturday.
  int DayOfWeek() const;
  bool operator==(const TDateTime&) const = default;
};

class IClock {
 public:
  virtual ~IClock() = default;
  virtual TDateTime Now() const = 0;
};

// The implementation this build provides.
template <>
IClock& DefaultService<IClock>();

}  // namespace pw
