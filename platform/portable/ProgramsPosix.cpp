#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/NativePath.h"
#include "platform/Programs.h"

namespace pw {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

class PathSearch final : public IProgramSearch {
 public:
  std::optional<std::string> FindOnPath(const std::string& name) const override {
    if (name.empty() || name.find('/') != std::string::npos) return std::nullopt;
    const char* variable = std::getenv("PATH");
    // An empty entry of PATH stands for the current directory, as in the shell.
    const std::string path = variable ? variable : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (true) {
      const size_t end = path.find(':', start);
      std::string folder = path.substr(start, end == std::string::npos ? end : end - start);
      if (folder.empty()) folder = ".";
      const std::string candidate = folder + "/" + name;
      if (IsExecutableFile(candidate)) return candidate;
      if (end == std::string::npos) return std::nullopt;
      start = end + 1;
    }
  }
};

}  // namespace

template <>
IProgramSearch& DefaultService<IProgramSearch>() {
  static PathSearch instance;
  return instance;
}

std::string HomeDirectory() {
  std::string home;
  if (const char* variable = std::getenv("HOME"); variable && *variable) {
    home = variable;
  } else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) {
    home = user->pw_dir;
  }
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  return home;
}

void MakeExecutable(const std::string& fileName) {
  const std::string path = NativePath(fileName);
  struct stat st;
  // Devices such as /dev/stdout keep their permissions.
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  // Execute permission for exactly those who may read it, as "chmod +x" gives.
  const mode_t readers = st.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
  ::chmod(path.c_str(), (st.st_mode & 07777) | (readers >> 2));
}

}  // namespace pw
