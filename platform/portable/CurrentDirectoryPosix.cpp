#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/CurrentDirectory.h"
#include "platform/Errors.h"
#include "platform/NativePath.h"
#include "platform/Services.h"
#include "platform/portable/SystemCodes.h"

namespace pw {

namespace {

class ProcessDirectory final : public ICurrentDirectory {
 public:
  void Set(const std::string& path) override {
    const std::string native = NativePath(path);
    if (native.empty()) throw InOutError(2);
    if (::chdir(native.c_str()) != 0) throw InOutError(SystemCode(errno));
  }
  std::string Get() const override {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
  }
};

}  // namespace

template <>
ICurrentDirectory& DefaultService<ICurrentDirectory>() {
  static ProcessDirectory instance;
  return instance;
}

}  // namespace pw
