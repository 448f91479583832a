#include <windows.h>

#include "platform/CurrentDirectory.h"
#include "platform/Errors.h"
#include "platform/Services.h"

namespace pw {

namespace {

class ProcessDirectory final : public ICurrentDirectory {
 public:
  void Set(const std::string& path) override {
    if (!SetCurrentDirectoryA(path.c_str())) throw InOutError(static_cast<int>(GetLastError()));
  }
  std::string Get() const override {
    char buffer[MAX_PATH];
    const DWORD n = GetCurrentDirectoryA(MAX_PATH, buffer);
    return std::string(buffer, n);
  }
};

}  // namespace

template <>
ICurrentDirectory& DefaultService<ICurrentDirectory>() {
  static ProcessDirectory instance;
  return instance;
}

}  // namespace pw
