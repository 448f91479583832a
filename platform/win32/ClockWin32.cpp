#include <windows.h>

#include "platform/Clock.h"
#include "platform/Services.h"

namespace pw {

namespace {

class LocalClock final : public IClock {
 public:
  TDateTime Now() const override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    TDateTime t;
    t.Year = st.wYear;
    t.Month = st.wMonth;
    t.Day = st.wDay;
    t.Hour = st.wHour;
    t.Minute = st.wMinute;
    t.Second = st.wSecond;
    t.Millisecond = st.wMilliseconds;
    return t;
  }
};

}  // namespace

template <>
IClock& DefaultService<IClock>() {
  static LocalClock instance;
  return instance;
}

}  // namespace pw
