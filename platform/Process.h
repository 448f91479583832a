// Running a program and waiting for it to end, for callers that need its
// exit status (the command-line companion); the window never waits.
#pragma once

#include "platform/Services.h"

#include <string>

namespace pw {

class IProcessRunner {
 public:
  virtual ~IProcessRunner() = default;
  // Starts program with the parameter string (split as Windows splits a
  // command line), in the current directory, and returns its exit status.
  // Fails with an Exception when the program cannot be started.
  virtual int RunAndWait(const std::string& program, const std::string& parameters) = 0;
};

// The implementation this build provides.
template <>
IProcessRunner& DefaultService<IProcessRunner>();

// Lets a write past the file-size limit fail with an error that the save
// reports and cleans up after, instead of ending the program without a word
// (SIGXFSZ). Both programs call it first thing.
void IgnoreFileSizeLimitSignal();

}  // namespace pw
