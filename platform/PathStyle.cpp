#include "platform/PathStyle.h"

#include "platform/Programs.h"

namespace pw {

namespace {

class BuildPathStyle final : public IPathStyle {
 public:
  TPathStyle Style() const override {
#ifdef _WIN32
    return TPathStyle::psWindows;
#else
    return TPathStyle::psPosix;
#endif
  }
};

}  // namespace

template <>
IPathStyle& DefaultService<IPathStyle>() {
  static BuildPathStyle instance;
  return instance;
}

std::string WithoutTrailingSeparator(const std::string& path) {
  if (!path.empty() && path.back() == PathSeparator()) return path.substr(0, path.size() - 1);
  return path;
}

std::string DefaultOutputPath() {
  if (!IsPosixStyle()) return "C:\\MyArchives";
  std::string home = HomeDirectory();
  if (!home.empty() && home.back() == '/') home.pop_back();
  return home + "/MyArchives";
}

}  // namespace pw
