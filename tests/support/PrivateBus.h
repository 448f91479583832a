// A session bus of a test's own, with the stand-in notification service on
// it (tests/support/NotificationService.cpp), for POSIX tests.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.h"

namespace pw::test {

// A child process, ended and waited for when the object goes.
class TChild {
 public:
  // With stdoutPipe, the child's standard output is readable by FirstLine();
  // with errors, its standard error goes into that file.
  TChild(const std::vector<std::string>& argv, bool stdoutPipe, const fs::path& errors = {}) {
    int fds[2] = {-1, -1};
    if (stdoutPipe && ::pipe(fds) != 0) return;
    std::vector<char*> pointers;
    for (const std::string& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      if (stdoutPipe) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
      }
      if (!errors.empty()) {
        const int into = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(into, 2);
        ::close(into);
      }
      ::execv(pointers[0], pointers.data());
      ::_exit(127);
    }
    if (stdoutPipe) {
      ::close(fds[1]);
      output_ = fds[0];
    }
  }
  ~TChild() {
    if (output_ >= 0) ::close(output_);
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status;
    ::waitpid(pid_, &status, 0);
  }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  // The first line the child writes, without its line end; empty when none
  // comes within a few seconds.
  std::string FirstLine() const {
    std::string line;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (output_ >= 0 && std::chrono::steady_clock::now() < giveUp) {
      pollfd ready{output_, POLLIN, 0};
      if (::poll(&ready, 1, 100) <= 0) continue;
      char c;
      if (::read(output_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line += c;
    }
    return {};
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
};

// A session bus of the test's own, with no services to start on demand, so
// that nothing installed on this machine answers in the stand-in's place.
class TPrivateBus {
 public:
  TPrivateBus(const TTempFolder& folder, const std::string& listen)
      : config_(WriteConfig(folder, listen)),
        daemon_({"/usr/bin/dbus-daemon", "--config-file=" + config_.string(), "--print-address",
                 "--nofork"},
                true, folder / "bus.log"),
        address_(daemon_.FirstLine()) {}

  const std::string& Address() const { return address_; }

 private:
  static fs::path WriteConfig(const TTempFolder& folder, const std::string& listen) {
    const fs::path config = folder / "bus.conf";
    WriteFile(config,
                    "<busconfig>\n"
                    "  <type>session</type>\n"
                    "  <listen>" + listen + "</listen>\n"
                    "  <auth>EXTERNAL</auth>\n"
                    "  <policy context=\"default\">\n"
                    "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                    "    <allow eavesdrop=\"true\"/>\n"
                    "    <allow own=\"*\"/>\n"
                    "  </policy>\n"
                    "</busconfig>\n");
    return config;
  }

  fs::path config_;
  TChild daemon_;
  std::string address_;
};

// The stand-in service on a bus, ready once constructed.
class TStandIn {
 public:
  TStandIn(const std::string& address, const fs::path& record)
      : record_(record), process_({PW_NOTIFICATION_SERVICE, address, record.string()}, false) {
    const fs::path ready = fs::path(record).concat(".ready");
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!fs::exists(ready) && std::chrono::steady_clock::now() < giveUp) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ready_ = fs::exists(ready);
  }
  bool Ready() const { return ready_; }
  void Offer(const std::string& capabilities) const {
    WriteFile(fs::path(record_).concat(".capabilities"), capabilities);
  }
  void Hang() const { WriteFile(fs::path(record_).concat(".hang"), ""); }
  std::string Received() const { return fs::exists(record_) ? ReadFile(record_) : ""; }

 private:
  fs::path record_;
  TChild process_;
  bool ready_ = false;
};

}  // namespace pw::test
