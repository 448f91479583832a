// The desktop's opener for folders, documents and addresses; programs are
// started directly, detached from this process.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/DesktopEntry.h"
#include "platform/NativePath.h"
#include "platform/Services.h"
#include "platform/Shell.h"

namespace pw {

namespace {

bool IsAddress(const std::string& file) {
  return file.find("://") != std::string::npos || file.rfind("mailto:", 0) == 0;
}

bool IsProgram(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The default application for plain text, as xdg-mime names it.
std::string TextEditorEntry() {
  FILE* query = ::popen("xdg-mime query default text/plain 2>/dev/null", "r");
  if (!query) return {};
  char buffer[512];
  std::string id;
  if (std::fgets(buffer, sizeof buffer, query)) id = buffer;
  ::pclose(query);
  while (!id.empty() && (id.back() == '\n' || id.back() == '\r' || id.back() == ' ')) id.pop_back();
  return id;
}

// The desktop's text editor for file, then $VISUAL, then the desktop's opener.
std::vector<std::string> EditCommand(const std::string& file) {
  if (const auto exec = FindDesktopEntryExec(TextEditorEntry())) {
    std::vector<std::string> command = DesktopEntryCommand(*exec, file);
    if (!command.empty()) return command;
  }
  const char* visual = std::getenv("VISUAL");
  return {visual && *visual ? visual : "xdg-open", file};
}

// Starts argv in its own session through an intermediate child, so that the
// program outlives nothing of ours and leaves no zombie behind.
void SpawnDetached(const std::vector<std::string>& argv, const std::string& directory) {
  std::vector<char*> pointers;
  for (const std::string& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
  pointers.push_back(nullptr);
  const pid_t middle = ::fork();
  if (middle < 0) return;
  if (middle == 0) {
    ::setsid();
    const pid_t child = ::fork();
    if (child == 0) {
      ::signal(SIGXFSZ, SIG_DFL);  // as a shell would start it
      ::signal(SIGPIPE, SIG_DFL);
      if (!directory.empty() && ::chdir(directory.c_str()) != 0) ::_exit(127);
      ::execvp(pointers[0], pointers.data());
      ::_exit(127);
    }
    ::_exit(0);
  }
  int status;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
}

class DesktopShell final : public IShell {
 public:
  void Execute(const std::string& verb, const std::string& file, const std::string& parameters,
               const std::string& directory, TShowCommand) override {
    const std::string path = IsAddress(file) ? file : NativePath(file);
    const std::string folder = NativePath(directory);
    if (verb == "edit") {
      SpawnDetached(EditCommand(path), folder);
    } else if (!IsAddress(file) && IsProgram(path)) {
      std::vector<std::string> argv = {path};
      for (std::string& arg : SplitCommandLine(parameters)) argv.push_back(std::move(arg));
      SpawnDetached(argv, folder);
    } else {
      SpawnDetached({"xdg-open", path}, folder);
    }
  }
};

}  // namespace

template <>
IShell& DefaultService<IShell>() {
  static DesktopShell instance;
  return instance;
}

}  // namespace pw
