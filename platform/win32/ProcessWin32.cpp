#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/CurrentDirectory.h"
#include "platform/Errors.h"
#include "platform/OutputLines.h"
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

// The write ends of a program's standard output and error, when they come
// to this process: handed to that one program only.
struct TOutputHandles {
  HANDLE output = nullptr, error = nullptr;
};

// A program's standard input from memory: a pipe filled and closed at once,
// whose read end alone goes to the program.
class TInputPipe {
 public:
  explicit TInputPipe(const std::string& bytes) {
    CheckInputSize(bytes);
    // Made uninheritable, so that no program another thread starts meanwhile
    // gets the write end and keeps this one's input from ending; only the
    // read end is then made inheritable, for the program it is handed to.
    HANDLE write = nullptr;
    if (!CreatePipe(&read_, &write, nullptr, static_cast<DWORD>(kMostInputBytes) * 2)) {
      throw Exception("Cannot make a pipe");
    }
    SetHandleInformation(read_, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    DWORD written = 0;
    const BOOL filled = bytes.empty() || WriteFile(write, bytes.data(),
                                                   static_cast<DWORD>(bytes.size()), &written,
                                                   nullptr);
    CloseHandle(write);
    if (!filled || written != bytes.size()) {
      CloseHandle(read_);
      read_ = nullptr;
      throw Exception("Cannot fill a pipe");
    }
  }
  ~TInputPipe() {
    if (read_) CloseHandle(read_);
  }
  TInputPipe(const TInputPipe&) = delete;
  TInputPipe& operator=(const TInputPipe&) = delete;
  HANDLE ReadEnd() const { return read_; }

 private:
  HANDLE read_ = nullptr;
};

PROCESS_INFORMATION Create(const std::string& program, const std::string& parameters,
                           const std::string& directory = {}, const TOutputHandles* pipes = nullptr,
                           HANDLE input = nullptr) {
  std::string commandLine = "\"" + program + "\" " + parameters;
  STARTUPINFOEXA startup{};
  startup.StartupInfo.cb = pipes || input ? sizeof startup : sizeof startup.StartupInfo;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = SW_SHOWMINIMIZED;
  DWORD flags = 0;
  std::vector<char> attributeList;
  HANDLE inherited[3] = {};
  DWORD inheritedCount = 0;
  const bool handles = pipes || input;
  if (handles) {
    startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input ? input : GetStdHandle(STD_INPUT_HANDLE);
    startup.StartupInfo.hStdOutput = pipes ? pipes->output : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.StartupInfo.hStdError = pipes ? pipes->error : GetStdHandle(STD_ERROR_HANDLE);
    // Only these handles go to the program, not those that other threads are
    // handing to theirs at the same time.
    if (pipes) {
      inherited[inheritedCount++] = pipes->output;
      inherited[inheritedCount++] = pipes->error;
    }
    if (input) inherited[inheritedCount++] = input;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributeList.resize(size);
    startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeList.data());
    if (!InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size) ||
        !UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                   inherited, inheritedCount * sizeof(HANDLE), nullptr, nullptr)) {
      throw Exception(Format("Cannot start %s", program));
    }
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  PROCESS_INFORMATION process;
  // Without a folder in the name, the system searches for the program as the
  // command interpreter would.
  const bool bare = program.find_first_of("\\/:") == std::string::npos;
  const BOOL created = CreateProcessA(
      bare ? nullptr : program.c_str(), commandLine.data(), nullptr, nullptr,
      handles ? TRUE : FALSE, flags, nullptr, directory.empty() ? nullptr : directory.c_str(),
      &startup.StartupInfo, &process);
  if (handles) DeleteProcThreadAttributeList(startup.lpAttributeList);
  if (!created) throw Exception(Format("Cannot start %s", program));
  CloseHandle(process.hThread);
  return process;
}

// The pipes of a program's standard output and error, read by the thread
// that waits for it.
class TOutputPipes {
 public:
  TOutputPipes() {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&read_[0], &write_.output, &inheritable, 0) ||
        !CreatePipe(&read_[1], &write_.error, &inheritable, 0)) {
      Close();
      throw Exception("Cannot make a pipe");
    }
    SetHandleInformation(read_[0], HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(read_[1], HANDLE_FLAG_INHERIT, 0);
  }
  ~TOutputPipes() { Close(); }
  TOutputPipes(const TOutputPipes&) = delete;
  TOutputPipes& operator=(const TOutputPipes&) = delete;

  const TOutputHandles* WriteEnds() const { return &write_; }
  // Once the program has them: only it may keep them open.
  void CloseWriteEnds() {
    CloseOne(write_.output);
    CloseOne(write_.error);
  }
  // Reads what is waiting on both pipes; true when anything was.
  bool Read(TOutputLines& lines) {
    bool any = false;
    for (int i = 0; i < 2; ++i) {
      while (read_[i]) {
        DWORD waiting = 0;
        if (!PeekNamedPipe(read_[i], nullptr, 0, nullptr, &waiting, nullptr)) {
          lines.End(i + 1);  // the program and all it started have let go
          CloseOne(read_[i]);
          break;
        }
        if (waiting == 0) break;
        char buffer[4096];
        DWORD n = 0;
        if (!ReadFile(read_[i], buffer, std::min<DWORD>(waiting, sizeof buffer), &n, nullptr) ||
            n == 0) {
          break;
        }
        lines.Add(i + 1, buffer, n);
        any = true;
      }
    }
    return any;
  }

 private:
  static void CloseOne(HANDLE& handle) {
    if (handle) CloseHandle(handle);
    handle = nullptr;
  }
  void Close() {
    CloseOne(read_[0]);
    CloseOne(read_[1]);
    CloseWriteEnds();
  }

  HANDLE read_[2] = {};
  TOutputHandles write_;
};

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
    std::optional<TOutputPipes> pipes;
    if (options.output) pipes.emplace();
    std::optional<TInputPipe> input;
    if (options.input) input.emplace(*options.input);
    const PROCESS_INFORMATION process =
        Create(program, parameters, options.workingDirectory, pipes ? pipes->WriteEnds() : nullptr,
               input ? input->ReadEnd() : nullptr);
    input.reset();
    if (pipes) pipes->CloseWriteEnds();
    const HANDLE handle = process.hProcess;
    const auto end = [handle] { TerminateProcess(handle, kStoppedStatus); };
    if (options.stop && !options.stop->Add(&process, end)) end();
    if (options.started) options.started();
    if (pipes) {
      // Anonymous pipes cannot be waited on: looked at while the program runs.
      TOutputLines lines(options.output);
      while (WaitForSingleObject(handle, pipes->Read(lines) ? 0 : 20) == WAIT_TIMEOUT) {
      }
      pipes->Read(lines);
      lines.End(1);
      lines.End(2);
    } else {
      WaitForSingleObject(handle, INFINITE);
    }
    if (options.stop) options.stop->Remove(&process);
    DWORD code = 0;
    GetExitCodeProcess(handle, &code);
    CloseHandle(handle);
    return static_cast<int>(code);
  }
  void Start(const std::string& program, const std::string& parameters,
             const std::string& workingDirectory, IFileLock*, const std::vector<std::string>&,
             const std::optional<std::string>& input) override {
    CheckWorkingDirectory(workingDirectory);
    std::optional<TInputPipe> pipe;
    if (input) pipe.emplace(*input);
    CloseHandle(
        Create(program, parameters, workingDirectory, nullptr, pipe ? pipe->ReadEnd() : nullptr)
            .hProcess);
  }
  void Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& workingDirectory, IFileLock* kept,
             const std::vector<std::string>& whenEnded,
             const std::optional<std::string>& input) override {
    Start(program, JoinArguments(arguments), workingDirectory, kept, whenEnded, input);
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
