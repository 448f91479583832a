#include <fcntl.h>
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
  // Entering a folder needs the right to search it, as chdir checks.
  void Check(const std::string& path) const override {
    if (path.empty()) return;
    const std::string native = NativePath(path);
    if (native.empty()) throw InOutError(2);
    const int fd = ::open(native.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw InOutError(SystemCode(errno));
    const int searchable = ::faccessat(fd, ".", X_OK, AT_EACCESS);
    const int error = errno;
    ::close(fd);
    if (searchable != 0) throw InOutError(SystemCode(error));
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
