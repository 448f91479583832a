// A stand-in archiver for the tests: records where it ran and what it was
// given, exactly as the operating system handed the arguments over.
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#ifndef _WIN32
extern char** environ;
#endif

namespace {

std::string CurrentDirectory() {
  char buffer[4096];
#ifdef _WIN32
  const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
#else
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
#endif
}

std::string Contents(const std::string& file) {
  std::string text;
  if (std::FILE* in = std::fopen(file.c_str(), "rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
    std::fclose(in);
  }
  return text;
}

// Takes the first of the statuses listed in file, which keeps the rest, so
// that each run in turn gets the next one. False once the list is used up.
bool NextStatus(const char* file, int& status) {
  const std::string list = Contents(file);
  char* end = nullptr;
  const long value = std::strtol(list.c_str(), &end, 10);
  if (end == list.c_str()) return false;
  status = static_cast<int>(value);
  const size_t used = static_cast<size_t>(end - list.c_str());
  std::FILE* out = std::fopen(file, "wb");
  if (!out) return false;
  std::fwrite(list.data() + used, 1, list.size() - used, out);
  std::fclose(out);
  return true;
}

long ProcessId() {
#ifdef _WIN32
  return static_cast<long>(GetCurrentProcessId());
#else
  return static_cast<long>(getpid());
#endif
}

// Holds "<file>.lock" locked while it lives, so that recorders running at
// once take their statuses and add their records one at a time. The system
// lets go of it when the process ends, however it ends.
class TLock {
 public:
  explicit TLock(const std::string& file) {
    const std::string name = file + ".lock";
#ifdef _WIN32
    handle_ = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED whole{};
    if (handle_ != INVALID_HANDLE_VALUE)
      LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole);
#else
    fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
#endif
  }
  ~TLock() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
  }
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;

 private:
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
};

// Counts the recorders running at once in file, "NOW MOST", one at a time.
void CountRunning(const char* file, int change) {
  const TLock lock(file);
  int now = 0, most = 0;
  std::sscanf(Contents(file).c_str(), "%d %d", &now, &most);
  now += change;
  most = now > most ? now : most;
  if (std::FILE* out = std::fopen(file, "wb")) {
    std::fprintf(out, "%d %d\n", now, most);
    std::fclose(out);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* record = std::getenv("PW_RECORD");
  const char* status = std::getenv("PW_RECORD_STATUS");
  const char* statuses = std::getenv("PW_RECORD_STATUSES");
  const char* delay = std::getenv("PW_RECORD_DELAY_MS");
  const char* release = std::getenv("PW_RECORD_RELEASE");
  // One line with our process id for each start, before any waiting.
  if (const char* started = std::getenv("PW_RECORD_STARTED"); started && *started) {
    if (std::FILE* f = std::fopen(started, "ab")) {
      std::fprintf(f, "%ld\n", ProcessId());
      std::fclose(f);
    }
  }
  const char* running = std::getenv("PW_RECORD_RUNNING");
  if (running && *running) CountRunning(running, +1);
  if (delay) std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(delay)));
  // Held until the test makes the release file, for a minute at most.
  for (int i = 0; release && *release && i < 600; ++i) {
    if (std::FILE* f = std::fopen(release, "rb")) {
      std::fclose(f);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (running && *running) CountRunning(running, -1);
  if (!record) return 125;
  // Everything else it was handed, for a test that looks for a secret: its
  // environment, then a blank line, then all of its standard input.
  if (const char* given = std::getenv("PW_RECORD_GIVEN"); given && *given) {
    std::string text;
#ifdef _WIN32
    char** variables = _environ;
#else
    char** variables = environ;
#endif
    for (char** variable = variables; variable && *variable; ++variable) text += std::string(*variable) + "\n";
    text += "\n";
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) text.append(buffer, n);
    if (std::FILE* out = std::fopen(given, "wb")) {
      std::fwrite(text.data(), 1, text.size(), out);
      std::fclose(out);
    }
  }
  const TLock lock(record);
  std::string text = Contents(record) + CurrentDirectory() + "\n";
  for (int i = 1; i < argc; ++i) text += std::string(argv[i]) + "\n";
  // The record appears whole, so that a test waiting for it never reads half.
  const std::string part = std::string(record) + ".part";
  std::FILE* out = std::fopen(part.c_str(), "wb");
  if (!out) return 126;
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
  std::remove(record);
  std::rename(part.c_str(), record);
  int next = 0;
  if (statuses && *statuses && NextStatus(statuses, next)) return next;
  return status ? std::atoi(status) : 0;
}
