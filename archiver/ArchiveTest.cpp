#include "archiver/ArchiveTest.h"

#include "archiver/ArchiverReport.h"
#include "archiver/Dialect.h"
#include "archiver/JournalResult.h"
#include "archiver/Password.h"

namespace pw {

bool HasKnownTest(TArchiverFamily family) {
  return family == TArchiverFamily::af7Zip;
}

std::vector<std::string> SevenZipWords(const std::vector<std::string>& commandWords,
                                       const std::vector<std::string>& parameters,
                                       const std::string& archive) {
  std::vector<std::string> words = commandWords;
  for (const std::string& word : parameters) {
    // 7-Zip reads its switches in either letter case. A bare -p, which has
    // `a` read the password from standard input, would be an empty one here,
    // where only its absence has 7-Zip read it there.
    if (word.size() > 2 && word[0] == '-' && (word[1] == 'p' || word[1] == 'P')) {
      words.push_back(word);
    }
  }
  if (archive.find_first_of("*?") != std::string::npos) words.push_back("-spd");
  words.push_back(archive);
  return words;
}

std::string FailedTestError(TArchiverFamily family, int status,
                            const std::vector<std::string>& errorLines) {
  std::string said;
  for (const std::string& line : errorLines) said += (said.empty() ? "" : "; ") + line;
  if (said.empty()) said = ExitStatusMeaning(family, status);
  return "The archive failed its test: " + said;
}

TArchiveTestResult TestArchive(const TArchiveJob& job, const std::string& archive,
                               const TRunOptions& options) {
  TArchiveTestResult result;
  if (!HasKnownTest(job.family)) {
    result.tested = TArchiveTest::atNoTest;
    return result;
  }
  const TDialect& dialect = Dialect();
  TArchiverReport said(job.family);
  TRunOptions testing;
  testing.workingDirectory = dialect.FolderOf(archive);
  testing.stop = options.stop;
  testing.output = [&said, &options](int stream, const std::string& line) {
    said.Line(stream, line);
    if (options.output) options.output(stream, line);
  };
  try {
    testing.input = options.input ? options.input : PasswordInput(job);
    result.status = dialect.RunWordsAndWait(
        job.program, SevenZipWords({"t"}, dialect.SplitParameters(job.params), archive), testing);
  } catch (const ERunStopped&) {
    result.stopped = true;
  } catch (const Exception& e) {
    result.error = "The archive could not be tested: " + e.Message();
  }
  result.stopped = result.stopped || StopAsked(options);
  if (result.stopped || !result.status) return result;
  if (*result.status == 0) {
    result.tested = TArchiveTest::atPassed;
  } else {
    result.tested = TArchiveTest::atFailed;
    result.error = FailedTestError(job.family, *result.status, said.ErrorLines());
  }
  return result;
}

std::vector<TListedEntry> SevenZipListing(const std::vector<std::string>& lines) {
  std::vector<TListedEntry> entries;
  bool inEntries = false;
  const auto valueOf = [](const std::string& line, const std::string& key,
                          std::string& value) {
    if (line.compare(0, key.size(), key) != 0) return false;
    value = line.substr(key.size());
    return true;
  };
  for (std::string line : lines) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "----------") {
      inEntries = true;
      continue;
    }
    if (!inEntries) continue;
    std::string value;
    if (valueOf(line, "Path = ", value)) {
      entries.push_back({value, 0, false, {}, {}});
    } else if (entries.empty()) {
      continue;
    } else if (valueOf(line, "Size = ", value)) {
      int64_t bytes = 0;
      for (const char c : value) {
        if (c < '0' || c > '9') break;
        bytes = bytes * 10 + (c - '0');
      }
      entries.back().bytes = bytes;
    } else if (valueOf(line, "Attributes = ", value)) {
      entries.back().folder = !value.empty() && value[0] == 'D';
    } else if (valueOf(line, "Modified = ", value)) {
      entries.back().modified = value.substr(0, 19);
    } else if (valueOf(line, "CRC = ", value) && !value.empty()) {
      uint32_t crc = 0;
      bool hex = value.size() <= 8;
      for (const char c : value) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) hex = false;
        crc = crc << 4 | static_cast<uint32_t>(digit & 15);
      }
      if (hex) entries.back().crc = crc;
    }
  }
  return entries;
}

}  // namespace pw
