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

EInOutError InOutError(int code) {
  switch (code) {
    case 2:
      return EInOutError(code, "The directory does not exist");
    case 3:
      return EInOutError(code, "Invalid filename");
    case 4:
      return EInOutError(code, "Too many open files");
    case 5:
      return EInOutError(code, "File access denied");
    default:
      return EInOutError(code, Format("I/O error %d", code));
  }
}

std::string Format(const char* pattern, long long arg) {
  return Format(pattern, std::to_string(arg));
}

std::string Plural(long long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace pw
