// The moments and regional settings whose formatted dates the help shows, so
// that the help's examples and the formatter cannot tell different stories.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/RegionalSettings.h"

namespace pw::help {

// A moment by the name the help's template gives it: "night" (Tuesday 8
// December 2026, 02:30:05.120), "afternoon" (the same day, 14:07:09.045),
// "midnight" (the same day, 00:00:00.000) or "march" (Sunday 1 March 2026,
// 09:00:00.000).
std::optional<TDateTime> Moment(std::string_view name);

// "en" (English, United States) or "de" (German).
std::optional<TFormatSettings> Regional(std::string_view name);

// Text for an HTML element or attribute: & < > " escaped.
std::string EscapeHtml(std::string_view text);

}  // namespace pw::help
