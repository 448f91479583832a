// Text comparison under the user's locale with letter case ignored. Texts are
// bytes in the local 8-bit encoding.
#pragma once

#include <string>
#include <string_view>

#include "platform/Services.h"

namespace pw {

class ILocaleCompare {
 public:
  virtual ~ILocaleCompare() = default;
  virtual bool SameText(const std::string& a, const std::string& b) const = 0;
  // A key that is equal for two texts exactly when SameText holds for them,
  // so that lookups can hash instead of comparing against every entry.
  virtual std::string FoldKey(const std::string& text) const = 0;
};

// The implementation this build provides.
template <>
ILocaleCompare& DefaultService<ILocaleCompare>();

inline bool SameTextLocale(const std::string& a, const std::string& b) {
  return Get<ILocaleCompare>().SameText(a, b);
}

// Upper-cases only the ASCII letters a to z.
std::string UpperCaseAscii(std::string text);
inline bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // the usual case, at memcmp speed
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

}  // namespace pw
