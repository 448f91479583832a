#include "model/Schedule.h"

#include <cstdio>

namespace pw {

std::string ScheduleTimeText(const TSchedule& schedule) {
  if (!schedule.Set()) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d", schedule.Hour(), schedule.Minute());
  return text;
}

std::string ScheduleDaysText(const TSchedule& schedule) {
  std::string text;
  if ((schedule.days & kEveryDay) == kEveryDay) return text;
  for (int day = 0; day < 7; ++day) {
    if (!schedule.On(day)) continue;
    if (!text.empty()) text += ',';
    text += kDayNames[day];
  }
  return text;
}

std::string ScheduleText(const TSchedule& schedule) {
  if (!schedule.Set()) return {};
  std::string text = ScheduleTimeText(schedule);
  if ((schedule.days & kEveryDay) != kEveryDay) text += " " + ScheduleDaysText(schedule);
  return text;
}

std::optional<int> ParseScheduleTime(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3) {
    return std::nullopt;
  }
  int value[2] = {0, 0};
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == colon) continue;
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    int& part = value[i > colon];
    part = part * 10 + (text[i] - '0');
  }
  if (value[0] > 23 || value[1] > 59) return std::nullopt;
  return value[0] * 60 + value[1];
}

std::optional<int> ParseDayName(std::string_view name) {
  if (name.size() != 3) return std::nullopt;
  for (int day = 0; day < 7; ++day) {
    bool same = true;
    for (size_t i = 0; i < 3; ++i) {
      const char c = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] + 32) : name[i];
      same = same && c == kDayNames[day][i];
    }
    if (same) return day;
  }
  return std::nullopt;
}

std::optional<uint8_t> ParseScheduleDays(std::string_view text) {
  uint8_t days = 0;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string_view name =
        text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    const std::optional<int> day = ParseDayName(name);
    if (!day || (days >> *day & 1)) return std::nullopt;
    days |= static_cast<uint8_t>(1u << *day);
    if (comma == std::string_view::npos) return days;
    start = comma + 1;
  }
}

std::optional<TSchedule> ParseSchedule(std::string_view text) {
  if (text.empty()) return TSchedule{};
  const size_t blank = text.find(' ');
  const std::optional<int> minute = ParseScheduleTime(text.substr(0, blank));
  if (!minute) return std::nullopt;
  TSchedule schedule;
  schedule.minuteOfDay = *minute;
  if (blank != std::string_view::npos) {
    const std::optional<uint8_t> days = ParseScheduleDays(text.substr(blank + 1));
    if (!days) return std::nullopt;
    schedule.days = *days;
  }
  return schedule;
}

}  // namespace pw
