// Stand-ins for the path style, the PATH search and the process runner, for
// tests. Put one in place with ScopedOverride<Interface>.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Errors.h"
#include "platform/PathStyle.h"
#include "platform/Process.h"
#include "platform/Programs.h"

namespace pw::fakes {

class FixedPathStyle final : public IPathStyle {
 public:
  explicit FixedPathStyle(TPathStyle style) : style_(style) {}
  TPathStyle Style() const override { return style_; }

 private:
  TPathStyle style_;
};

class FakeProgramSearch final : public IProgramSearch {
 public:
  std::optional<std::string> FindOnPath(const std::string& name) const override {
    const auto found = programs.find(name);
    if (found == programs.end()) return std::nullopt;
    return found->second;
  }
  std::map<std::string, std::string> programs;  // name -> full name
};

// Records every start; programs listed in missing cannot be started, and the
// others end with status. A waited run with options fails as a working
// directory listed in missingDirectories cannot be entered ("The directory does not exist"),
// and as stopped when its TRunStop was stopped before it; once it "runs", it
// calls running (when set) on the running thread, which may block (until the
// stop ends it, say) and gives the exit status. Safe to use from several
// threads; read calls once they are done.
class FakeProcessRunner final : public IProcessRunner {
 public:
  struct Call {
    std::string program;
    std::vector<std::string> arguments;
    std::string parameters;
    bool waited = false;
    std::string workingDirectory;  // as the options or the start gave it
    // What the program was given on its standard input; none for nothing.
    std::optional<std::string> input;
    bool operator==(const Call&) const = default;
  };
  int RunAndWait(const std::string& program, const std::string& parameters) override {
    return Record(Call{program, {}, parameters, true, {}, {}});
  }
  int RunAndWait(const std::string& program, const std::vector<std::string>& arguments) override {
    return Record(Call{program, arguments, {}, true, {}, {}});
  }
  int RunAndWait(const std::string& program, const std::string& parameters,
                 const TRunOptions& options) override {
    return Run(Call{program, {}, parameters, true, options.workingDirectory, options.input},
               options);
  }
  int RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                 const TRunOptions& options) override {
    return Run(Call{program, arguments, {}, true, options.workingDirectory, options.input},
               options);
  }
  void Start(const std::string& program, const std::string& parameters,
             const std::string& workingDirectory, IFileLock* kept,
             const std::vector<std::string>& whenEnded,
             const std::optional<std::string>& input) override {
    if (missingDirectories.count(workingDirectory)) throw InOutError(2);
    Record(Call{program, {}, parameters, false, workingDirectory, input}, kept, whenEnded);
  }
  void Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& workingDirectory, IFileLock* kept,
             const std::vector<std::string>& whenEnded,
             const std::optional<std::string>& input) override {
    if (missingDirectories.count(workingDirectory)) throw InOutError(2);
    Record(Call{program, arguments, {}, false, workingDirectory, input}, kept, whenEnded);
  }

  std::vector<Call> calls;
  // The path of the lock each start handed over, "" for none, one a start.
  std::vector<std::string> keptLocks;
  // What each start was to start once its program ended, one a start.
  std::vector<std::vector<std::string>> whenEnded;
  std::set<std::string> missing;
  std::set<std::string> missingDirectories;
  int status = 0;
  std::function<int(const Call& call, TRunStop* stop)> running;
  // What every waited run with an output writes, stream and line, once it runs.
  std::vector<std::pair<int, std::string>> output;
  // When set, what a waited run with an output writes instead, by its call.
  std::function<std::vector<std::pair<int, std::string>>(const Call& call)> outputOf;

 private:
  int Record(Call call) {
    const std::lock_guard lock(mutex_);
    if (missing.count(call.program)) throw Exception("Cannot start " + call.program);
    calls.push_back(std::move(call));
    return status;
  }
  // A start, with the lock it was handed (which stays the caller's).
  void Record(Call call, IFileLock* kept, const std::vector<std::string>& afterwards) {
    Record(std::move(call));
    const std::lock_guard lock(mutex_);
    keptLocks.push_back(kept ? kept->Path() : std::string());
    whenEnded.push_back(afterwards);
  }
  int Run(Call call, const TRunOptions& options) {
    if (missingDirectories.count(call.workingDirectory)) throw InOutError(2);
    if (options.prepare) options.prepare();
    if (options.stop && options.stop->Stopped()) throw ERunStopped(call.program);
    const Call recorded = call;
    const int recordedStatus = Record(std::move(call));
    if (options.started) options.started();
    if (options.output) {
      for (const auto& [stream, line] : outputOf ? outputOf(recorded) : output) {
        options.output(stream, line);
      }
    }
    return running ? running(recorded, options.stop) : recordedStatus;
  }

  std::mutex mutex_;
};

}  // namespace pw::fakes
