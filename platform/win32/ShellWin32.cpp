#include <windows.h>
// shellapi.h needs the declarations of windows.h first.
#include <shellapi.h>

#include "platform/Services.h"
#include "platform/Shell.h"

namespace pw {

namespace {

class SystemShell final : public IShell {
 public:
  void Execute(const std::string& verb, const std::string& file, const std::string& parameters,
               const std::string& directory, TShowCommand show) override {
    ShellExecuteA(nullptr, verb.c_str(), file.c_str(), parameters.c_str(),
                  directory.empty() ? nullptr : directory.c_str(),
                  show == TShowCommand::swShowMinimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
  }
};

}  // namespace

template <>
IShell& DefaultService<IShell>() {
  static SystemShell instance;
  return instance;
}

}  // namespace pw
