#include <chrono>
#include <ctime>

#include "platform/Clock.h"
#include "platform/Services.h"

namespace pw {

namespace {

class LocalClock final : public IClock {
 public:
  TDateTime Now() const override {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    TDateTime t;
    t.Year = local.tm_year + 1900;
    t.Month = local.tm_mon + 1;
    t.Day = local.tm_mday;
    t.Hour = local.tm_hour;
    t.Minute = local.tm_min;
    t.Second = local.tm_sec;
    t.Millisecond = static_cast<int>(ms.count() % 1000);
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
