// What an archiver said while it ran, as far as the program reads it: how
// many files 7-Zip took into a new archive, and the first lines it wrote on
// its standard error (7-Zip's warnings and errors: which file, and why).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archiver/ArchiveJob.h"

namespace pw {

// The most of the archiver's own lines a record keeps, and the most bytes of
// each: enough to say which files and why, never a whole listing.
constexpr size_t kMostArchiverLines = 6;
constexpr size_t kMostArchiverLineBytes = 300;

// The warning of a new archive that took no file.
extern const char kNoFileTaken[];  // "The archive holds no file: nothing in the directory matched its rule"

class TArchiverReport {
 public:
  explicit TArchiverReport(TArchiverFamily family) : family_(family) {}

  // One line of the archiver's output, stream 1 or 2, without its line end.
  void Line(int stream, const std::string& line);

  // The number of files 7-Zip said it added ("Add new data to archive: 1
  // folder, 3 files, ..."); none for another archiver or when it said none.
  std::optional<int64_t> FilesAdded() const { return filesAdded_; }
  // The first kMostArchiverLines non-blank lines of its standard error, each
  // cut to kMostArchiverLineBytes, one line each.
  const std::vector<std::string>& ErrorLines() const { return errorLines_; }

 private:
  TArchiverFamily family_;
  std::optional<int64_t> filesAdded_;
  std::vector<std::string> errorLines_;
};

// What a record's warning says of a job: kNoFileTaken for a new archive of
// no file, then the archiver's lines; empty when there is nothing to say.
// Lines are parted by "\n".
std::string JobWarning(const TArchiveJob& job, int status, const TArchiverReport& report);

}  // namespace pw
