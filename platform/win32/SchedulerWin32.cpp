// The nightly run kept as a task of the user's Task Scheduler, registered
// from its XML definition through schtasks.
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "platform/Errors.h"
#include "platform/Scheduler.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

std::wstring Wide(const std::string& text) {
  const std::u16string utf16 = Local8BitToUtf16(text);
  return std::wstring(utf16.begin(), utf16.end());
}

// Runs schtasks with the arguments, its output going nowhere, and returns
// its exit status; -1 when it cannot be started.
int Schtasks(const std::string& arguments) {
  std::wstring line = L"schtasks.exe " + Wide(arguments);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE null = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = null;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  if (null != INVALID_HANDLE_VALUE) CloseHandle(null);
  if (!started) return -1;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string UserName() {
  wchar_t name[256];
  DWORD size = 256;
  if (!GetUserNameW(name, &size)) return "Packetwright";
  std::u16string utf16(name, name + (size ? size - 1 : 0));
  return Utf16ToLocal8Bit(utf16);
}

class Win32Scheduler final : public IScheduler {
 public:
  TScheduleEntry Install(const TScheduledCommand& command) override {
    // schtasks reads the definition as UTF-16 with its byte order mark.
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    const std::string file =
        Utf16ToLocal8Bit(std::u16string(folder, folder + length)) + command.name + ".xml";
    {
      const std::u16string xml = u"\xFEFF" + Local8BitToUtf16(TaskDefinitionXml(command, UserName()));
      std::ofstream out(std::filesystem::path(Wide(file)), std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(xml.data()),
                static_cast<std::streamsize>(xml.size() * sizeof(char16_t)));
      if (!out.flush()) throw EWriteError("Cannot create file " + file);
    }
    const int status = Schtasks("/Create /TN " + Quoted(command.name) + " /XML " + Quoted(file) + " /F");
    DeleteFileW(Wide(file).c_str());
    if (status != 0) {
      throw Exception("The Task Scheduler refused the task " + command.name +
                      (status < 0 ? " (schtasks cannot be started)" : ""));
    }
    return {"Task Scheduler", command.name};
  }

  std::optional<TScheduleEntry> Remove(const std::string& name) override {
    if (!Find(name)) return std::nullopt;
    if (Schtasks("/Delete /TN " + Quoted(name) + " /F") != 0) {
      throw Exception("The Task Scheduler did not remove the task " + name);
    }
    return TScheduleEntry{"Task Scheduler", name};
  }

  std::optional<TScheduleEntry> Find(const std::string& name) override {
    if (Schtasks("/Query /TN " + Quoted(name)) != 0) return std::nullopt;
    return TScheduleEntry{"Task Scheduler", name};
  }
};

}  // namespace

template <>
IScheduler& DefaultService<IScheduler>() {
  static Win32Scheduler instance;
  return instance;
}

}  // namespace pw
