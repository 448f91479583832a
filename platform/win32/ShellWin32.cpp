#include <windows.h>
// shellapi.h and shlwapi.h need the declarations of windows.h first.
#include <shellapi.h>
#include <shlwapi.h>

#include "platform/CommandLine.h"
#include "platform/Services.h"
#include "platform/Shell.h"

namespace pw {

namespace {

// The extension of the file that a file address with a section names
// (".html" for file:///C:/Help/Page.html#topic); empty for anything else.
std::string SectionFileExtension(const std::string& file) {
  if (file.rfind("file:", 0) != 0) return {};
  const size_t section = file.find('#');
  if (section == std::string::npos) return {};
  const size_t dot = file.find_last_of('.', section);
  const size_t slash = file.find_last_of("/\\", section);
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return file.substr(dot, section - dot);
}

// The shell turns a file address into the file's path, and a section after
// it either into part of the name (no such file) or into nothing: the help
// would open at its top, or not at all. The program that opens such files is
// given the whole address instead, as its file type's command says.
bool OpenAtSection(const std::string& file, const char* directory, int show) {
  const std::string extension = SectionFileExtension(file);
  if (extension.empty()) return false;
  char command[4096];
  DWORD size = sizeof command;
  if (AssocQueryStringA(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, extension.c_str(), "open", command,
                        &size) != S_OK) {
    return false;
  }
  const TProgramCall call = AssociationCall(command, file);
  const auto started = ShellExecuteA(nullptr, "open", call.program.c_str(), call.parameters.c_str(),
                                     directory, show);
  return reinterpret_cast<INT_PTR>(started) > 32;
}

class SystemShell final : public IShell {
 public:
  void Execute(const std::string& verb, const std::string& file, const std::string& parameters,
               const std::string& directory, TShowCommand show) override {
    const char* folder = directory.empty() ? nullptr : directory.c_str();
    const int how = show == TShowCommand::swShowMinimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
    if (verb == "open" && parameters.empty() && OpenAtSection(file, folder, how)) return;
    ShellExecuteA(nullptr, verb.c_str(), file.c_str(), parameters.c_str(), folder, how);
  }
};

}  // namespace

template <>
IShell& DefaultService<IShell>() {
  static SystemShell instance;
  return instance;
}

}  // namespace pw
