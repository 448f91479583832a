// The nightly run kept by the user's systemd manager as a timer and its
// service, or, where no user manager runs, as lines of the user's crontab.
// Both are reached through their own programs (systemctl, crontab), looked
// up on PATH as the shell would.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Errors.h"
#include "platform/NativePath.h"
#include "platform/Programs.h"
#include "platform/Scheduler.h"
#include "platform/portable/ShellSignals.h"

extern char** environ;

namespace pw {

namespace {

struct TRan {
  int status = -1;  // -1: could not be started
  std::string output;
};

// Runs the program with input on its standard input and keeps what it
// prints; what it says on standard error goes nowhere, or with errors into
// the output as well.
TRan RunCapturing(const std::vector<std::string>& argv, const std::string& input,
                  bool errors = false) {
  TRan ran;
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return ran;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]), ::close(in[1]);
    return ran;
  }
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  if (errors) {
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  } else {
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const TShellSpawnAttributes attributes;
  pid_t pid = 0;
  const int spawned =
      ::posix_spawnp(&pid, args[0], &actions, attributes.Get(), args.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(in[1]);
    ::close(out[0]);
    return ran;
  }
  // Writes and reads at once, so that neither side waits on a full pipe.
  size_t written = 0;
  if (input.empty()) ::close(in[1]), in[1] = -1;
  ::fcntl(out[0], F_SETFL, O_NONBLOCK);
  if (in[1] >= 0) ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  for (;;) {
    pollfd fds[2] = {{out[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    if (::poll(fds, in[1] >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (in[1] >= 0 && fds[1].revents) {
      const ssize_t n = ::write(in[1], input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EINTR) written = input.size();
      if (written == input.size()) ::close(in[1]), in[1] = -1;
    }
    if (fds[0].revents) {
      char buffer[4096];
      const ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n > 0) {
        ran.output.append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        break;
      }
    }
  }
  if (in[1] >= 0) ::close(in[1]);
  ::close(out[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return ran;
}

std::string UnitFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string base =
      config && config[0] == '/' ? std::string(config) : HomeDirectory() + "/.config";
  return base + "/systemd/user";
}

bool Exists(const std::string& file) {
  struct stat facts;
  return ::stat(NativePath(file).c_str(), &facts) == 0;
}

void MakeFolders(const std::string& folder) {
  for (size_t at = 1; at != std::string::npos; at = folder.find('/', at + 1)) {
    ::mkdir(NativePath(folder.substr(0, at)).c_str(), 0755);
  }
  ::mkdir(NativePath(folder).c_str(), 0755);
}

void WriteFile(const std::string& file, const std::string& text) {
  const std::string temporary = file + ".new";
  {
    std::ofstream out(NativePath(temporary), std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw EWriteError("Cannot create file " + temporary);
  }
  if (::rename(NativePath(temporary).c_str(), NativePath(file).c_str()) != 0) {
    ::unlink(NativePath(temporary).c_str());
    throw EWriteError("Cannot create file " + file);
  }
}

TScheduleEntry CrontabEntry(const std::string& name) {
  return {"crontab", "the lines marked # " + name};
}

class PosixScheduler final : public IScheduler {
 public:
  TScheduleEntry Install(const TScheduledCommand& command) override {
    if (UserManagerRuns()) {
      const std::string folder = UnitFolder();
      MakeFolders(folder);
      const std::string timer = folder + "/" + command.name + ".timer";
      WriteFile(folder + "/" + command.name + ".service", SystemdServiceText(command));
      WriteFile(timer, SystemdTimerText(command));
      Systemctl({"daemon-reload"});
      if (Systemctl({"enable", "--now", command.name + ".timer"}) != 0) {
        throw Exception("systemctl --user could not enable " + timer);
      }
      // One scheduler at a time: lines an earlier install left in the crontab go.
      if (const std::optional<std::string> crontab = Crontab(); crontab && CrontabHolds(*crontab, command.name)) {
        SetCrontab(CrontabWithout(*crontab, command.name));
      }
      return {"systemd user timer", timer};
    }
    const std::optional<std::string> crontab = Crontab();
    if (!crontab) {
      throw Exception(
          "Cannot schedule: no systemd user manager runs and the crontab cannot be read "
          "(is cron installed?)");
    }
    SetCrontab(CrontabWith(*crontab, command));
    return CrontabEntry(command.name);
  }

  std::optional<TScheduleEntry> Remove(const std::string& name) override {
    std::optional<TScheduleEntry> found;
    const std::string folder = UnitFolder();
    const std::string timer = folder + "/" + name + ".timer";
    if (Exists(timer) || Exists(folder + "/" + name + ".service")) {
      Systemctl({"disable", "--now", name + ".timer"});
      ::unlink(NativePath(timer).c_str());
      ::unlink(NativePath(folder + "/" + name + ".service").c_str());
      Systemctl({"daemon-reload"});
      found = TScheduleEntry{"systemd user timer", timer};
    }
    if (const std::optional<std::string> crontab = Crontab(); crontab && CrontabHolds(*crontab, name)) {
      SetCrontab(CrontabWithout(*crontab, name));
      found = CrontabEntry(name);
    }
    return found;
  }

  std::optional<TScheduleEntry> Find(const std::string& name) override {
    const std::string timer = UnitFolder() + "/" + name + ".timer";
    if (Exists(timer)) return TScheduleEntry{"systemd user timer", timer};
    if (const std::optional<std::string> crontab = Crontab(); crontab && CrontabHolds(*crontab, name)) {
      return CrontabEntry(name);
    }
    return std::nullopt;
  }

 private:
  // Whether the user's systemd manager answers: it says how it is, from
  // "starting" to "stopping"; "offline" or no answer at all when none runs.
  static bool UserManagerRuns() {
    const TRan ran = RunCapturing({"systemctl", "--user", "is-system-running"}, "");
    const std::string state = ran.output.substr(0, ran.output.find_first_of("\r\n"));
    for (const char* running :
         {"initializing", "starting", "running", "degraded", "maintenance", "stopping"}) {
      if (state == running) return true;
    }
    return false;
  }

  static int Systemctl(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"systemctl", "--user"});
    return RunCapturing(arguments, "").status;
  }

  // The user's crontab; empty when the user has none; none when crontab
  // cannot be started. Any other failure to read it is an error: a crontab
  // written without its lines would lose them.
  static std::optional<std::string> Crontab() {
    const TRan read = RunCapturing({"crontab", "-l"}, "");
    if (read.status == 0) return read.output;
    // Asked again, for what it says on standard error.
    const TRan ran = RunCapturing({"crontab", "-l"}, "", true);
    if (ran.status == 0) return ran.output;
    if (ran.status < 0 || ran.status == 127) return std::nullopt;
    if (ran.output.find("no crontab for") != std::string::npos) return std::string();
    std::string why = ran.output.substr(0, ran.output.find('\n'));
    throw Exception("Cannot read the crontab: " + (why.empty() ? "crontab -l failed" : why));
  }

  static void SetCrontab(const std::string& text) {
    const TRan ran = RunCapturing({"crontab", "-"}, text);
    if (ran.status != 0) throw Exception("crontab refused the new crontab");
  }
};

}  // namespace

template <>
IScheduler& DefaultService<IScheduler>() {
  static PosixScheduler instance;
  return instance;
}

}  // namespace pw
