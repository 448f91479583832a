// Starting a program directly, without a shell: detached, or waiting for its
// exit status (the command-line companion).
#pragma once

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Services.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pw {

// How long a program that was asked to end (SIGTERM, from a stop or passed
// on from a signal this process received) may go on before it is killed.
constexpr std::chrono::milliseconds kStopGrace{5000};

// Ends, from any thread, the programs that waited runs given this object are
// waiting for, and keeps any further one from starting: what cancels a run of
// many jobs on several threads at once.
class TRunStop {
 public:
  // grace: how long a POSIX program may take to end after SIGTERM before it
  // is killed (SIGKILL), for an archiver that goes on regardless.
  explicit TRunStop(std::chrono::milliseconds grace = kStopGrace) : grace_(grace) {}
  TRunStop(const TRunStop&) = delete;
  TRunStop& operator=(const TRunStop&) = delete;

  // Ends every program running under this object (SIGTERM on POSIX, whose
  // runs are then waited for as usual, and SIGKILL for one still running
  // after the grace; TerminateProcess with exit status
  // kStoppedStatus on Windows) and makes any later run under it fail with
  // ERunStopped without starting its program. Returns at once; thread-safe;
  // a second call does nothing more.
  void Stop();
  bool Stopped() const;
  std::chrono::milliseconds Grace() const { return grace_; }

  // For the runners. Registers how to end one program that has started;
  // false, with nothing registered, when Stop() came first (the runner then
  // ends the program itself). Stop() calls each ending at most once, under
  // the object's lock, so that a program whose Remove() has returned is never
  // reached: a POSIX runner removes its ending before it reaps the child, so
  // that the process id cannot have gone to another process.
  bool Add(const void* key, std::function<void()> end);
  void Remove(const void* key);

 private:
  const std::chrono::milliseconds grace_;
  mutable std::mutex mutex_;
  bool stopped_ = false;
  std::map<const void*, std::function<void()>> ends_;
};

// The exit status of a program that TRunStop ended on Windows (7-Zip's own
// status for "stopped by the user").
constexpr int kStoppedStatus = 255;

// A run under a TRunStop that was asked to start after Stop().
class ERunStopped : public Exception {
 public:
  explicit ERunStopped(const std::string& program)
      : Exception("Not started: " + program + " was stopped before it started") {}
  const char* ClassName() const override { return "ERunStopped"; }
};

// What a waited run may be given beyond its program and arguments.
struct TRunOptions {
  // The folder the program starts in, by itself: the process's current
  // directory is never changed, so that runs on several threads cannot
  // disturb one another. Empty for the current directory. One that cannot be
  // entered fails, before anything starts, with the EInOutError that
  // ICurrentDirectory::Check gives for it ("The directory does not exist" for one
  // that is gone).
  std::string workingDirectory;
  // Ends the program from another thread; none when null.
  TRunStop* stop = nullptr;
  // Called on the running thread once the working directory has been found
  // fit, just before the program starts: the steps that must not come before
  // that check. An Exception from it fails the run, and nothing starts.
  std::function<void()> prepare;
  // Called on the running thread once the program runs, before the wait;
  // not called when it could not be started.
  std::function<void()> started;
  // When given, the program's standard output (stream 1) and standard error
  // (stream 2) come through pipes to the running thread, which hands on each
  // line (without its line end; a last line without one as well) in the
  // order read. Without it the program writes where this process writes.
  std::function<void(int stream, const std::string& line)> output;
  // When given, the program's standard input is a pipe that holds these
  // bytes and then ends (see kMostInputBytes): how a password reaches a
  // program without an argument, a variable or a file. Without it the
  // program reads where this process reads.
  std::optional<std::string> input;
};

// The most bytes a program's standard input can be given (TRunOptions::input,
// IProcessRunner::Start's input): what a pipe holds before anyone reads it,
// so that it is filled and closed before the program starts. More fails the
// run before anything starts.
constexpr size_t kMostInputBytes = 4096;

// Fails with an Exception when the bytes are more than a program's standard
// input can be given.
void CheckInputSize(const std::string& bytes);

class IProcessRunner {
 public:
  virtual ~IProcessRunner() = default;
  // Starts program in the current directory and returns its exit status. The
  // parameters are one string, split as Windows splits a command line, or
  // the arguments one by one. A program name without a separator is looked up
  // as the system's shell would. Fails with an Exception when the program
  // cannot be started.
  virtual int RunAndWait(const std::string& program, const std::string& parameters) = 0;
  virtual int RunAndWait(const std::string& program, const std::vector<std::string>& arguments) = 0;
  // The same with the options: a working directory of its own, a way to be
  // stopped, and a word once it runs. Several threads may run programs at
  // once this way.
  virtual int RunAndWait(const std::string& program, const std::string& parameters,
                         const TRunOptions& options) = 0;
  virtual int RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                         const TRunOptions& options) = 0;
  // The same, but returns as soon as the program runs; nothing waits for it.
  // It starts in workingDirectory by itself (empty: the current directory),
  // which is checked first as a waited run checks it. kept, when given, is a
  // lock the program takes over (POSIX): it is held until the program has
  // ended, then its file is removed, and this process's own hold is left once
  // the program runs. On Windows the program cannot take a lock over, and
  // kept stays as it was. whenEnded, when given with a lock kept (POSIX), is
  // a program and its arguments that the lock's keeper starts in its place
  // once the program has ended and the lock's file is gone, with the
  // program's exit status (128 plus the signal for one a signal ended) as
  // its last argument: what tells of the end of a program nothing waits for.
  // Windows starts nothing afterwards. input, when given, is the program's
  // standard input as TRunOptions::input is a waited run's: a pipe filled
  // and closed before the program starts.
  virtual void Start(const std::string& program, const std::string& parameters,
                     const std::string& workingDirectory = {}, IFileLock* kept = nullptr,
                     const std::vector<std::string>& whenEnded = {},
                     const std::optional<std::string>& input = std::nullopt) = 0;
  virtual void Start(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& workingDirectory = {}, IFileLock* kept = nullptr,
                     const std::vector<std::string>& whenEnded = {},
                     const std::optional<std::string>& input = std::nullopt) = 0;
};

// The implementation this build provides.
template <>
IProcessRunner& DefaultService<IProcessRunner>();

// The most programs that waited runs can wait for at once and still pass a
// signal on to (see below); a waited run beyond that fails to start.
constexpr int kMostProgramsWaitedFor = 256;

// While an object of this class lives, SIGTERM, SIGINT and SIGHUP no longer
// end this process: each is passed on to every program that a RunAndWait is
// waiting for, on whichever thread (and a program still running kStopGrace
// after the first is killed), and the first is kept for Received(). A
// RunAndWait that starts its program after such a signal arrived passes it on
// at once, so that none is lost between a check of Received() and the start.
// A signal that was ignored when the object was made stays ignored (a run
// under nohup keeps going after a hangup); the earlier handling comes back
// when the object goes. One object at a time.
//
// On Windows it does nothing and Received() stays 0: Ctrl+C in a console
// reaches every program attached to it, the archiver as well.
class TEndingSignalsPassedOn {
 public:
  TEndingSignalsPassedOn();
  ~TEndingSignalsPassedOn();
  TEndingSignalsPassedOn(const TEndingSignalsPassedOn&) = delete;
  TEndingSignalsPassedOn& operator=(const TEndingSignalsPassedOn&) = delete;

  // The number of the first signal received since the object was made; 0
  // when none was, or when no object lives.
  static int Received();
};

// Whether a run under options is to stop: their stop was asked, or an
// ending signal that TEndingSignalsPassedOn keeps has come.
inline bool StopAsked(const TRunOptions& options) {
  return (options.stop && options.stop->Stopped()) || TEndingSignalsPassedOn::Received() != 0;
}

// The system's words for a signal, such as "Terminated" for 15.
std::string SignalDescription(int signal);

// Lets a write past the file-size limit fail with an error that the save
// reports and cleans up after, instead of ending the program without a word
// (SIGXFSZ). Both programs call it first thing.
void IgnoreFileSizeLimitSignal();

// Lets a write into a pipe whose reader has gone fail with an error that the
// program reports (EPIPE) instead of ending it without a word (SIGPIPE).
// The programs it starts get the signal's default again, as from a shell.
void IgnoreBrokenPipeSignal();

}  // namespace pw
