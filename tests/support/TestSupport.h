// What the tests need to run alike on Linux and on Windows (or Wine).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pw::test {

namespace fs = std::filesystem;

// A new, empty folder under the temporary directory with a name no other test
// run uses (Wine hands out the same process ids again and again). Removed with
// its contents when the object goes.
class TTempFolder {
 public:
  explicit TTempFolder(const std::string& stem);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const fs::path& Path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

bool UnderWine();

#ifndef _WIN32
// An environment variable set (or, with null, unset) for as long as the
// object lives.
class TScopedEnvironment {
 public:
  TScopedEnvironment(const char* name, const char* value);
  TScopedEnvironment(const char* name, const std::string& value)
      : TScopedEnvironment(name, value.c_str()) {}
  ~TScopedEnvironment();
  TScopedEnvironment(const TScopedEnvironment&) = delete;
  TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Stand-ins for systemctl and crontab, written into the folder bin (to be put
// first on PATH). systemctl appends its arguments to the file named in
// PW_SYSTEMCTL_LOG and answers is-system-running with PW_USER_MANAGER, or
// "offline" and status 1 when that is unset. crontab keeps the crontab in the
// file named in PW_CRONTAB ("no crontab for" the user while there is none)
// and fails to read it while PW_CRONTAB.broken exists.
void WriteSchedulerStandIns(const fs::path& bin);
#endif

// The program's 8-bit text of a UTF-8 sample: the ANSI code page on Windows,
// the UTF-8 bytes themselves elsewhere.
std::string Local8Bit(const std::string& utf8);

// The path as the program's texts hold it, "\" separated on Windows.
std::string ProgramPath(const fs::path& path);
// And back: the file system's path for a text of the program.
fs::path FromProgramPath(const std::string& path);

// Waits for file to appear, as a program started without waiting makes it;
// false when it has not after two minutes, a bound only against a hung run.
bool WaitForFile(const fs::path& file);

std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& bytes);
// Saves bytes to name the careful way the settings file is saved.
void SaveFile(const std::string& name, const std::string& bytes);
// The message of that save's failure, or "" when it succeeded.
std::string SaveFails(const std::string& name, const std::string& bytes);

// What a shell command prints on its standard output.
std::string CommandOutput(const std::string& command);

// Runs program with arguments as the operating system passes them, standard
// input from a file and both outputs into files; returns the exit status.
int RunProgram(const std::string& program, const std::vector<std::string>& arguments,
               const fs::path& input, const fs::path& output, const fs::path& errors);

// The recorder stands in for an archiver: it appends its working directory
// and then each argument it received, one a line, to the file named in
// PW_RECORD, and exits with the status in PW_RECORD_STATUS (default 0) after
// waiting PW_RECORD_DELAY_MS milliseconds and until the file named in
// PW_RECORD_RELEASE exists (a minute at most). When PW_RECORD_STATUSES names
// a file of statuses, each run exits with the first one left there and
// removes it; once they are used up, with PW_RECORD_STATUS.
// When PW_RECORD_GIVEN names a file, it writes its environment, a blank
// line and all of its standard input there. When PW_RECORD_STARTED names a file, it first appends a line with its
// process id to that file. Recorders running at once take their statuses and
// add their records one at a time (locking "<PW_RECORD>.lock"). When
// PW_RECORD_RUNNING names a file, it holds "NOW MOST": how many recorders are
// between their start and their wait's end now, and the most there ever were.
std::string RecorderPath();
// Points the recorder at a file and a status for as long as the object lives.
class TRecording {
 public:
  TRecording(const fs::path& file, int status = 0, int delayMs = 0, const fs::path& release = {},
             const fs::path& started = {});
  // The runs exit with statuses one after the other, and with status after
  // the last; the list is kept beside file.
  TRecording(const fs::path& file, const std::vector<int>& statuses, int status = 0);
  ~TRecording();
  TRecording(const TRecording&) = delete;
  TRecording& operator=(const TRecording&) = delete;

 private:
  fs::path statuses_, lock_;
};
// The lines of a recording: the working directory first, then the arguments.
std::vector<std::string> RecordedLines(const fs::path& file);

}  // namespace pw::test
