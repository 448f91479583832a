// The date-time pattern language that names the per-run archive subfolder.
#pragma once

#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/RegionalSettings.h"

namespace pw {

inline constexpr size_t kMaxFormattedLength = 256;

// Formats when by pattern; the result is cut to 256 characters.
std::string FormatDateTime(const std::string& pattern, const TDateTime& when,
                           const TFormatSettings& settings);

// The format that makes `date +FORMAT` print exactly what the pattern gives
// at that moment, in any language: for patterns of numbers and quoted or
// plain text only. None where names, the regional formats and separators,
// a 12-hour clock, eras or short milliseconds come in, which date spells
// otherwise.
std::optional<std::string> DateCommandFormat(const std::string& pattern);

// The current local date and time (read once) formatted by pattern under the
// user's regional settings.
std::string FormatSubDirName(const std::string& pattern);

}  // namespace pw
