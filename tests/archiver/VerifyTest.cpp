// Which archive verify takes for a directory, and how its report reads.
#include <gtest/gtest.h>

#include <filesystem>

#include "archiver/Journal.h"
#include "archiver/Verify.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

TJournalRecord Record(const std::string& directory, const fs::path& archive,
                      const std::string& started, std::optional<int> status,
                      std::optional<std::string> error = {}) {
  TJournalRecord r;
  r.directory = directory;
  r.position = 1;
  r.archive = archive.string();
  r.started = started;
  r.ended = started;
  r.status = status;
  r.error = error;
  return r;
}

// The newest archive a job left that is still there; a job that failed (its
// test among them) or was not awaited left none, a pruned one is gone.
TEST(LatestArchives, TheNewestArchiveOfASuccessfulJobThatIsStillThere) {
  const test::TTempFolder temp("latest");
  const fs::path a1 = temp / "a1.7z", a2 = temp / "a2.7z", a3 = temp / "a3.7z", b = temp / "b.7z";
  for (const fs::path& file : {a1, a3, b}) test::WriteFile(file, "7z");
  const std::string journal = (temp / "Packetwright.journal").string();
  for (const TJournalRecord& r : {
           Record("/a", a1, "2026-12-01T02:30:00+01:00", 0),
           Record("/b", b, "2026-12-01T02:30:00+01:00", 0),
           Record("/a", a2, "2026-12-02T02:30:00+01:00", 0),
           Record("/a", a3, "2026-12-03T02:30:00+01:00", 0,
                  std::string("The archive failed its test: ERROR: CRC Failed : x")),
           Record("/b", b, "2026-12-03T02:30:00+01:00", 0),
           Record("/c", temp / "c.7z", "2026-12-03T02:30:00+01:00", std::nullopt),
       }) {
    AppendJournalRecord(journal, r);
  }
  const std::map<std::string, TLatestArchive> latest = LatestArchives(journal);
  ASSERT_EQ(latest.size(), 2u) << "the one only started left no archive known";
  EXPECT_EQ(latest.at("/a").archive, a1.string()) << "a2 is gone, a3 failed its test";
  EXPECT_EQ(latest.at("/a").started, "2026-12-01T02:30:00+01:00");
  EXPECT_EQ(latest.at("/b").started, "2026-12-03T02:30:00+01:00")
      << "the same archive, written again";
}

TEST(VerifyReport, SaysTheFirstNamesOfEachDifferenceAndWhatFails) {
  TVerifyReport r;
  r.position = 2;
  r.directory = "/data";
  EXPECT_EQ(VerifyReportText(r),
            "[2] /data\n    No archive: no run of this directory left one that is still there\n");
  EXPECT_FALSE(r.Failed()) << "nothing to verify is no failure";

  r.latest = {"/out/data.7z", "2026-12-08T02:30:00+01:00"};
  r.tested = TArchiveTest::atPassed;
  r.compared = true;
  r.archivedFiles = 3;
  r.lacking = {"a", "b", "c", "d", "e", "f", "g"};
  r.unwanted = {"old.tmp"};
  EXPECT_EQ(VerifyReportText(r),
            "[2] /data\n"
            "    Archive: /out/data.7z (made 2026-12-08T02:30:00+01:00)\n"
            "    Test: passed\n"
            "    Lacks 7 files the job would take now: a, b, c, d, e and 2 more\n"
            "    Holds 1 file the job would not take now: old.tmp\n");
  EXPECT_FALSE(r.Failed()) << "differences alone";

  r.tested = TArchiveTest::atFailed;
  r.error = "The archive failed its test: ERROR: CRC Failed : a";
  r.compared = false;
  EXPECT_TRUE(r.Failed());
  EXPECT_NE(VerifyReportText(r).find("    Test: FAILED\n    Error: The archive failed its test"),
            std::string::npos);
}

}  // namespace
}  // namespace pw
