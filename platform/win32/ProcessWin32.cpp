#include <windows.h>

#include "platform/Errors.h"
#include "platform/Process.h"
#include "platform/Services.h"

namespace pw {

namespace {

class CreatingRunner final : public IProcessRunner {
 public:
  int RunAndWait(const std::string& program, const std::string& parameters) override {
    std::string commandLine = "\"" + program + "\" " + parameters;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
      throw Exception(Format("Cannot start %s", program));
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
  }
};

}  // namespace

template <>
IProcessRunner& DefaultService<IProcessRunner>() {
  static CreatingRunner instance;
  return instance;
}

void IgnoreFileSizeLimitSignal() {}  // Windows has no such signal

}  // namespace pw
