// Text comparison under the user's locale with letter case ignored. Texts are
// bytes in the local 8-bit encoding.
#pragma once

#include <string>

namespace pw {

class ILocaleCompare {
 public:
  virtual ~ILocaleCompare() = default;
  virtual bool SameText(const std::string& a, const std::string& b) const = 0;
  // A key that is equal for two texts exactly when SameText holds for them,
  // so that lookups can hash instead of comparing against every entry.
  virtual std::string FoldKey(const std::string& text) const = 0;
};

inline bool SameTextLocale(const std::string& a, const std::string& b);

// Upper-cases only the ASCII letters a to z.
std::string UpperCaseAscii(std::string text);
inline bool SameTextAscii(const std::string& a, const std::string& b) {
  return UpperCaseAscii(a) == UpperCaseAscii(b);
}

}  // namespace pw

#include "platform/Services.h"

namespace pw {
inline bool SameTextLocale(const std::string& a, const std::string& b) {
  return Get<ILocaleCompare>().SameText(a, b);
}
}  // namespace pw
