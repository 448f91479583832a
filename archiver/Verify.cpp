#include "archiver/Verify.h"

#include <algorithm>
#include <set>

#include "archiver/ArchiveTest.h"
#include "archiver/Password.h"
#include "archiver/Dialect.h"
#include "archiver/JournalResult.h"
#include "archiver/NightPlan.h"
#include "archiver/Preview.h"
#include "platform/Errors.h"
#include "platform/Streams.h"

namespace pw {

namespace {

// The archives of one directory, newest last, each once.
using TArchivesMade = std::vector<TLatestArchive>;

// The listing of the archive: its entries, or why it could not be listed.
std::vector<TListedEntry> ListArchive(const TArchiveJob& job, const std::string& archive,
                                      const TRunOptions& options, std::string& error) {
  const TDialect& dialect = Dialect();
  std::vector<std::string> lines;
  TRunOptions listing;
  listing.workingDirectory = dialect.FolderOf(archive);
  listing.stop = options.stop;
  listing.output = [&lines](int stream, const std::string& line) {
    if (stream == 1) lines.push_back(line);
  };
  try {
    listing.input = PasswordInput(job);
    const int status = dialect.RunWordsAndWait(
        job.program, SevenZipWords({"l", "-slt"}, dialect.SplitParameters(job.params), archive),
        listing);
    if (status != 0) {
      error = "The archive could not be listed: " + ExitStatusMeaning(job.family, status);
      return {};
    }
  } catch (const Exception& e) {
    error = "The archive could not be listed: " + e.Message();
    return {};
  }
  return SevenZipListing(lines);
}

// Names compared as the style's file system compares them.
std::vector<std::string> NotIn(const std::vector<std::string>& names,
                               const std::set<std::string>& others) {
  std::vector<std::string> missing;
  for (const std::string& name : names) {
    if (!others.count(Dialect().CompareKey(name))) missing.push_back(name);
  }
  std::sort(missing.begin(), missing.end());
  return missing;
}

std::set<std::string> Keys(const std::vector<std::string>& names) {
  std::set<std::string> keys;
  for (const std::string& name : names) keys.insert(Dialect().CompareKey(name));
  return keys;
}

// The first names, and how many more there are.
std::string FirstNames(const std::vector<std::string>& names) {
  std::string text;
  for (size_t i = 0; i < names.size() && i < kMostNamesShown; ++i) {
    text += (i ? ", " : "") + names[i];
  }
  if (names.size() > kMostNamesShown) {
    text += " and " + std::to_string(names.size() - kMostNamesShown) + " more";
  }
  return text;
}

}  // namespace

bool TVerifyReport::Failed() const {
  return tested == TArchiveTest::atFailed || !error.empty();
}

std::map<std::string, TLatestArchive> LatestArchives(const std::string& journalFile) {
  std::map<std::string, TArchivesMade> made;
  ForEachJournalRecord(journalFile, [&made](TJournalRecord& record, std::string_view) {
    if (!record.IsJob() || !JobArchived(record) || record.archive.empty()) return;
    TArchivesMade& archives = made[record.directory];
    // Without a dated subfolder every run of a directory writes the same
    // archive: it is kept once, as the newest.
    const auto same = std::find_if(archives.begin(), archives.end(), [&](const TLatestArchive& a) {
      return a.archive == record.archive;
    });
    if (same != archives.end()) archives.erase(same);
    archives.push_back({std::move(record.archive), std::move(record.started)});
  });
  std::map<std::string, TLatestArchive> latest;
  for (auto& [directory, archives] : made) {
    for (auto at = archives.rbegin(); at != archives.rend(); ++at) {
      if (FileExists(at->archive)) {
        latest[directory] = std::move(*at);
        break;
      }
    }
  }
  return latest;
}

TVerifyReport VerifyArchive(const TbkManager& manager, int position, const TLatestArchive& latest,
                            const TRunOptions& options) {
  const TNightPlan plan = MakeNightPlan(manager);
  const TArchiveJob& job = plan.Job(position);
  TVerifyReport report;
  report.position = position;
  report.directory = job.directory;
  report.latest = latest;
  if (latest.archive.empty()) return report;
  if (!HasKnownTest(job.family) || FamilyOfArchive(latest.archive) != job.family) {
    report.tested = TArchiveTest::atNoTest;
    return report;
  }
  const TArchiveTestResult test = TestArchive(job, latest.archive, options);
  report.tested = test.tested;
  report.error = test.stopped ? "The test was stopped" : test.error;
  if (test.stopped) return report;
  if (!job.error.empty()) {
    report.error += (report.error.empty() ? "" : "; ") + ("Not compared: " + job.error);
    return report;
  }
  std::string listError;
  const std::vector<TListedEntry> entries = ListArchive(job, latest.archive, options, listError);
  if (!listError.empty()) {
    report.error += (report.error.empty() ? "" : "; ") + listError;
    return report;
  }
  const TPreview preview = Preview(MakePreviewRequest(manager, job));
  if (!preview.error.empty()) {
    report.error += (report.error.empty() ? "" : "; ") + ("Not compared: " + preview.error);
    return report;
  }
  std::vector<std::string> archived, taken;
  for (const TListedEntry& entry : entries) {
    if (!entry.folder) archived.push_back(entry.path);
  }
  for (const TPreviewFile& file : preview.files) taken.push_back(file.path);
  report.compared = true;
  report.approximate = preview.approximate;
  report.archivedFiles = static_cast<int64_t>(archived.size());
  report.lacking = NotIn(taken, Keys(archived));
  report.unwanted = NotIn(archived, Keys(taken));
  return report;
}

TVerifyReport VerifyLatestArchive(const TbkManager& manager, int position,
                                  const std::string& journalFile, const TRunOptions& options) {
  const std::string directory =
      AsReadFromJournal(MakeNightPlan(manager).Job(position).directory);
  const std::map<std::string, TLatestArchive> latest = LatestArchives(journalFile);
  const auto found = latest.find(directory);
  return VerifyArchive(manager, position,
                       found == latest.end() ? TLatestArchive{} : found->second, options);
}

std::string VerifyReportText(const TVerifyReport& r) {
  std::string text = "[" + std::to_string(r.position) + "] " + r.directory + "\n";
  if (r.latest.archive.empty()) {
    return text + "    No archive: no run of this directory left one that is still there\n";
  }
  text += "    Archive: " + r.latest.archive +
          (r.latest.started.empty() ? "" : " (made " + r.latest.started + ")") + "\n";
  switch (r.tested) {
    case TArchiveTest::atPassed:
      text += "    Test: passed\n";
      break;
    case TArchiveTest::atFailed:
      text += "    Test: FAILED\n";
      break;
    case TArchiveTest::atNoTest:
      text += "    Not verified: the program knows no test of this archiver's archives\n";
      break;
    case TArchiveTest::atNotTested:
      break;
  }
  if (!r.error.empty()) text += "    Error: " + r.error + "\n";
  if (!r.compared) return text;
  if (r.approximate) {
    text += "    Approximate: the archiver's own matching is not known; 7-Zip's is used\n";
  }
  if (r.lacking.empty() && r.unwanted.empty()) {
    text += "    Holds what the job would take now: " + Plural(r.archivedFiles,
                                                          "file", "files") +
            "\n";
  }
  if (!r.lacking.empty()) {
    text += "    Lacks " + Plural(r.lacking.size(), "file", "files") +
            " the job would take now: " + FirstNames(r.lacking) + "\n";
  }
  if (!r.unwanted.empty()) {
    text += "    Holds " + Plural(r.unwanted.size(), "file", "files") +
            " the job would not take now: " + FirstNames(r.unwanted) + "\n";
  }
  return text;
}

}  // namespace pw
