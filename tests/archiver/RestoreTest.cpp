// The index of what each archive holds and the restore out of it, with the
// real 7-Zip on archives made here.
#include <gtest/gtest.h>

#include <filesystem>

#include "archiver/ArchiveIndex.h"
#include "archiver/Journal.h"
#include "archiver/Restore.h"
#include "platform/PasswordStore.h"
#include "platform/fakes/FakeProcesses.h"
#include "platform/fakes/Fakes.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// The cases are of the POSIX style, as this system archives.
struct TPosixStyle {
  fakes::FixedPathStyle style{TPathStyle::psPosix};
  ScopedOverride<IPathStyle> use{style};
};

// The style of this system's own paths, for cases that make files.
struct TNativeStyle {
#ifdef _WIN32
  fakes::FixedPathStyle style{TPathStyle::psWindows};
#else
  fakes::FixedPathStyle style{TPathStyle::psPosix};
#endif
  ScopedOverride<IPathStyle> use{style};
};

TEST(PatternMatches, StarsAndQuestionMarksStopAtASeparator) {
  const TPosixStyle posix;
  EXPECT_TRUE(PatternMatches("*.odt", "file3.odt", false));
  EXPECT_TRUE(PatternMatches("file?.odt", "file3.odt", false));
  EXPECT_FALSE(PatternMatches("file?.odt", "file33.odt", false));
  EXPECT_TRUE(PatternMatches("Letters/*.odt", "Letters/file3.odt", false));
  EXPECT_FALSE(PatternMatches("Letters/*.odt", "Letters/old/file3.odt", false));
  EXPECT_FALSE(PatternMatches("*", "a/b", false));
  EXPECT_TRUE(PatternMatches("*/*", "a/b", false));
  EXPECT_TRUE(PatternMatches("a b*?.txt", "a b*?.txt", false)) << "a wildcard matches itself";
  EXPECT_FALSE(PatternMatches("FILE3.ODT", "file3.odt", false));
  EXPECT_TRUE(PatternMatches("FILE3.ODT", "file3.odt", true));
  EXPECT_TRUE(PatternMatches("*a*b*c", "xaxbxbxc", false));
  EXPECT_FALSE(PatternMatches("*a*b*c", "xaxbxbx", false));
}

TEST(InsideArchivePath, PlainRelativePathsOnly) {
  const TPosixStyle posix;
  EXPECT_EQ(InsideArchivePath("./Letters//file3.odt/"), "Letters/file3.odt");
  EXPECT_EQ(InsideArchivePath("-lead"), "-lead");
  EXPECT_EQ(InsideArchivePath("../etc/passwd"), "");
  EXPECT_EQ(InsideArchivePath("a/../../b"), "");
  EXPECT_EQ(InsideArchivePath("/etc/passwd"), "");
  EXPECT_EQ(InsideArchivePath("."), "");
}

TEST(UnderPath, AFolderHoldsWhatLiesBelowItInEitherStyle) {
  for (const TPathStyle kind : {TPathStyle::psPosix, TPathStyle::psWindows}) {
    fakes::FixedPathStyle style{kind};
    const ScopedOverride<IPathStyle> use(style);
    const auto under = UnderPath("Letters");
    EXPECT_TRUE(under("Letters"));
    EXPECT_TRUE(under("Letters/file3.odt"));
    EXPECT_TRUE(under("./Letters/old/file3.odt"));
    EXPECT_FALSE(under("Letters2/file3.odt"));
    EXPECT_FALSE(under("Lett"));
    EXPECT_FALSE(under("Old/Letters/file3.odt"));
    EXPECT_FALSE(UnderPath("../Letters")("Letters/file3.odt")) << "no path outside";
  }
  fakes::FixedPathStyle windows{TPathStyle::psWindows};
  const ScopedOverride<IPathStyle> use(windows);
  EXPECT_TRUE(UnderPath("letters")("LETTERS\\file3.odt")) << "letter case aside";
  EXPECT_TRUE(UnderPath("Letters\\Old")("Letters/Old/file3.odt"));
}

TEST(BesideName, TheNightBeforeTheExtension) {
  const TNativeStyle native;
  const test::TTempFolder temp("beside");
  const std::string file = (temp / "file3.odt").string();
  EXPECT_EQ(BesideName(file, "2026-12-08"), (temp / "file3 (2026-12-08).odt").string());
  WriteFile(temp / "file3 (2026-12-08).odt", "");
  EXPECT_EQ(BesideName(file, "2026-12-08"), (temp / "file3 (2026-12-08, 2).odt").string());
  EXPECT_EQ(BesideName((temp / ".profile").string(), "2026-12-08"),
            (temp / ".profile (2026-12-08)").string());
}

// A night that holds what the night before held adds no version of an
// entry; every night's listing comes back as it was given, also after some
// went, and a find sees each copy once.
TEST(ArchiveIndex, NightsShareTheVersionsTheyHoldAndGiveBackEachListing) {
  const TNativeStyle native;
  const test::TTempFolder temp("index-nights");
  const std::string journal = (temp / "Packetwright.journal").string();
  TArchiveIndex index(journal);
  const auto night = [&](int day) {
    return TIndexedArchive{"/out/2026-12-0" + std::to_string(day) + "/data.7z", "/data", 1,
                           "2026-12-0" + std::to_string(day) + "T02:30:00+01:00", 100 + day};
  };
  const TListedEntry folder{"Letters", 0, true, "2026-12-01 10:00:00", std::nullopt};
  const TListedEntry kept{"Letters/kept.odt", 5, false, "2026-12-01 10:00:00", 0xABCDEF01u};
  const auto changed = [](int day) {
    return TListedEntry{"notes.txt", day, false, "2026-12-0" + std::to_string(day) + " 09:00:00",
                        static_cast<uint32_t>(day)};
  };
  const TListedEntry gone{"gone.txt", 1, false, "2026-12-01 08:00:00", 7u};
  std::vector<std::vector<TListedEntry>> listings = {
      {folder, kept, changed(1), gone},
      {kept, folder, changed(2)},        // gone.txt deleted, another order
      {folder, kept, changed(2), gone},  // gone.txt back as it was
      {folder, kept, kept, changed(4)},  // a path named twice
  };
  for (int day = 1; day <= 4; ++day) index.Add(night(day), listings[day - 1]);
  const auto byPath = [](std::vector<TListedEntry> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const TListedEntry& a, const TListedEntry& b) { return a.path < b.path; });
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const TListedEntry& a, const TListedEntry& b) {
                                return a.path == b.path && a.bytes == b.bytes;
                              }),
                  entries.end());
    return entries;
  };
  const auto same = [](const std::vector<TListedEntry>& a, const std::vector<TListedEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (a[i].path != b[i].path || a[i].bytes != b[i].bytes || a[i].folder != b[i].folder ||
          a[i].modified != b[i].modified || a[i].crc != b[i].crc) {
        return false;
      }
    }
    return true;
  };
  for (int day = 1; day <= 4; ++day) {
    const auto listing = index.Listing(night(day));
    ASSERT_TRUE(listing) << day;
    EXPECT_TRUE(same(*listing, byPath(listings[day - 1]))) << "night " << day;
  }
  fs::path file;
  for (const auto& e : fs::directory_iterator(IndexFolderName(journal))) {
    if (e.path().extension() == ".dir") file = e.path();
  }
#ifndef _WIN32
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write)
      << "the names of the files archived are the owner's alone";
#endif
  const std::string text = ReadFile(file);
  const auto lines = [&](const char* head) {
    size_t n = 0;
    for (size_t at = text.find(head); at != std::string::npos; at = text.find(head, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(lines("\nP\t"), 4u) << text;
  // The folder and kept.odt once each, notes.txt three times, gone.txt once.
  EXPECT_EQ(lines("\nV\t"), 6u) << text;
  EXPECT_NE(text.find("\t1-4\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\t1,3\n"), std::string::npos) << text;

  std::vector<TFoundCopy> found = index.Find("*.txt", "");
  ASSERT_EQ(found.size(), 6u);
  EXPECT_EQ(found[0].archive, night(4));
  EXPECT_EQ(found[0].entry.path, "notes.txt");
  EXPECT_EQ(found[1].archive, night(3));
  EXPECT_EQ(found[1].entry.path, "gone.txt");
  EXPECT_EQ(found[2].entry.path, "notes.txt");
  EXPECT_EQ(found[2].entry.bytes, 2);
  EXPECT_EQ(index.Find("kept.odt", "/data").size(), 4u);
  EXPECT_TRUE(index.Find("kept.odt", "/other").empty());
  EXPECT_TRUE(index.Find("Letters", "").empty()) << "folders are not found";

  // The newest holding a path, across directories and within one.
  index.Add({"/out/2026-12-02/other.7z", "/other", 2, "2026-12-02T02:30:00+01:00", 50}, {gone});
  const auto newest = index.Newest(UnderPath("gone.txt"), "");
  ASSERT_TRUE(newest);
  EXPECT_EQ(newest->archive, night(3));
  ASSERT_TRUE(index.Newest(UnderPath("gone.txt"), "/other"));
  EXPECT_EQ(index.Newest(UnderPath("gone.txt"), "/other")->archive.directory, "/other");
  const auto letters = index.Newest(UnderPath("Letters"), "/data");
  ASSERT_TRUE(letters);
  EXPECT_EQ(letters->archive, night(4));
  ASSERT_EQ(letters->entries.size(), 2u) << "the folder and what it holds";
  EXPECT_EQ(letters->entries[1].path, "Letters/kept.odt");
  EXPECT_FALSE(index.Newest(UnderPath("Lett"), ""));

  // Night 3 written again under its name: its older listing goes.
  TIndexedArchive again = night(3);
  again.bytes = 999;
  again.started = "2026-12-05T02:30:00+01:00";
  index.Add(again, {kept});
  EXPECT_FALSE(index.Listing(night(3)));
  ASSERT_TRUE(index.Listing(again));
  EXPECT_EQ(index.Listing(again)->size(), 1u);
  EXPECT_EQ(index.Find("gone.txt", "/data").size(), 1u);
  EXPECT_EQ(index.Archives().size(), 5u);
}

// The password of an encrypted archive reaches 7-Zip's listing and its
// extraction on standard input, never in an argument; one that cannot be had
// lists and extracts nothing.
TEST(RestorePassword, IsHandedOverOnStandardInputOnly) {
  const TPosixStyle posix;
  const test::TTempFolder temp("restore-password");
  fakes::FakeProcessRunner runner;
  const ScopedOverride<IProcessRunner> useRunner(runner);
  TExtractor extractor{"7zz", TArchiverFamily::af7Zip, "a -r -mx=9", {}};
  std::vector<std::string> asked;
  extractor.password = [&asked](const std::string& archive) {
    asked.push_back(archive);
    return std::optional<std::string>("Secret 123");
  };
  const std::string archive = (temp / "night.7z").string();
  std::string error;
  ListArchive(extractor, archive, {}, error);
  TRestoreSource source{{archive, "/data", 1, "2026-12-08T02:30:00+01:00", 10},
                        {{"a.txt", 1, false, "", std::nullopt}},
                        {},
                        (temp / "back").string()};
  const TRestoreResult result = ExecuteRestore(PlanRestore({source}, TExisting::exAsk), extractor);
  EXPECT_NE(result.error, "") << "the stand-in extracts nothing";
  EXPECT_EQ(asked, (std::vector<std::string>{archive, archive}));
  ASSERT_EQ(runner.calls.size(), 2u);
  for (const auto& call : runner.calls) {
    EXPECT_EQ(call.input, "Secret 123\n") << call.arguments[0];
    for (const std::string& word : call.arguments) {
      EXPECT_EQ(word.find("Secret"), std::string::npos) << word;
      EXPECT_NE(word, "-p") << "a bare -p has 7-Zip take an empty password";
    }
  }
  EXPECT_EQ(runner.calls[0].arguments[0], "l");
  EXPECT_EQ(runner.calls[1].arguments[0], "x");

  // A password that cannot be had: nothing runs.
  extractor.password = [](const std::string&) -> std::optional<std::string> {
    throw EPasswordUnavailable("Cannot read the archive password from the keyring: locked");
  };
  EXPECT_FALSE(ListArchive(extractor, archive, {}, error));
  EXPECT_NE(error.find("locked"), std::string::npos) << error;
  EXPECT_NE(ExecuteRestore(PlanRestore({source}, TExisting::exAsk), extractor).error.find("locked"),
            std::string::npos);
  EXPECT_EQ(runner.calls.size(), 2u);
}

#ifndef _WIN32

// Nights of one directory, each archived by the real 7-Zip into its dated
// folder and journalled as a job's record.
class RestoreTest : public ::testing::Test {
 protected:
  RestoreTest()
      : temp("restore"),
        data(temp / "data"),
        journal((temp / "Packetwright.journal").string()) {
    fs::create_directories(data);
  }

  // Archives the data folder as the night's job and journals it.
  TIndexedArchive Night(const std::string& night) {
    const fs::path archive = temp / "out" / night / "data.7z";
    fs::create_directories(archive.parent_path());
    test::CommandOutput("cd '" + data.string() + "' && 7zz a -bd -bso0 '" + archive.string() +
                        "' -- * .[!.]* 2>/dev/null");
    TJournalRecord r;
    r.directory = data.string();
    r.position = 1;
    r.archive = archive.string();
    r.started = night + "T02:30:00+01:00";
    r.ended = r.started;
    r.status = 0;
    r.bytes = static_cast<int64_t>(fs::file_size(archive));
    r.tested = TArchiveTest::atPassed;
    AppendJournalRecord(journal, r);
    return {r.archive, r.directory, 1, r.started, *r.bytes};
  }

  TArchiveLister Lister() {
    return [this](const TIndexedArchive& a, std::string& error) {
      ++listed;
      return SevenZipEntries("7zz", "a -r", a.archive, {}, error);
    };
  }

  TRestorePlan Plan(const TIndexedArchive& a, const std::vector<std::string>& paths,
                    const fs::path& target, TExisting existing) {
    TRestoreSource source{a, {}, paths, target.string()};
    const std::vector<TListedEntry> listing = *TArchiveIndex(journal).Listing(a);
    for (const std::string& path : paths) {
      const std::vector<TListedEntry> entries = EntriesUnder(listing, path);
      source.entries.insert(source.entries.end(), entries.begin(), entries.end());
    }
    return PlanRestore({source}, existing);
  }

  // The index's file of the data folder.
  fs::path DirectoryFile() const {
    for (const auto& e : fs::directory_iterator(IndexFolderName(journal))) {
      if (e.path().extension() == ".dir") return e.path();
    }
    return {};
  }

  static TExtractor SevenZip() { return {"7zz", TArchiverFamily::af7Zip, "a -r", {}}; }

  const TPosixStyle posix;
  test::TTempFolder temp;
  fs::path data;
  std::string journal;
  int listed = 0;
};

TEST_F(RestoreTest, FindsEveryCopyNewestFirstAndForgetsArchivesThatAreGone) {
  fs::create_directories(data / "Letters");
  WriteFile(data / "Letters" / "file3.odt", "first");
  const TIndexedArchive n1 = Night("2026-12-06");
  fs::remove(data / "Letters" / "file3.odt");
  WriteFile(data / "other.txt", "x");
  const TIndexedArchive n2 = Night("2026-12-07");
  WriteFile(data / "Letters" / "file3.odt", "third!");
  const TIndexedArchive n3 = Night("2026-12-08");
  TArchiveIndex index(journal);
  EXPECT_EQ(index.Refresh(Lister()).listed, 3);
  std::vector<TFoundCopy> found = index.Find("file3.odt", "");
  ASSERT_EQ(found.size(), 2u) << "the night it was deleted holds none";
  EXPECT_EQ(found[0].archive, n3);
  EXPECT_EQ(found[0].entry.bytes, 6);
  EXPECT_EQ(found[1].archive, n1);
  EXPECT_EQ(index.Find("Letters/*", "").size(), 2u);
  EXPECT_TRUE(index.Find("file3.odt", "/elsewhere").empty());

  // A pruned archive and one deleted by hand drop out; nothing is listed again.
  TJournalRecord pruned;
  pruned.directory = data.string();
  pruned.position = 1;
  pruned.archive = n3.archive;
  pruned.started = pruned.ended = "2026-12-09T03:00:00+01:00";
  pruned.kind = TRecordKind::rkPruned;
  AppendJournalRecord(journal, pruned);
  fs::remove(n1.archive);
  const TIndexRefresh refresh = index.Refresh(Lister());
  EXPECT_EQ(refresh.dropped, 2);
  EXPECT_EQ(listed, 3);
  EXPECT_TRUE(index.Find("file3.odt", "").empty());
  ASSERT_EQ(index.Archives().size(), 1u);
  const std::string kept = ReadFile(DirectoryFile());
  EXPECT_EQ(kept.find(n1.archive), std::string::npos) << kept;
  EXPECT_EQ(kept.find(n3.archive), std::string::npos) << kept;
  EXPECT_EQ(kept.find("file3.odt"), std::string::npos) << "no version held by an archive gone";
}

TEST_F(RestoreTest, TheIndexIsMadeAgainWhenItsFilesAreDeletedOrDamaged) {
  WriteFile(data / "a.txt", "a");
  const TIndexedArchive n1 = Night("2026-12-07");
  const TIndexedArchive n2 = Night("2026-12-08");
  TArchiveIndex index(journal);
  index.Refresh(Lister());
  ASSERT_EQ(listed, 2);
  EXPECT_EQ(index.Refresh(Lister()).listed, 0) << "what the index holds is not listed again";
  // The directory's file lost: its archives are listed again.
  fs::remove(DirectoryFile());
  EXPECT_TRUE(index.Find("a.txt", "").empty());
  index.Refresh(Lister());
  EXPECT_EQ(listed, 4);
  EXPECT_EQ(index.Find("a.txt", "").size(), 2u);
  // Damaged in place, without a change of size: the find that meets it
  // names its archives and drops it, and the next refresh lists them again.
  std::string bytes = ReadFile(DirectoryFile());
  bytes[bytes.find("\nV\t") + 1] = 'Z';
  WriteFile(DirectoryFile(), bytes);
  std::vector<std::string> damaged;
  EXPECT_TRUE(index.Find("a.txt", "", &damaged).empty());
  EXPECT_EQ(damaged, (std::vector<std::string>{n2.archive, n1.archive}));
  index.Refresh(Lister());
  EXPECT_EQ(listed, 6);
  EXPECT_EQ(index.Find("a.txt", "").size(), 2u);
  // Cut short: the refresh itself tells, and lists them again.
  bytes = ReadFile(DirectoryFile());
  WriteFile(DirectoryFile(), bytes.substr(0, bytes.size() - 2));
  index.Refresh(Lister());
  EXPECT_EQ(listed, 8);
  ASSERT_TRUE(index.Listing(n1));
  EXPECT_EQ(index.Listing(n1)->size(), 1u);
}

TEST_F(RestoreTest, AwkwardNamesComeBackWithWhatTheyHeld) {
  const std::vector<std::string> names = {"a b.txt", "Gr\xC3\xBC\xC3\x9F" "e.txt", "-lead",
                                          "st*r?.txt"};
  for (const std::string& name : names) WriteFile(data / name, "held by " + name);
  fs::create_directories(data / "sub dir");
  WriteFile(data / "sub dir" / "-x", "deep");
  const TIndexedArchive night = Night("2026-12-08");
  TArchiveIndex(journal).Refresh(Lister());
  const fs::path target = temp / "back";
  std::vector<std::string> paths = names;
  paths.push_back("sub dir");
  const TRestorePlan plan = Plan(night, paths, target, TExisting::exAsk);
  EXPECT_EQ(plan.ToWrite(), 5);
  const TRestoreResult result = ExecuteRestore(plan, SevenZip());
  ASSERT_EQ(result.error, "");
  EXPECT_EQ(result.restored, 5);
  for (const std::string& name : names) EXPECT_EQ(ReadFile(target / name), "held by " + name);
  EXPECT_EQ(ReadFile(target / "sub dir" / "-x"), "deep");
  EXPECT_FALSE(fs::exists(target / "st"));
  int left = 0;
  for (const auto& e : fs::directory_iterator(target)) {
    left += e.path().filename().string().rfind(".packetwright-restore", 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(left, 0) << "the temporary folder is gone";
}

TEST_F(RestoreTest, AFileThereIsLeftAloneKeptBesideOrReplacedAsAsked) {
  WriteFile(data / "file3.odt", "old");
  WriteFile(data / "new.txt", "new");
  const TIndexedArchive night = Night("2026-12-08");
  TArchiveIndex(journal).Refresh(Lister());
  WriteFile(data / "file3.odt", "changed since");
  fs::remove(data / "new.txt");

  const TRestorePlan ask = Plan(night, {"file3.odt", "new.txt"}, data, TExisting::exAsk);
  EXPECT_EQ(ask.Conflicts(), 1);
  EXPECT_EQ(RestorePlanText(ask), "From " + night.archive + " (night 2026-12-08, " +
                                      data.string() + "):\n  exists     " +
                                      (data / "file3.odt").string() + "\n  create     " +
                                      (data / "new.txt").string() + "\n");
  const TRestoreResult skipped = ExecuteRestore(ask, SevenZip());
  EXPECT_EQ(skipped.restored, 1);
  EXPECT_EQ(skipped.skipped, 1);
  EXPECT_EQ(ReadFile(data / "file3.odt"), "changed since");
  EXPECT_EQ(ReadFile(data / "new.txt"), "new");

  ASSERT_EQ(ExecuteRestore(Plan(night, {"file3.odt"}, data, TExisting::exKeepBoth), SevenZip()).error, "");
  EXPECT_EQ(ReadFile(data / "file3.odt"), "changed since");
  EXPECT_EQ(ReadFile(data / "file3 (2026-12-08).odt"), "old");

  ASSERT_EQ(ExecuteRestore(Plan(night, {"file3.odt"}, data, TExisting::exOverwrite), SevenZip()).error, "");
  EXPECT_EQ(ReadFile(data / "file3.odt"), "old");
}

TEST_F(RestoreTest, ACorruptedArchiveWritesNothingUnderAFinalName) {
  WriteFile(data / "a.txt", std::string(4000, 'a'));
  WriteFile(data / "b.txt", std::string(4000, 'b'));
  const TIndexedArchive night = Night("2026-12-08");
  TArchiveIndex(journal).Refresh(Lister());
  std::string bytes = ReadFile(night.archive);
  for (size_t i = 40; i < 60; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  WriteFile(night.archive, bytes);
  const fs::path target = temp / "back";
  const TRestoreResult result =
      ExecuteRestore(Plan(night, {"a.txt", "b.txt"}, target, TExisting::exAsk), SevenZip());
  EXPECT_EQ(result.restored, 0);
  EXPECT_NE(result.error.find("Nothing was restored: 7-Zip could not extract from " + night.archive),
            std::string::npos)
      << result.error;
  EXPECT_TRUE(fs::is_empty(target)) << "neither a file nor the temporary folder";
}

TEST_F(RestoreTest, AnArchiveOfAnotherArchiverIsRefusedPlainly) {
  EXPECT_NE(ExtractProblem(SevenZip(), "/out/data.rar"), "");
  EXPECT_NE(ExtractProblem({"rar", TArchiverFamily::afRar, "a", {}}, "/out/data.7z"), "");
  EXPECT_EQ(ExtractProblem(SevenZip(), "/out/data.7z"), "");
}

#endif

}  // namespace
}  // namespace pw
