#include "platform/Errors.h"

namespace pw {

// Replaces every %s or %d of the pattern with the one argument; the messages of
// this program carry at most one value.
std::string Format(const char* pattern, const std::string& arg) {
  std::string out;
  for (const char* p = pattern; *p; ++p) {
    if (p[0] == '%' && (p[1] == 's' || p[1] == 'd')) {
      out += arg;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

std::string Format(const char* pattern, long long arg) {
  return Format(pattern, std::to_string(arg));
}

}  // namespace pw
