#include "tests/support/TestSupport.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

#include "platform/CommandLine.h"
#include "platform/Errors.h"
#include "platform/Process.h"
#include "platform/ProgramPath.h"
#include "platform/SafeFile.h"

namespace pw::test {

namespace {

std::string UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  std::random_device entropy;
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::to_string(entropy()) + "-" + std::to_string(ticks % 1000000007) + "-" +
         std::to_string(counter++);
}

#ifdef _WIN32
std::wstring Wide(const std::string& bytes, UINT codePage) {
  const int n =
      MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
  const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n,
                      nullptr, nullptr);
  return bytes;
}

void SetVariable(const char* name, const std::string* value) {
  SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
  _putenv_s(name, value ? value->c_str() : "");
}
#else
void SetVariable(const char* name, const std::string* value) {
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}
#endif

}  // namespace

TTempFolder::TTempFolder(const std::string& stem)
    : path_(fs::temp_directory_path() / ("pw-" + stem + "-" + UniqueSuffix())) {
  fs::create_directories(path_);
}

TTempFolder::~TTempFolder() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

#ifndef _WIN32
TScopedEnvironment::TScopedEnvironment(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  value ? ::setenv(name, value, 1) : ::unsetenv(name);
}

TScopedEnvironment::~TScopedEnvironment() {
  old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_);
}

void WriteSchedulerStandIns(const fs::path& bin) {
  fs::create_directories(bin);
  WriteFile(bin / "systemctl",
            "#!/bin/sh\n"
            "echo \"$*\" >> \"$PW_SYSTEMCTL_LOG\"\n"
            "case \"$*\" in *is-system-running*)\n"
            "  [ -n \"$PW_USER_MANAGER\" ] && { echo \"$PW_USER_MANAGER\"; exit 0; }\n"
            "  echo 'Failed to connect to bus' >&2; echo offline; exit 1;;\n"
            "esac\n");
  WriteFile(bin / "crontab",
            "#!/bin/sh\n"
            "case \"$1\" in\n"
            "  -l) [ -f \"$PW_CRONTAB\" ] || { echo \"no crontab for $USER\" >&2; exit 1; }\n"
            "      [ -f \"$PW_CRONTAB.broken\" ] && { echo 'cannot read' >&2; exit 1; }\n"
            "      cat \"$PW_CRONTAB\";;\n"
            "  -) cat > \"$PW_CRONTAB\";;\n"
            "  *) exit 2;;\n"
            "esac\n");
  fs::permissions(bin / "systemctl", fs::perms::owner_all);
  fs::permissions(bin / "crontab", fs::perms::owner_all);
}
#endif

bool UnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
  return false;
#endif
}

std::string Local8Bit(const std::string& utf8) {
#ifdef _WIN32
  return Narrow(Wide(utf8, CP_UTF8), CP_ACP);
#else
  return utf8;
#endif
}

std::string ProgramPath(const fs::path& path) {
#ifdef _WIN32
  return Narrow(path.wstring(), CP_ACP);
#else
  return path.string();
#endif
}

fs::path FromProgramPath(const std::string& path) {
#ifdef _WIN32
  return fs::path(Wide(path, CP_ACP));
#else
  return fs::path(path);
#endif
}

bool WaitForFile(const fs::path& file) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!fs::exists(file)) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

void SaveFile(const std::string& name, const std::string& bytes) {
  TSafeFileWriter writer(name);
  writer.Stream().WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  writer.Commit();
}

std::string SaveFails(const std::string& name, const std::string& bytes) {
  try {
    SaveFile(name, bytes);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
               const fs::path& input, const fs::path& output, const fs::path& errors) {
#ifdef _WIN32
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const auto open = [&](const fs::path& path, bool write) {
    return CreateFileW(path.wstring().c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  if (!fs::exists(input)) WriteFile(input, "");
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = open(input, false);
  startup.hStdOutput = open(output, true);
  startup.hStdError = open(errors, true);
  std::string commandLine = QuoteWindowsArgument(program);
  for (const std::string& arg : arguments) commandLine += " " + QuoteWindowsArgument(arg);
  PROCESS_INFORMATION process;
  const bool started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                      0, nullptr, nullptr, &startup, &process);
  CloseHandle(startup.hStdInput);
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  if (!started) return -1;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
#else
  if (!fs::exists(input)) WriteFile(input, "");
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : arguments) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int in = ::open(input.c_str(), O_RDONLY);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(127);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

std::string RecorderPath() {
#ifdef _WIN32
  return ProgramDirectory() + "pw_recorder.exe";
#else
  return ProgramDirectory() + "pw_recorder";
#endif
}

TRecording::TRecording(const fs::path& file, int status, int delayMs, const fs::path& release,
                       const fs::path& started)
    : lock_(fs::path(file).concat(".lock")) {
  const std::string name = ProgramPath(file);
  const std::string released = release.empty() ? std::string() : ProgramPath(release);
  SetVariable("PW_RECORD_RELEASE", &released);
  const std::string starts = started.empty() ? std::string() : ProgramPath(started);
  SetVariable("PW_RECORD_STARTED", &starts);
  const std::string code = std::to_string(status);
  const std::string delay = std::to_string(delayMs);
  SetVariable("PW_RECORD", &name);
  SetVariable("PW_RECORD_STATUS", &code);
  SetVariable("PW_RECORD_DELAY_MS", &delay);
}

TRecording::TRecording(const fs::path& file, const std::vector<int>& statuses, int status)
    : TRecording(file, status) {
  statuses_ = fs::path(file).concat(".statuses");
  std::string list;
  for (const int s : statuses) list += std::to_string(s) + "\n";
  WriteFile(statuses_, list);
  const std::string name = ProgramPath(statuses_);
  SetVariable("PW_RECORD_STATUSES", &name);
}

TRecording::~TRecording() {
  SetVariable("PW_RECORD_STATUSES", nullptr);
  if (!statuses_.empty()) {
    std::error_code ignored;
    fs::remove(statuses_, ignored);
  }
  std::error_code ignored;
  fs::remove(lock_, ignored);
  SetVariable("PW_RECORD", nullptr);
  SetVariable("PW_RECORD_STATUS", nullptr);
  SetVariable("PW_RECORD_DELAY_MS", nullptr);
  SetVariable("PW_RECORD_RELEASE", nullptr);
  SetVariable("PW_RECORD_STARTED", nullptr);
}

std::vector<std::string> RecordedLines(const fs::path& file) {
  std::vector<std::string> lines;
  const std::string text = ReadFile(file);
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::string CommandOutput(const std::string& command) {
#ifdef _WIN32
  FILE* pipe = ::_popen(command.c_str(), "r");
#else
  FILE* pipe = ::popen(command.c_str(), "r");
#endif
  std::string text;
  if (!pipe) return text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
#ifdef _WIN32
  ::_pclose(pipe);
#else
  ::pclose(pipe);
#endif
  return text;
}

}  // namespace pw::test
