#include "help/HelpExamples.h"

#include "platform/TextCodec.h"
#include "platform/fakes/Fakes.h"

namespace pw::help {

namespace {

TDateTime At(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  TDateTime t;
  t.Year = year, t.Month = month, t.Day = day;
  t.Hour = hour, t.Minute = minute, t.Second = second, t.Millisecond = millisecond;
  return t;
}

}  // namespace

std::optional<TDateTime> Moment(std::string_view name) {
  if (name == "night") return At(2026, 12, 8, 2, 30, 5, 120);
  if (name == "afternoon") return At(2026, 12, 8, 14, 7, 9, 45);
  if (name == "midnight") return At(2026, 12, 8, 0, 0, 0, 0);
  if (name == "march") return At(2026, 3, 1, 9, 0, 0, 0);
  return std::nullopt;
}

std::optional<TFormatSettings> Regional(std::string_view name) {
  if (name == "en") return fakes::UsEnglish();
  if (name == "de") return fakes::German();
  return std::nullopt;
}

std::string EscapeHtml(std::string_view text) {
  return EscapeXml(text);
}

}  // namespace pw::help
