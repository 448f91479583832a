#include <windows.h>

#include <cstdlib>

#include "platform/Programs.h"

namespace pw {

namespace {

class PathSearch final : public IProgramSearch {
 public:
  std::optional<std::string> FindOnPath(const std::string& name) const override {
    if (name.empty()) return std::nullopt;
    char buffer[MAX_PATH];
    const DWORD n = SearchPathA(nullptr, name.c_str(), ".exe", MAX_PATH, buffer, nullptr);
    if (n == 0 || n >= MAX_PATH) return std::nullopt;
    return std::string(buffer, n);
  }
};

}  // namespace

template <>
IProgramSearch& DefaultService<IProgramSearch>() {
  static PathSearch instance;
  return instance;
}

std::string HomeDirectory() {
  const char* profile = std::getenv("USERPROFILE");
  return profile ? profile : "C:\\";
}

void MakeExecutable(const std::string&) {}

}  // namespace pw
