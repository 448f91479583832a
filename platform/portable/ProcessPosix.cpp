#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/Errors.h"
#include "platform/NativePath.h"
#include "platform/OutputLines.h"
#include "platform/Process.h"
#include "platform/Programs.h"
#include "platform/Services.h"
#include "platform/portable/ShellSignals.h"
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

// The pipes that carry a program's standard output and error to the thread
// that waits for it.
class TOutputPipes {
 public:
  TOutputPipes() {
    for (int i = 0; i < 2; ++i) {
      if (::pipe2(ends_[i], O_CLOEXEC) != 0) {
        const int error = errno;
        Close();
        throw Exception(std::string("Cannot make a pipe: ") + std::strerror(error));
      }
      // Read without waiting: a program's own child may keep a write end open
      // after the program has ended.
      ::fcntl(ends_[i][0], F_SETFL, O_NONBLOCK);
    }
  }
  ~TOutputPipes() { Close(); }
  TOutputPipes(const TOutputPipes&) = delete;
  TOutputPipes& operator=(const TOutputPipes&) = delete;

  // The child's standard output and error become the write ends.
  int AddTo(posix_spawn_file_actions_t& actions) const {
    int error = ::posix_spawn_file_actions_adddup2(&actions, ends_[0][1], 1);
    if (error == 0) error = ::posix_spawn_file_actions_adddup2(&actions, ends_[1][1], 2);
    return error;
  }
  // Once the child has them: only the child may keep them open.
  void CloseWriteEnds() {
    for (auto& end : ends_) CloseOne(end[1]);
  }
  int ReadEnd(int i) const { return ends_[i][0]; }
  bool Open(int i) const { return ends_[i][0] >= 0; }

  // Reads what is there on pipe i and hands on its whole lines; at the end
  // of the pipe also the last, unfinished one.
  void Read(int i, TOutputLines& lines) {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(ends_[i][0], buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0) {
        lines.Add(i + 1, buffer, static_cast<size_t>(n));
        continue;
      }
      if (n == 0 || errno != EAGAIN) {
        lines.End(i + 1);
        CloseOne(ends_[i][0]);
      }
      return;
    }
  }

 private:
  static void CloseOne(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  void Close() {
    for (auto& end : ends_) {
      CloseOne(end[0]);
      CloseOne(end[1]);
    }
  }

  int ends_[2][2] = {{-1, -1}, {-1, -1}};
};

// A program's standard input from memory: a pipe filled and closed at once,
// whose read end alone goes to the program. What it holds never touches a
// file, and nobody waits for the program to read it.
class TInputPipe {
 public:
  explicit TInputPipe(const std::string& bytes) {
    CheckInputSize(bytes);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
      throw Exception(std::string("Cannot make a pipe: ") + std::strerror(errno));
    }
    read_ = ends[0];
    size_t written = 0;
    while (written < bytes.size()) {
      const ssize_t n = ::write(ends[1], bytes.data() + written, bytes.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const int error = errno;
        ::close(ends[1]);
        ::close(read_);
        throw Exception(std::string("Cannot fill a pipe: ") + std::strerror(error));
      }
      written += static_cast<size_t>(n);
    }
    ::close(ends[1]);
  }
  ~TInputPipe() { CloseReadEnd(); }
  TInputPipe(const TInputPipe&) = delete;
  TInputPipe& operator=(const TInputPipe&) = delete;

  int ReadEnd() const { return read_; }
  // Once the child has it.
  void CloseReadEnd() {
    if (read_ >= 0) ::close(read_);
    read_ = -1;
  }

 private:
  int read_ = -1;
};

// A descriptor that becomes readable when the process ends (Linux 5.3 and
// later); -1 where the system has none, which is then asked now and then.
int ProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  const long fd = ::syscall(SYS_pidfd_open, pid, 0);
  if (fd >= 0) {
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    return static_cast<int>(fd);
  }
#endif
  return -1;
}

// Waits for the child to end without reaping it (until it is reaped its pid
// cannot go to another process, which a signal passed on or a stop meanwhile
// would reach), handing on its output meanwhile. Once a stop or an ending
// signal has come, a child still running after the grace is killed.
void AwaitEnd(pid_t pid, const std::string& program, TRunStop* stop, TOutputPipes* pipes,
              const TOutputLines::TOutput& output) {
  TOutputLines lines(output);
  using Clock = std::chrono::steady_clock;
  const int process = ProcessDescriptor(pid);
  const std::chrono::milliseconds grace = stop ? stop->Grace() : kStopGrace;
  std::optional<Clock::time_point> killAt;
  bool killed = false;
  for (;;) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT | WNOHANG) < 0) {
      if (errno == EINTR) continue;
      if (process >= 0) ::close(process);
      throw Exception("Lost track of " + program);
    }
    if (info.si_pid == pid) break;
    if (!killAt && ((stop && stop->Stopped()) || receivedSignal.load() != 0)) {
      killAt = Clock::now() + grace;
    }
    if (killAt && !killed && Clock::now() >= *killAt) {
      ::kill(pid, SIGKILL);
      killed = true;
    }
    // Woken by the end, by output, or now and then to look for a stop.
    int timeout = process >= 0 ? 250 : 50;
    if (killAt && !killed) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(*killAt - Clock::now()).count();
      timeout = static_cast<int>(std::clamp<long long>(left, 0, timeout));
    }
    pollfd fds[3];
    nfds_t count = 0;
    int pipeOf[3] = {-1, -1, -1};
    if (process >= 0) fds[count++] = {process, POLLIN, 0};
    for (int i = 0; pipes && i < 2; ++i) {
      if (!pipes->Open(i)) continue;
      pipeOf[count] = i;
      fds[count++] = {pipes->ReadEnd(i), POLLIN, 0};
    }
    if (::poll(fds, count, timeout) > 0) {
      for (nfds_t k = 0; k < count; ++k) {
        if (pipeOf[k] >= 0 && fds[k].revents != 0) pipes->Read(pipeOf[k], lines);
      }
    }
  }
  if (process >= 0) ::close(process);
  // What the program wrote last; a pipe that its own child keeps open is
  // read as far as it goes now.
  for (int i = 0; pipes && i < 2; ++i) {
    if (pipes->Open(i)) pipes->Read(i, lines);
    lines.End(i + 1);
  }
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
    const TShellSpawnAttributes attributes;
    std::optional<TOutputPipes> pipes;
    if (options.output) pipes.emplace();
    std::optional<TInputPipe> input;
    if (options.input) input.emplace(*options.input);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    int error =
        directory.Fd() >= 0 ? ::posix_spawn_file_actions_addfchdir_np(&actions, directory.Fd()) : 0;
    if (error == 0 && pipes) error = pipes->AddTo(actions);
    if (error == 0 && input) {
      error = ::posix_spawn_file_actions_adddup2(&actions, input->ReadEnd(), 0);
    }
    pid_t pid;
    if (error == 0) {
      error = ::posix_spawnp(&pid, argv.File(), &actions, attributes.Get(), argv.Pointers(),
                             environ);
    }
    ::posix_spawn_file_actions_destroy(&actions);
    if (error != 0) CannotStart(program, error);
    if (pipes) pipes->CloseWriteEnds();
    if (input) input->CloseReadEnd();
    {
      published.Publish(pid);
      const TStoppable stoppable(options.stop, pid);
      if (options.started) options.started();
      AwaitEnd(pid, program, options.stop, pipes ? &*pipes : nullptr, options.output);
    }
    published.Clear();
    return Wait(pid, program);
  }

  void Start(const std::string& program, const std::string& parameters,
             const std::string& workingDirectory, IFileLock* kept,
             const std::vector<std::string>& whenEnded,
             const std::optional<std::string>& input) override {
    Start(program, SplitCommandLine(parameters), workingDirectory, kept, whenEnded, input);
  }

  // The program runs in its own session as the child of a short-lived
  // intermediate process, so that it leaves no zombie behind and outlives
  // us. A pipe closed on exec tells whether it really started. A lock it
  // keeps goes to a keeper instead, a process of its own in that session
  // that holds the lock (as does the program, which inherits it), waits for
  // the program and removes the lock's file before it lets go.
  void Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& workingDirectory, IFileLock* kept,
             const std::vector<std::string>& whenEnded,
             const std::optional<std::string>& input) override {
    const TWorkingDirectory directory(workingDirectory);
    std::optional<TInputPipe> inputPipe;
    if (input) inputPipe.emplace(*input);
    const int inputFd = inputPipe ? inputPipe->ReadEnd() : -1;
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
    // What the keeper starts at the end, made ready before the fork: the
    // status goes into the room kept for it as the last argument.
    std::vector<std::string> afterwards;
    if (kept && !whenEnded.empty()) {
      afterwards = whenEnded;
      afterwards[0] = NativePath(afterwards[0]);
      afterwards.emplace_back(16, '\0');
    }
    std::vector<char*> afterwardsArgv;
    for (std::string& word : afterwards) afterwardsArgv.push_back(word.data());
    if (!afterwardsArgv.empty()) afterwardsArgv.push_back(nullptr);
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
        // dup2 onto itself would leave the descriptor to close on exec.
        if (inputFd == 0) ::fcntl(0, F_SETFD, 0);
        if (inputFd > 0 && ::dup2(inputFd, 0) < 0) {
          const int error = errno;
          (void)!::write(report[1], &error, sizeof error);
          ::_exit(127);
        }
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
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        // Still the file it locked, unless a start that failed gave it up.
        struct stat held, named;
        if (::fstat(lockFd, &held) == 0 && ::stat(lockFile.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
          ::unlink(lockFile.c_str());
        }
        if (!afterwardsArgv.empty()) {
          // The status in decimal, with calls that are safe after a fork.
          const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
          char* text = afterwardsArgv[afterwardsArgv.size() - 2];
          char digits[12];
          int n = 0;
          for (int v = code; n == 0 || v > 0; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
          for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
          text[n] = '\0';
          ::close(lockFd);
          // Standard input, output and error lead nowhere rather than into
          // whatever the program opens first.
          const int none = ::open("/dev/null", O_RDWR);
          for (int fd = 0; none >= 0 && fd < 3; ++fd) {
            if (fd != none) ::dup2(none, fd);
          }
          if (none > 2) ::close(none);
          ::execv(afterwardsArgv[0], afterwardsArgv.data());
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
