#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/Errors.h"
#include "platform/NativePath.h"
#include "platform/Process.h"
#include "platform/Programs.h"
#include "platform/Services.h"

extern char** environ;

namespace pw {

namespace {

// Shared with the signal handler, which may only read and write them.
static_assert(sizeof(pid_t) <= sizeof(std::sig_atomic_t));
volatile std::sig_atomic_t receivedSignal = 0;  // the first ending signal, 0 for none
volatile std::sig_atomic_t waitedChild = 0;     // the program RunAndWait waits for, 0 for none

constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction earlierActions[std::size(kEndingSignals)];

void PassOn(int signal) {
  const int savedErrno = errno;
  if (receivedSignal == 0) receivedSignal = signal;
  const pid_t child = static_cast<pid_t>(waitedChild);
  if (child > 0) ::kill(child, signal);
  errno = savedErrno;
}

// Publishes the child that RunAndWait waits for while the object lives.
class TWaitedChild {
 public:
  explicit TWaitedChild(pid_t pid) {
    waitedChild = pid;
    // A signal that arrived before the child could be reached.
    if (const int signal = receivedSignal) ::kill(pid, signal);
  }
  ~TWaitedChild() { waitedChild = 0; }
  TWaitedChild(const TWaitedChild&) = delete;
  TWaitedChild& operator=(const TWaitedChild&) = delete;
};

class Argv {
 public:
  Argv(const std::string& program, const std::vector<std::string>& arguments)
      : words_{NativePath(program)} {
    words_.insert(words_.end(), arguments.begin(), arguments.end());
    for (std::string& word : words_) pointers_.push_back(word.data());
    pointers_.push_back(nullptr);
  }
  const char* File() const { return words_[0].c_str(); }
  char** Pointers() { return pointers_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

[[noreturn]] void CannotStart(const std::string& program, int error) {
  throw Exception("Cannot start " + program + ": " + std::strerror(error));
}

int Wait(pid_t pid, const std::string& program) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw Exception("Lost track of " + program);
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

// Reads the error number a child wrote before it gave up; 0 when the pipe
// closed without one, which means the program is running.
int ReadStartError(int fd) {
  int error = 0;
  ssize_t n;
  while ((n = ::read(fd, &error, sizeof error)) < 0 && errno == EINTR) {
  }
  return n == static_cast<ssize_t>(sizeof error) ? error : 0;
}

class SpawningRunner final : public IProcessRunner {
 public:
  int RunAndWait(const std::string& program, const std::string& parameters) override {
    return RunAndWait(program, SplitCommandLine(parameters));
  }

  int RunAndWait(const std::string& program, const std::vector<std::string>& arguments) override {
    Argv argv(program, arguments);
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
        ::posix_spawnp(&pid, argv.File(), nullptr, &attributes, argv.Pointers(), environ);
    ::posix_spawnattr_destroy(&attributes);
    if (error != 0) CannotStart(program, error);
    {
      const TWaitedChild published(pid);
      // Waits for the end without reaping the child: until it is reaped its
      // pid cannot go to another process, which a signal passed on meanwhile
      // would reach.
      siginfo_t info;
      while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0) {
        if (errno != EINTR) throw Exception("Lost track of " + program);
      }
    }
    return Wait(pid, program);
  }

  void Start(const std::string& program, const std::string& parameters) override {
    Start(program, SplitCommandLine(parameters));
  }

  // The program runs in its own session as the child of a short-lived
  // intermediate process, so that it leaves no zombie behind and outlives
  // us. A pipe closed on exec tells whether it really started.
  void Start(const std::string& program, const std::vector<std::string>& arguments) override {
    // The name is looked up now, as posix_spawnp looks it up for a waited
    // run, and started with execv: execvp would hand a text file without a
    // "#!" line to the shell, where a waited run reports "Exec format error".
    std::string file = NativePath(program);
    if (file.find('/') == std::string::npos) {
      const std::optional<std::string> found = Get<IProgramSearch>().FindOnPath(file);
      if (!found) CannotStart(program, ENOENT);
      file = *found;
    }
    Argv argv(program, arguments);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) CannotStart(program, errno);
    const pid_t middle = ::fork();
    if (middle == 0) {
      ::close(report[0]);
      ::setsid();
      const pid_t child = ::fork();
      if (child == 0) {
        ::signal(SIGXFSZ, SIG_DFL);
        ::execv(file.c_str(), argv.Pointers());
      }
      if (child <= 0) {
        const int error = errno;
        (void)!::write(report[1], &error, sizeof error);
      }
      ::_exit(child == 0 ? 127 : 0);
    }
    const int forkError = errno;
    ::close(report[1]);
    if (middle < 0) {
      ::close(report[0]);
      CannotStart(program, forkError);
    }
    const int error = ReadStartError(report[0]);
    ::close(report[0]);
    Wait(middle, program);
    if (error != 0) CannotStart(program, error);
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

TEndingSignalsPassedOn::TEndingSignalsPassedOn() {
  receivedSignal = 0;
  struct sigaction action {};
  action.sa_handler = PassOn;
  sigemptyset(&action.sa_mask);
  for (const int signal : kEndingSignals) sigaddset(&action.sa_mask, signal);
  // Everything else the program does goes on undisturbed.
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
    ::sigaction(kEndingSignals[i], nullptr, &earlierActions[i]);
    if (earlierActions[i].sa_handler != SIG_IGN) ::sigaction(kEndingSignals[i], &action, nullptr);
  }
}

TEndingSignalsPassedOn::~TEndingSignalsPassedOn() {
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
    ::sigaction(kEndingSignals[i], &earlierActions[i], nullptr);
  }
  receivedSignal = 0;
}

int TEndingSignalsPassedOn::Received() {
  return receivedSignal;
}

std::string SignalDescription(int signal) {
  const char* description = ::strsignal(signal);
  return description ? description : "signal " + std::to_string(signal);
}

}  // namespace pw
