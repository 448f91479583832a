#include <windows.h>

#include "platform/CommandLine.h"
#include "platform/CurrentDirectory.h"
#include "platform/Errors.h"
#include "platform/Process.h"
#include "platform/Services.h"

namespace pw {

namespace {

std::string JoinArguments(const std::vector<std::string>& arguments) {
  std::string parameters;
  for (const std::string& arg : arguments) {
    if (!parameters.empty()) parameters += ' ';
    parameters += QuoteWindowsArgument(arg);
  }
  return parameters;
}

// The checks and the errors of a change of the current directory, without one.
void CheckWorkingDirectory(const std::string& path) {
  DefaultService<ICurrentDirectory>().Check(path);
}

PROCESS_INFORMATION Create(const std::string& program, const std::string& parameters,
                           const std::string& directory = {}) {
  std::string commandLine = "\"" + program + "\" " + parameters;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWMINIMIZED;
  PROCESS_INFORMATION process;
  // Without a folder in the name, the system searches for the program as the
  // command interpreter would.
  const bool bare = program.find_first_of("\\/:") == std::string::npos;
  if (!CreateProcessA(bare ? nullptr : program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      0, nullptr, directory.empty() ? nullptr : directory.c_str(), &startup,
                      &process)) {
    throw Exception(Format("Cannot start %s", program));
  }
  CloseHandle(process.hThread);
  return process;
}

class CreatingRunner final : public IProcessRunner {
 public:
  int RunAndWait(const std::string& program, const std::string& parameters) override {
    return RunAndWait(program, parameters, TRunOptions{});
  }
  int RunAndWait(const std::string& program, const std::vector<std::string>& arguments) override {
    return RunAndWait(program, JoinArguments(arguments), TRunOptions{});
  }
  int RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                 const TRunOptions& options) override {
    return RunAndWait(program, JoinArguments(arguments), options);
  }
  // The process handle stays open until the end, so that a stop can never
  // reach another process.
  int RunAndWait(const std::string& program, const std::string& parameters,
                 const TRunOptions& options) override {
    CheckWorkingDirectory(options.workingDirectory);
    if (options.prepare) options.prepare();
    if (options.stop && options.stop->Stopped()) throw ERunStopped(program);
    const PROCESS_INFORMATION process = Create(program, parameters, options.workingDirectory);
    const HANDLE handle = process.hProcess;
    const auto end = [handle] { TerminateProcess(handle, kStoppedStatus); };
    if (options.stop && !options.stop->Add(&process, end)) end();
    if (options.started) options.started();
    WaitForSingleObject(handle, INFINITE);
    if (options.stop) options.stop->Remove(&process);
    DWORD code = 0;
    GetExitCodeProcess(handle, &code);
    CloseHandle(handle);
    return static_cast<int>(code);
  }
  void Start(const std::string& program, const std::string& parameters,
             const std::string& workingDirectory, IFileLock*) override {
    CheckWorkingDirectory(workingDirectory);
    CloseHandle(Create(program, parameters, workingDirectory).hProcess);
  }
  void Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& workingDirectory, IFileLock* kept) override {
    Start(program, JoinArguments(arguments), workingDirectory, kept);
  }
};

}  // namespace

template <>
IProcessRunner& DefaultService<IProcessRunner>() {
  static CreatingRunner instance;
  return instance;
}

void IgnoreFileSizeLimitSignal() {}  // Windows has no such signal
void IgnoreBrokenPipeSignal() {}     // nor this one

// A console's Ctrl+C reaches the archiver by itself; nothing to pass on.
TEndingSignalsPassedOn::TEndingSignalsPassedOn() = default;
TEndingSignalsPassedOn::~TEndingSignalsPassedOn() = default;
int TEndingSignalsPassedOn::Received() {
  return 0;
}

std::string SignalDescription(int signal) {
  return "signal " + std::to_string(signal);
}

}  // namespace pw
