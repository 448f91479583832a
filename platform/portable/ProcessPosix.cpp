#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/Errors.h"
#include "platform/NativePath.h"
#include "platform/Process.h"
#include "platform/Services.h"

extern char** environ;

namespace pw {

namespace {

class SpawningRunner final : public IProcessRunner {
 public:
  int RunAndWait(const std::string& program, const std::string& parameters) override {
    const std::string path = NativePath(program);
    std::vector<std::string> args = {path};
    for (std::string& arg : SplitCommandLine(parameters)) args.push_back(std::move(arg));
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    // The archiver gets the signal dispositions it would get from a shell.
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGXFSZ);
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid;
    const int error =
        ::posix_spawnp(&pid, path.c_str(), nullptr, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    if (error != 0) {
      throw Exception("Cannot start " + program + ": " + std::strerror(error));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) throw Exception("Lost track of " + program);
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
  }
};

}  // namespace

template <>
IProcessRunner& DefaultService<IProcessRunner>() {
  static SpawningRunner instance;
  return instance;
}

void IgnoreFileSizeLimitSignal() {
  ::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace pw
