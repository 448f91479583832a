#include "platform/PasswordStore.h"

#include <cstdio>

namespace pw {

std::string PasswordProblem(const std::string& password) {
  if (password.empty()) return "The password is empty";
  if (password.size() > kLongestPassword) {
    return "The password is longer than " + std::to_string(kLongestPassword) + " bytes";
  }
  for (const unsigned char c : password) {
    if (c == '\n' || c == '\r') return "The password holds a line end";
    if (c < 0x20 || c == 0x7f) return "The password holds a control character";
  }
  return {};
}

std::string PasswordFileModeProblem(const std::string& path, unsigned mode, unsigned owner,
                                    unsigned reader) {
  char bits[8];
  std::snprintf(bits, sizeof bits, "%03o", mode & 0777u);
  if ((mode & 077u) != 0) {
    return "The password file " + path + " may be read or written by others (mode " + bits +
           "); make it the owner's alone: chmod 600 " + path;
  }
  if (owner != reader) {
    return "The password file " + path + " belongs to another user (" + std::to_string(owner) +
           ")";
  }
  return {};
}

}  // namespace pw
