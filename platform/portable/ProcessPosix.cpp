#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
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
#include "platform/portable/SystemCodes.h"

extern char** environ;

namespace pw {

namespace {

// Shared with the signal handler, which may only read and write them: lock-free
// atomics are safe there.
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free);
std::atomic<int> receivedSignal{0};  // the first ending signal, 0 for none
// The programs that waited runs wait for, on whichever thread: a slot holds a
// process id, kReserved while its run starts the program, or 0 when free.
constexpr pid_t kReserved = -1;
std::atomic<pid_t> waitedChildren[kMostProgramsWaitedFor];

constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction earlierActions[std::size(kEndingSignals)];

void PassOn(int signal) {
  const int savedErrno = errno;
  int none = 0;
  receivedSignal.compare_exchange_strong(none, signal);
  for (std::atomic<pid_t>& slot : waitedChildren) {
    const pid_t child = slot.load();
    if (child > 0) ::kill(child, signal);
  }
  errno = savedErrno;
}

// A slot of waitedChildren for one waited run, taken before its program
// starts, so that a run that could not pass a signal on never starts.
class TWaitedChild {
 public:
  TWaitedChild() {
    for (std::atomic<pid_t>& slot : waitedChildren) {
      pid_t free = 0;
      if (slot.compare_exchange_strong(free, kReserved)) {
        slot_ = &slot;
        return;
      }
    }
    throw Exception(Format("More than %d programs waited for at once", kMostProgramsWaitedFor));
  }
  // Publishes the child until the object goes. The handler reads the slot
  // after it records the signal, and this reads the signal after it fills the
  // slot: one of the two passes a signal on that arrives meanwhile.
  void Publish(pid_t pid) {
    slot_->store(pid);
    if (const int signal = receivedSignal.load()) ::kill(pid, signal);
  }
  // Frees the slot, before the child is reaped.
  void Clear() { slot_->store(0); }
  ~TWaitedChild() { Clear(); }
  TWaitedChild(const TWaitedChild&) = delete;
  TWaitedChild& operator=(const TWaitedChild&) = delete;

 private:
  std::atomic<pid_t>* slot_ = nullptr;
};

// The registration of a started program with a TRunStop, if any, while the
// object lives: removed before the child is reaped.
class TStoppable {
 public:
  TStoppable(TRunStop* stop, pid_t pid) : stop_(stop) {
    if (!stop_) return;
    const auto end = [pid] { ::kill(pid, SIGTERM); };
    if (!stop_->Add(this, end)) end();  // stopped while it started
  }
  ~TStoppable() {
    if (stop_) stop_->Remove(this);
  }
  TStoppable(const TStoppable&) = delete;
  TStoppable& operator=(const TStoppable&) = delete;

 private:
  TRunStop* stop_;
};

// The working directory, open for the child to enter: the checks and the
// errors of a change of the current directory, without one.
class TWorkingDirectory {
 public:
  explicit TWorkingDirectory(const std::string& path) {
    if (path.empty()) return;
    const std::string native = NativePath(path);
    if (native.empty()) throw InOutError(2);
    fd_ = ::open(native.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) throw InOutError(SystemCode(errno));
    // Entering it needs the right to search it, as chdir checks.
    if (::faccessat(fd_, ".", X_OK, AT_EACCESS) != 0) {
      const int error = errno;
      ::close(fd_);
      throw InOutError(SystemCode(error));
    }
  }
  ~TWorkingDirectory() {
    if (fd_ >= 0) ::close(fd_);
  }
  TWorkingDirectory(const TWorkingDirectory&) = delete;
  TWorkingDirectory& operator=(const TWorkingDirectory&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
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
    return RunAndWait(program, arguments, TRunOptions{});
  }

  int RunAndWait(const std::string& program, const std::string& parameters,
                 const TRunOptions& options) override {
    return RunAndWait(program, SplitCommandLine(parameters), options);
  }

  int RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                 const TRunOptions& options) override {
    const TWorkingDirectory directory(options.workingDirectory);
    if (options.prepare) options.prepare();
    if (options.stop && options.stop->Stopped()) throw ERunStopped(program);
    Argv argv(program, arguments);
    TWaitedChild published;
    // The archiver gets the signal dispositions it would get from a shell.
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGXFSZ);
    sigaddset(&defaults, SIGPIPE);
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    int error =
        directory.Fd() >= 0 ? ::posix_spawn_file_actions_addfchdir_np(&actions, directory.Fd()) : 0;
    pid_t pid;
    if (error == 0) {
      error = ::posix_spawnp(&pid, argv.File(), &actions, &attributes, argv.Pointers(), environ);
    }
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    if (error != 0) CannotStart(program, error);
    {
      published.Publish(pid);
      const TStoppable stoppable(options.stop, pid);
      if (options.started) options.started();
      // Waits for the end without reaping the child: until it is reaped its
      // pid cannot go to another process, which a signal passed on or a stop
      // meanwhile would reach.
      siginfo_t info;
      while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0) {
        if (errno != EINTR) throw Exception("Lost track of " + program);
      }
    }
    published.Clear();
    return Wait(pid, program);
  }

  void Start(const std::string& program, const std::string& parameters,
             const std::string& workingDirectory, IFileLock* kept) override {
    Start(program, SplitCommandLine(parameters), workingDirectory, kept);
  }

  // The program runs in its own session as the child of a short-lived
  // intermediate process, so that it leaves no zombie behind and outlives
  // us. A pipe closed on exec tells whether it really started. A lock it
  // keeps goes to a keeper instead, a process of its own in that session
  // that holds the lock (as does the program, which inherits it), waits for
  // the program and removes the lock's file before it lets go.
  void Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& workingDirectory, IFileLock* kept) override {
    const TWorkingDirectory directory(workingDirectory);
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
    const int lockFd = kept ? static_cast<int>(kept->Handle()) : -1;
    const std::string lockFile = kept ? NativePath(kept->Path()) : std::string();
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) CannotStart(program, errno);
    const pid_t middle = ::fork();
    if (middle == 0) {
      // Only calls that are safe after a fork of a program with threads.
      ::close(report[0]);
      ::setsid();
      if (lockFd >= 0) {
        const pid_t keeper = ::fork();
        if (keeper != 0) {
          if (keeper < 0) {
            const int error = errno;
            (void)!::write(report[1], &error, sizeof error);
          }
          ::_exit(keeper < 0 ? 127 : 0);
        }
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        for (const int signal : kEndingSignals) ::sigaction(signal, &standard, nullptr);
      }
      const pid_t child = ::fork();
      if (child == 0) {
        ::signal(SIGXFSZ, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        if (lockFd >= 0) ::fcntl(lockFd, F_SETFD, 0);
        if (directory.Fd() < 0 || ::fchdir(directory.Fd()) == 0)
          ::execv(file.c_str(), argv.Pointers());
        const int error = errno;
        (void)!::write(report[1], &error, sizeof error);
        ::_exit(127);
      }
      if (child <= 0) {
        const int error = errno;
        (void)!::write(report[1], &error, sizeof error);
      }
      if (lockFd >= 0 && child > 0) {
        // The keeper keeps nothing else open: not the report, which must
        // close once the program runs, nor what this process had open.
        if (lockFd > 0) ::close_range(0, static_cast<unsigned>(lockFd) - 1, 0);
        ::close_range(static_cast<unsigned>(lockFd) + 1, ~0u, 0);
        int status;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        // Still the file it locked, unless a start that failed gave it up.
        struct stat held, named;
        if (::fstat(lockFd, &held) == 0 && ::stat(lockFile.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
          ::unlink(lockFile.c_str());
        }
        ::_exit(0);
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
    if (kept) kept->Leave();
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

void IgnoreBrokenPipeSignal() {
  ::signal(SIGPIPE, SIG_IGN);
}

TEndingSignalsPassedOn::TEndingSignalsPassedOn() {
  receivedSignal.store(0);
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
  receivedSignal.store(0);
}

int TEndingSignalsPassedOn::Received() {
  return receivedSignal.load();
}

std::string SignalDescription(int signal) {
  const char* description = ::strsignal(signal);
  return description ? description : "signal " + std::to_string(signal);
}

}  // namespace pw
