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

// Lets a write past the file-size limit fail with an error that the save
// reports and cleans up after, instead of ending the program without a word
// (SIGXFSZ). Both programs call it first thing.
void IgnoreFileSizeLimitSignal();

}  // namespace pw
