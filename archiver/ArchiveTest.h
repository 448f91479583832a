// The archiver's own look at an archive it made: its test (7-Zip's `t`,
// which reads every file back and checks it), and what its technical
// listing (`l -slt`) says the archive holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archiver/ArchiveJob.h"
#include "archiver/Journal.h"
#include "platform/Process.h"

namespace pw {

// Whether the program knows how the family's archiver tests an archive and
// what its exit statuses then mean: 7-Zip only.
bool HasKnownTest(TArchiverFamily family);

// The words after 7-Zip's program name for one of its commands on one
// archive ("t", "l"...), as a test or a listing hands them: the command; a
// password switch of the job's parameters (a "-p" word with a password),
// without which an encrypted archive would be asked for one (a bare "-p" is
// left out: these commands read the password from standard input without
// it); "-spd" where the name holds "*"
// or "?", which 7-Zip would otherwise read as a pattern and open every
// archive it matches; then the archive.
std::vector<std::string> SevenZipWords(const std::vector<std::string>& commandWords,
                                       const std::vector<std::string>& parameters,
                                       const std::string& archive);

struct TArchiveTestResult {
  // atPassed or atFailed; atNoTest for an archiver without a known test;
  // atNotTested when the test could not be run (error says why) or was
  // stopped.
  TArchiveTest tested = TArchiveTest::atNotTested;
  std::optional<int> status;  // the test's exit status, where it ran
  // What a failed test or one that could not be run comes to, as a job's
  // error: see FailedTestError.
  std::string error;
  bool stopped = false;  // the options' stop, or an ending signal, came during the test
};

// Tests the archive with the job's archiver, started as the job's archiver
// is (through the dialect and IProcessRunner) in the archive's folder, with
// the options' stop and output; every line the test writes comes to the
// options' output as well. The options' prepare and started are not called.
// The archiver reads the job's password on its standard input: the options'
// input, or else the one PasswordInput fetches (one that cannot be had is
// the test's error).
// Never throws for the test's own failures.
TArchiveTestResult TestArchive(const TArchiveJob& job, const std::string& archive,
                               const TRunOptions& options);

// "The archive failed its test: ERROR: CRC Failed : a.txt; ..." with the
// archiver's first lines on standard error, or what the exit status means
// where it wrote none.
std::string FailedTestError(TArchiverFamily family, int status,
                            const std::vector<std::string>& errorLines);

// One entry of an archive as 7-Zip's technical listing gives it.
struct TListedEntry {
  std::string path;  // as stored: relative, the archiver's separators
  int64_t bytes = 0;
  bool folder = false;  // its attributes begin with "D"
  std::string modified;     // "2026-12-08 02:30:00", to the second; empty where not given
  std::optional<uint32_t> crc;  // where 7-Zip gives one (not for folders, nor every format)
};

// The entries of one archive in the lines that `7zz l -slt` printed: Path,
// Size, Attributes, Modified and CRC of each block after the "----------" line.
std::vector<TListedEntry> SevenZipListing(const std::vector<std::string>& lines);

}  // namespace pw
