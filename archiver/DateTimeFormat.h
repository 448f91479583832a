// The date-time pattern language that names the per-run archive subfolder.
#pragma once

#include <string>

#include "platform/Clock.h"
#include "platform/RegionalSettings.h"

namespace pw {

inline constexpr size_t kMaxFormattedLength = 256;

// Formats when by pattern; the result is cut to 256 characters.
std::string FormatDateTime(const std::string& pattern, const TDateTime& when,
                           const TFormatSettings& settings);

// The current local date and time (read once) formatted by pattern under the
// user's regional settings.
std::string FormatSubDirName(const std::string& pattern);

}  // namespace pw
