#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/CurrentDirectory.h"
#include "platform/Errors.h"
#include "platform/NativePath.h"
#include "platform/Services.h"

namespace pw {

namespace {

// The system error codes that the messages are known by.
int SystemCode(int error) {
  switch (error) {
    case ENOENT:
      return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
      return 3;
    case EMFILE:
      return 4;
    case EACCES:
    case EPERM:
      return 5;
    // Other errors keep their number, unless it would read as one of the above.
    default:
      return error >= 2 && error <= 5 ? 1000 + error : error;
  }
}

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
