// Starting a program directly, without a shell: detached, or waiting for its
// exit status (the command-line companion).
#pragma once

#include "platform/Services.h"

#include <string>
#include <vector>

namespace pw {

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
  // The same, but returns as soon as the program runs; nothing waits for it.
  virtual void Start(const std::string& program, const std::string& parameters) = 0;
  virtual void Start(const std::string& program, const std::vector<std::string>& arguments) = 0;
};

// The implementation this build provides.
template <>
IProcessRunner& DefaultService<IProcessRunner>();

#ifdef _WIN32
// One argument as a Windows program's start-up code splits it back: quoted
// when it holds a blank or a quote, with the backslashes before a quote
// doubled.
std::string QuoteWindowsArgument(const std::string& arg);
#endif

// While an object of this class lives, SIGTERM, SIGINT and SIGHUP no longer
// end this process: each is passed on to the program RunAndWait is waiting
// for, and the first is kept for Received(). A RunAndWait that starts its
// program after such a signal arrived passes it on at once, so that none is
// lost between a check of Received() and the start. A signal that was ignored
// when the object was made stays ignored (a run under nohup keeps going after
// a hangup); the earlier handling comes back when the object goes. One object
// at a time.
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

// The system's words for a signal, such as "Terminated" for 15.
std::string SignalDescription(int signal);

// Lets a write past the file-size limit fail with an error that the save
// reports and cleans up after, instead of ending the program without a word
// (SIGXFSZ). Both programs call it first thing.
void IgnoreFileSizeLimitSignal();

}  // namespace pw
