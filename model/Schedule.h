// When the nightly run of a settings file starts: a time of day and the days
// of the week it starts on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pw {

// The days' names, Monday first, as the settings file, JSON and the
// companion's --days write them.
inline constexpr const char* kDayNames[7] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
inline constexpr uint8_t kEveryDay = 0x7f;

struct TSchedule {
  // Minutes after midnight, 0 to 1439; -1 when nothing is scheduled.
  int minuteOfDay = -1;
  // One bit a day, bit 0 for Monday to bit 6 for Sunday; never 0 when set.
  uint8_t days = kEveryDay;

  bool Set() const { return minuteOfDay >= 0; }
  int Hour() const { return minuteOfDay / 60; }
  int Minute() const { return minuteOfDay % 60; }
  // day: 0 for Monday to 6 for Sunday.
  bool On(int day) const { return (days >> day) & 1; }
  bool operator==(const TSchedule&) const = default;
};

// "02:00" for every day, "02:00 mon,wed,fri" for some; "" for none. The form
// the settings file keeps.
std::string ScheduleText(const TSchedule& schedule);
// "02:00" of the schedule's time.
std::string ScheduleTimeText(const TSchedule& schedule);
// "mon,wed,fri"; empty for every day.
std::string ScheduleDaysText(const TSchedule& schedule);

// The time "HH:MM" (or "H:MM"), 00:00 to 23:59; none for anything else.
std::optional<int> ParseScheduleTime(std::string_view text);
// A day's name, letter case ignored, as 0 (Monday) to 6; none for another.
std::optional<int> ParseDayName(std::string_view name);
// "mon,tue,...", names as ParseDayName takes them, each once at most, at
// least one; none for anything else.
std::optional<uint8_t> ParseScheduleDays(std::string_view text);
// ScheduleText's form back; "" gives no schedule. None for anything else.
std::optional<TSchedule> ParseSchedule(std::string_view text);

}  // namespace pw
