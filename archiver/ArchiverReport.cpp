#include "archiver/ArchiverReport.h"

#include <string_view>

namespace pw {

const char kNoFileTaken[] = "The archive holds no file: nothing in the directory matched its rule";

namespace {

bool Blank(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// The number before " file" or " files" in 7-Zip's summary, such as "1
// folder, 3 files, 12 bytes (1 KiB)" or "0 files, 0 bytes".
std::optional<int64_t> FilesOf(std::string_view summary) {
  for (size_t at = summary.find(" file"); at != std::string_view::npos;
       at = summary.find(" file", at + 1)) {
    const size_t after = at + 5;
    if (after < summary.size() && summary[after] != 's' && summary[after] != ',') continue;
    size_t from = at;
    while (from > 0 && summary[from - 1] >= '0' && summary[from - 1] <= '9') --from;
    if (from == at || at - from > 18) continue;
    if (from > 0 && summary[from - 1] != ' ') continue;
    int64_t count = 0;
    for (size_t i = from; i < at; ++i) count = count * 10 + (summary[i] - '0');
    return count;
  }
  return std::nullopt;
}

// The first bytes of a line, never ending inside a UTF-8 sequence.
std::string Cut(const std::string& line) {
  if (line.size() <= kMostArchiverLineBytes) return line;
  size_t end = kMostArchiverLineBytes;
  while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) --end;
  return line.substr(0, end) + "...";
}

}  // namespace

void TArchiverReport::Line(int stream, const std::string& line) {
  if (stream == 2) {
    if (!Blank(line) && errorLines_.size() < kMostArchiverLines) errorLines_.push_back(Cut(line));
    return;
  }
  static constexpr std::string_view kAdded = "Add new data to archive: ";
  if (family_ == TArchiverFamily::af7Zip && line.compare(0, kAdded.size(), kAdded) == 0) {
    filesAdded_ = FilesOf(std::string_view(line).substr(kAdded.size()));
  }
}

std::string JobWarning(const TArchiveJob& job, int status, const TArchiverReport& report) {
  std::string warning;
  // Only a new archive holds no more than what was added.
  if (job.MadeFresh() && status <= 1 && report.FilesAdded() == 0) warning = kNoFileTaken;
  if (status != 0) {
    for (const std::string& line : report.ErrorLines()) {
      warning += (warning.empty() ? "" : "\n") + line;
    }
  }
  return warning;
}

}  // namespace pw
