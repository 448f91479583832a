// The journal on disk: what is written comes back, earlier lines are never
// touched, and what a crash or an editor leaves behind is passed over.
#include "archiver/Journal.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <future>
#include <regex>
#include <thread>

#include "platform/Errors.h"
#include "platform/TextCodec.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

using namespace pw::test;

TJournalRecord Done(const std::string& directory, int position) {
  TJournalRecord r;
  r.directory = directory;
  r.position = position;
  r.archive = directory + ".7z";
  r.started = "2026-12-08T02:30:00+01:00";
  r.ended = "2026-12-08T02:31:05+01:00";
  r.status = 0;
  r.bytes = 1234;
  return r;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

class JournalTest : public ::testing::Test {
 protected:
  JournalTest() : temp("journal"), path(temp / "Packetwright.journal") { file = ProgramPath(path); }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    const std::string text = ReadFile(path);
    for (size_t start = 0, at; (at = text.find('\n', start)) != std::string::npos; start = at + 1) {
      lines.push_back(text.substr(start, at - start));
    }
    return lines;
  }

  TTempFolder temp;
  fs::path path;
  std::string file;
};

TEST_F(JournalTest, RecordsComeBackWithTheirNullsAndEveryByte) {
  TJournalRecord done = Done("/data/src", 3);
  done.bytes = 5'000'000'000;  // beyond 32 bits
  TJournalRecord notRun;
  notRun.directory = "/data/gone";
  notRun.position = 1;
  notRun.started = "2026-12-08T02:30:00-05:30";
  notRun.error = "Cannot start \"7z\": not found";
  TJournalRecord notAwaited = Done("/data/b", 2);
  notAwaited.ended.clear();
  notAwaited.status.reset();
  notAwaited.bytes.reset();
  TJournalRecord crashed = Done("C:\\Data", 12);
  crashed.status = -1073741819;  // a Windows exception code read as int
  crashed.bytes.reset();
  TJournalRecord odd = Done("C:\\Data\\\"quoted\"\n\t/\x1B[2J\x7F\b\f\x01", 7);
  odd.error = std::string("line\r\nand a NUL \0 inside", 24);
  const std::vector<TJournalRecord> records = {done, notRun, notAwaited, crashed, odd};
  for (const TJournalRecord& r : records) AppendJournalRecord(file, r);

  EXPECT_EQ(ReadJournal(file), records);
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), records.size()) << "one line each, whatever the texts hold";
  EXPECT_EQ(lines[0],
            "{\"directory\":\"/data/src\",\"position\":3,\"archive\":\"/data/src.7z\","
            "\"started\":\"2026-12-08T02:30:00+01:00\",\"ended\":\"2026-12-08T02:31:05+01:00\","
            "\"status\":0,\"error\":null,\"bytes\":5000000000}");
  EXPECT_NE(lines[1].find("\"ended\":null,\"status\":null,\"error\":\"Cannot start \\\"7z\\\": "
                          "not found\",\"bytes\":null}"),
            std::string::npos)
      << lines[1];
}

// A warning is written only where there is one, last, and read back by
// either reader; a line of an earlier version, without it, still reads.
TEST_F(JournalTest, AWarningIsTheOneMemberALineMayLeaveOut) {
  TJournalRecord warned = Done("/data/src", 3);
  warned.status = 1;
  warned.warning = "WARNING: errno=2 : No such file or directory\ndangle";
  const std::string line = JournalLine(warned);
  EXPECT_EQ(line.substr(line.find(",\"bytes\"")),
            ",\"bytes\":1234,\"warning\":\"WARNING: errno=2 : No such file or directory\\ndangle\"}\n");
  EXPECT_EQ(JournalLine(Done("/d", 1)).find("warning"), std::string::npos);
  const std::string library =
      Replaced(line, "\"directory\":\"/data/src\"", "\"directory\":\"\\u002fdata/src\"");
  const std::string nullWarning = Replaced(line, "\"WARNING: errno=2 : No such file or directory\\ndangle\"", "null");
  for (const std::string& text : {line, library, nullWarning}) {
    WriteFile(path, text);
    const std::vector<TJournalRecord> read = ReadJournal(file);
    ASSERT_EQ(read.size(), 1u) << text;
    EXPECT_EQ(read[0].warning, text == nullWarning ? std::nullopt : warned.warning) << text;
    EXPECT_EQ(read[0].bytes, 1234) << text;
  }
  // A warning that is no text makes no record of the line.
  WriteFile(path, Replaced(line, "\"WARNING: errno=2 : No such file or directory\\ndangle\"", "7"));
  EXPECT_TRUE(ReadJournal(file).empty());
}

// A test's outcome and a prune's kind follow the warning, each only where
// the record has one; the fast reader and the library read every mix of them
// alike, and a kind this program does not know makes no record.
TEST_F(JournalTest, TestedAndKindAreLeftOutUnlessTheRecordHasThem) {
  TJournalRecord passed = Done("/data/a", 1);
  passed.tested = TArchiveTest::atPassed;
  TJournalRecord failed = Done("/data/b", 2);
  failed.warning = "w";
  failed.tested = TArchiveTest::atFailed;
  failed.error = "CRC Failed";
  TJournalRecord noTest = Done("/data/c.rar", 3);
  noTest.tested = TArchiveTest::atNoTest;
  TJournalRecord pruned = Done("/data/a", 1);
  pruned.kind = TRecordKind::rkPruned;
  pruned.status.reset();
  const std::vector<TJournalRecord> records = {passed, failed, noTest, pruned, Done("/d", 4)};
  EXPECT_EQ(JournalLine(passed).substr(JournalLine(passed).find(",\"bytes\"")),
            ",\"bytes\":1234,\"tested\":true}\n");
  EXPECT_EQ(JournalLine(failed).substr(JournalLine(failed).find(",\"warning\"")),
            ",\"warning\":\"w\",\"tested\":false}\n");
  EXPECT_NE(JournalLine(noTest).find(",\"tested\":null}"), std::string::npos);
  EXPECT_NE(JournalLine(pruned).find(",\"bytes\":1234,\"kind\":\"pruned\"}"), std::string::npos);
  std::string text, library;
  for (const TJournalRecord& r : records) {
    text += JournalLine(r);
    // The same members in another order: only the library reads it.
    library += Replaced(JournalLine(r), "{\"directory\"", "{\"x\":[],\"directory\"");
  }
  for (const std::string& t : {text, library}) {
    WriteFile(path, t);
    EXPECT_EQ(ReadJournal(file), records);
  }
  WriteFile(path, Replaced(JournalLine(pruned), "\"pruned\"", "\"moved\"") +
                      Replaced(JournalLine(passed), "true", "1") + JournalLine(noTest));
  EXPECT_EQ(ReadJournal(file), std::vector<TJournalRecord>{noTest})
      << "an unknown kind and a test that is no flag make no record";
}

TEST_F(JournalTest, TextsAreUtf8InTheFileAndTheProgramsOwnWhenRead) {
  // The same name as the program holds it on this system (UTF-8, or the ANSI
  // code page on Windows) and in Windows-1252: both are one UTF-8 text.
  const std::string own = Local8Bit("B\xC3\xBCro \xE2\x82\xAC");
  const std::string windows1252 = "B\xFCro \x80";
  AppendJournalRecord(file, Done(own, 1));
  AppendJournalRecord(file, Done(windows1252, 2));
  for (const std::string& line : Lines()) {
    EXPECT_EQ(line.rfind("{\"directory\":\"B\xC3\xBCro \xE2\x82\xAC\",", 0), 0u) << line;
  }
  const std::vector<TJournalRecord> read = ReadJournal(file);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].directory, own);
  EXPECT_EQ(read[1].directory, own);
  EXPECT_EQ(read[1].archive, own + ".7z");
  EXPECT_EQ(AsReadFromJournal(windows1252), own);
  EXPECT_EQ(AsReadFromJournal(own), own);
}

TEST_F(JournalTest, AppendingKeepsEarlierLinesAndStartsAfterATornOne) {
  // A line another tool wrote, laid out its own way with a member more.
  const std::string earlier =
      "{ \"bytes\": null, \"position\": 4, \"directory\": \"/data/by hand\", \"host\": \"x\", "
      "\"archive\": \"\", \"started\": \"2026-01-01T00:00:00Z\", \"ended\": null, "
      "\"status\": 1, \"error\": null }\r\n"
      "not a record\n";
  WriteFile(path, earlier);
  const TJournalRecord first = Done("/data/a", 1);
  AppendJournalRecord(file, first);
  EXPECT_EQ(ReadFile(path), earlier + JournalLine(first));

  const std::string torn = ReadFile(path) + JournalLine(Done("/data/torn", 2)).substr(0, 40);
  WriteFile(path, torn);
  const TJournalRecord second = Done("/data/b", 2);
  AppendJournalRecord(file, second);
  EXPECT_EQ(ReadFile(path), torn + "\n" + JournalLine(second));

  const std::vector<TJournalRecord> read = ReadJournal(file);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].directory, "/data/by hand");
  EXPECT_EQ(read[0].position, 4);
  EXPECT_EQ(read[0].status, 1);
  EXPECT_FALSE(read[0].bytes.has_value());
  EXPECT_EQ(read[1], first);
  EXPECT_EQ(read[2], second);
}

// Every case is read twice: as it stands, and behind a space, which the
// general JSON reading takes and the quick reading of the journal's own
// layout does not. The two must agree.
TEST_F(JournalTest, LinesThatAreNotCompleteValidRecordsAreSkipped) {
  std::string line = JournalLine(Done("/d", 2));
  line.pop_back();
  const std::vector<std::string> broken = {
      "",
      "garbage",
      "[]",
      "null",
      "{}",
      line.substr(0, line.size() / 2),
      line.substr(0, line.size() - 1),
      line + "x",
      Replaced(line, "\"position\":2", "\"position\":0"),
      Replaced(line, "\"position\":2", "\"position\":-2"),
      Replaced(line, "\"position\":2", "\"position\":2.0"),
      Replaced(line, "\"position\":2", "\"position\":2e0"),
      Replaced(line, "\"position\":2", "\"position\":02"),
      Replaced(line, "\"position\":2", "\"position\":\"2\""),
      Replaced(line, "\"position\":2", "\"position\":2147483648"),
      Replaced(line, "\"status\":0", "\"status\":4294967296"),
      Replaced(line, "\"status\":0", "\"status\":true"),
      Replaced(line, "\"status\":0", "\"status\":-"),
      Replaced(line, "\"bytes\":1234", "\"bytes\":-1"),
      Replaced(line, "\"bytes\":1234", "\"bytes\":12.5"),
      Replaced(line, "\"bytes\":1234", "\"bytes\":18446744073709551615"),
      Replaced(line, "\"bytes\":1234", "\"bytes\":123456789012345678901234567890"),
      Replaced(line, "\"error\":null", "\"error\":7"),
      Replaced(line, "\"error\":null", "\"error\":nul"),
      Replaced(line, "\"ended\":\"", "\"ended\":false,\"x\":\""),
      Replaced(line, "\"archive\":\"/d.7z\",", ""),
      Replaced(line, "\"directory\":\"/d\"", "\"directory\":null"),
      Replaced(line, "\"/d\"", "\"/d\xFF\""),
      Replaced(line, "\"/d\"", "\"/d\xC3\\n\xBC\""),
      Replaced(line, "\"/d\"", "\"/d\x01\""),
      Replaced(line, "\"/d\"", "\"/d\\x\""),
      Replaced(line, "\"/d\"", "\"/d\\u00\""),
      Replaced(line, "\"/d\"", "\"/d"),
  };
  for (const std::string& text : broken) {
    WriteFile(path, text + "\n " + text + "\n");
    EXPECT_TRUE(ReadJournal(file).empty()) << text;
  }

  const std::vector<std::string> valid = {
      line,
      line + "\r",
      line + " ",
      Replaced(line, "\"status\":0", "\"status\":-0"),
      Replaced(line, "\"/d\"", "\"\\/d\\u0041\\ud83d\\ude00\""),
      Replaced(line, "\"bytes\":1234", "\"bytes\":999999999999999999"),
      Replaced(line, "\"bytes\":1234", "\"bytes\":9223372036854775807"),
      Replaced(line, "\"ended\":\"2026-12-08T02:31:05+01:00\"", "\"ended\":\"\""),
  };
  for (const std::string& text : valid) {
    WriteFile(path, text + "\n " + text + "\n");
    const std::vector<TJournalRecord> read = ReadJournal(file);
    ASSERT_EQ(read.size(), 2u) << text;
    EXPECT_EQ(read[0], read[1]) << text;
  }
  EXPECT_EQ(ReadJournal(file)[0].ended, "");
}

// Each short escape alone, so that the line stays with the fast reader, and
// again beside a \u escape, which hands the whole line to the library: both
// must read the same character.
TEST_F(JournalTest, EveryShortEscapeReadsAlikeByEitherReader) {
  const std::string line = JournalLine(Done("/d", 2));
  const std::pair<const char*, char> escapes[] = {{"\\n", '\n'},  {"\\r", '\r'}, {"\\t", '\t'},
                                                  {"\\b", '\b'},  {"\\f", '\f'}, {"\\\"", '"'},
                                                  {"\\\\", '\\'}, {"\\/", '/'}};
  for (const auto& [escape, meaning] : escapes) {
    const std::string fast = Replaced(line, "\"/d.7z\"", std::string("\"/a") + escape + "b.7z\"");
    const std::string library =
        Replaced(fast, "\"directory\":\"/d\"", "\"directory\":\"\\u002fd\"");
    for (const std::string& text : {fast, library}) {
      WriteFile(path, text + "\n");
      const std::vector<TJournalRecord> read = ReadJournal(file);
      ASSERT_EQ(read.size(), 1u) << text;
      EXPECT_EQ(read[0].directory, "/d") << text;
      EXPECT_EQ(read[0].archive, std::string("/a") + meaning + "b.7z") << text;
    }
  }
}

TEST_F(JournalTest, RecordsCrossingTheReadingBlocksComeBackWhole) {
  std::vector<TJournalRecord> records;
  std::string text;
  for (int i = 0; i < 20000; ++i) {
    // Every few thousand records one whose archive is as long as a text is kept whole.
    const std::string name =
        i % 7000 == 3 ? std::string(kJournalTextMost - 5, 'x') : "/data/dir" + std::to_string(i);
    records.push_back(Done(name, i + 1));
    text += JournalLine(records.back());
  }
  text.pop_back();  // the last line without its end still counts
  WriteFile(path, text);
  size_t tooLong = 99;
  const std::vector<TJournalRecord> read = ReadJournal(file, tooLong);
  EXPECT_EQ(tooLong, 0u);
  ASSERT_EQ(read.size(), records.size());
  for (size_t i = 0; i < records.size(); ++i) ASSERT_EQ(read[i], records[i]) << i;

  std::vector<std::string> lines;
  ForEachJournalRecord(file, [&](TJournalRecord&, std::string_view line) {
    if (lines.size() < 5) lines.emplace_back(line);
  });
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3] + "\n", JournalLine(records[3])) << "the line as the file holds it";
}

std::string Repeated(const std::string& text, size_t times) {
  std::string all;
  for (size_t i = 0; i < times; ++i) all += text;
  return all;
}

// Every text as long as the journal keeps it whole: the longest path Windows
// allows, in characters of three bytes, and texts whose escapes bring their
// JSON strings to the most a text takes.
TEST_F(JournalTest, TheLongestTextsThatFitComeBackExactly) {
  TJournalRecord r = Done(Local8Bit(Repeated("\xE2\x82\xAC", 32767)), 1);  // "€"
  r.archive = std::string(kJournalTextMost - 2, 'a');
  r.started = Repeated("\\", (kJournalTextMost - 2) / 2);
  r.error = Repeated("\x01", (kJournalTextMost - 2) / 6);
  const std::string line = JournalLine(r);
  EXPECT_LE(line.size() - 1, kJournalLineMost);
  EXPECT_EQ(line.find("..."), std::string::npos) << "nothing was cut";
  AppendJournalRecord(file, r);
  AppendJournalRecord(file, Done("/d", 2));
  const std::vector<TJournalRecord> read = ReadJournal(file);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0], r);
}

// A text one byte too long is cut; a text of megabytes too, with every
// other text of the record at its most, and the line stays within the
// most a reader takes.
TEST_F(JournalTest, WritersCutTextsThatWouldMakeTheLineTooLong) {
  const std::string euro = Local8Bit("\xE2\x82\xAC");
  struct TCase {
    std::string text;
    std::string kept;  // what every whole character of the cut text repeats
    size_t each;       // the bytes one of them takes in the JSON string
  };
  const std::vector<TCase> cases = {
      {std::string(kJournalTextMost - 1, 'a'), "a", 1},
      {Repeated(euro, 10'000'000 / 3), euro, 3},
      {Repeated("\n", kJournalTextMost), "\n", 2},
      {Repeated("\x1B", kJournalTextMost), "\x1B", 6},
      {"z" + Repeated(euro, kJournalTextMost / 3), "", 3},
  };
  for (const TCase& c : cases) {
    TJournalRecord r = Done(c.text, 1);
    r.archive = r.started = r.ended = c.text;
    r.error = c.text;
    const std::string line = JournalLine(r);
    EXPECT_LE(line.size() - 1, kJournalLineMost);
    // The bytes of the text's JSON string, told by the line with the text
    // as the error and the line with an empty error ("").
    TJournalRecord empty = Done("/d", 1), one = empty;
    empty.error = "";
    one.error = c.text;
    const size_t json = JournalLine(one).size() - JournalLine(empty).size() + 2;
    EXPECT_LE(json, kJournalTextMost);
    EXPECT_GT(json + c.each, kJournalTextMost) << "cut no more than it must";

    WriteFile(path, line);
    const std::vector<TJournalRecord> read = ReadJournal(file);
    ASSERT_EQ(read.size(), 1u);
    for (const std::string* text : {&read[0].directory, &read[0].archive, &read[0].started,
                                    &read[0].ended, &*read[0].error}) {
      ASSERT_GE(text->size(), 3u);
      EXPECT_EQ(text->substr(text->size() - 3), "...");
      const std::string kept = text->substr(0, text->size() - 3);
      // A whole number of whole characters, the text's own.
      EXPECT_EQ(c.text.compare(0, kept.size(), kept), 0);
      if (!c.kept.empty()) {
        EXPECT_EQ(kept, Repeated(c.kept, kept.size() / c.kept.size()));
      }
    }
  }
  // Where the cut falls after the odd first byte, inside a character of
  // three: it goes back to that character's start.
  const std::string cut = JournalText("z" + Repeated(euro, kJournalTextMost / 3));
  EXPECT_EQ((cut.size() - 1 - 3) % 3, 0u);
  EXPECT_TRUE(IsValidUtf8(cut));
}

// Lines longer than any record the program writes: just too long, several
// reading blocks long, and torn at the end of the file. Each is counted and
// passed over, and the records around them come back.
TEST_F(JournalTest, LinesLongerThanARecordArePassedOverAndCounted) {
  const std::string ordinary = JournalLine(Done("/d", 1));
  // The ordinary line with its error padded so that the line, without its
  // end, has the given size.
  const auto padded = [&](size_t size) {
    std::string line = Replaced(ordinary, "\"error\":null", "\"error\":\"\"");
    line.pop_back();
    const size_t at = line.find("\"error\":\"") + 9;
    line.insert(at, std::string(size - line.size(), 'e'));
    return line + "\n";
  };
  const std::string most = padded(kJournalLineMost);
  ASSERT_EQ(most.size(), kJournalLineMost + 1);
  WriteFile(path, ordinary + padded(kJournalLineMost + 1) + Replaced(ordinary, "/d", "/d2") + most +
                      std::string(3'700'000, 'g') + "\n" + Replaced(ordinary, "/d", "/d3") +
                      padded(2 * kJournalLineMost).substr(0, kJournalLineMost + 100));

  size_t tooLong = 0;
  const std::vector<TJournalRecord> read = ReadJournal(file, tooLong);
  EXPECT_EQ(tooLong, 3u);
  ASSERT_EQ(read.size(), 4u);
  EXPECT_EQ(read[0], Done("/d", 1));
  EXPECT_EQ(read[1].directory, "/d2");
  EXPECT_EQ(read[2].error->size(), kJournalLineMost - (ordinary.size() - 3)) << "at the most";
  EXPECT_EQ(read[3].directory, "/d3");

  std::vector<std::string> lines;
  EXPECT_EQ(ForEachJournalRecord(file,
                                 [&](TJournalRecord&, std::string_view line) {
                                   lines.emplace_back(line.substr(0, 20));
                                 }),
            3u);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3], Replaced(ordinary, "/d", "/d3").substr(0, 20))
      << "no bytes of the long line before it";

  EXPECT_EQ(TooLongRecordsNote(1), "1 record of the journal was passed over: longer than 1 MiB");
  EXPECT_EQ(TooLongRecordsNote(3),
            "3 records of the journal were passed over: each longer than 1 MiB");
}

TEST_F(JournalTest, MissingAndUnwritableJournals) {
  EXPECT_TRUE(ReadJournal(file).empty());
  EXPECT_FALSE(fs::exists(path)) << "reading makes no journal";

  const std::string nowhere = ProgramPath(temp / "missing" / "Packetwright.journal");
  try {
    AppendJournalRecord(nowhere, Done("/d", 1));
    ADD_FAILURE() << "a journal in a missing folder was written";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Cannot open the journal " + nowhere);
  }

  TJournalRecord unreadable = Done("/d", 0);
  EXPECT_THROW(AppendJournalRecord(file, unreadable), Exception);
  unreadable.position = 1;
  unreadable.bytes = -5;
  EXPECT_THROW(AppendJournalRecord(file, unreadable), Exception);
  EXPECT_FALSE(fs::exists(path)) << "a refused record leaves no trace";
}

#ifndef _WIN32
// A FIFO would keep its reader waiting for a writer, and the window at its
// start with it; neither reading nor appending waits for one.
TEST_F(JournalTest, AJournalThatIsNoRegularFileIsRefusedAtOnce) {
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  const std::string refused = "The journal " + file + " is not a regular file";
  const auto refusal = [&](auto&& call) {
    auto done = std::async(std::launch::async, [&]() -> std::string {
      try {
        call();
      } catch (const Exception& e) {
        return e.Message();
      }
      return "no failure";
    });
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
      // A writer lets a reader that waits for one go on.
      const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) ::close(writer);
      done.wait();
      return std::string("it waited");
    }
    return done.get();
  };
  EXPECT_EQ(refusal([&] { ReadJournal(file); }), refused);
  EXPECT_EQ(refusal([&] { ForEachJournalRecord(file, [](TJournalRecord&, std::string_view) {}); }),
            refused);
  EXPECT_EQ(refusal([&] { AppendJournalRecord(file, Done("/d", 1)); }), refused);
  EXPECT_EQ(refusal([&] { AppendJournalRecord(ProgramPath(temp.Path()), Done("/d", 1)); }),
            "The journal " + ProgramPath(temp.Path()) + " is not a regular file");
  // Appending went through the pipe to no one: nothing waits in it.
  const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  char byte;
  EXPECT_LE(::read(reader, &byte, 1), 0);
  ::close(reader);
}
#endif

// Writers in two threads (as in two programs) take turns: one that looked at
// the end while another's long line was half written would take that line
// for a torn one and leave an empty line behind it.
TEST_F(JournalTest, WritersSideBySideLeaveNoEmptyLine) {
  constexpr int kWriters = 4, kRecords = 150;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      // Longer than a page, so that one line is written in several steps.
      const std::string directory = "/" + std::string(9000, static_cast<char>('a' + w));
      for (int i = 0; i < kRecords; ++i) AppendJournalRecord(file, Done(directory, i + 1));
    });
  }
  for (std::thread& writer : writers) writer.join();
  const std::vector<std::string> lines = Lines();
  EXPECT_EQ(lines.size(), static_cast<size_t>(kWriters * kRecords));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string()), 0);
  EXPECT_EQ(ReadJournal(file).size(), static_cast<size_t>(kWriters * kRecords));
}

TEST_F(JournalTest, TheJournalLivesBesideTheSettingsFile) {
  EXPECT_EQ(JournalFileName(ProgramPath(temp / "Packetwright.dat")), file);
  EXPECT_EQ(JournalFileName("Packetwright.dat"), "Packetwright.journal");
}

// Seconds since the epoch of "YYYY-MM-DDTHH:MM:SS+HH:MM".
int64_t UtcSeconds(const std::string& text) {
  using namespace std::chrono;
  const auto number = [&](size_t at, size_t n) { return std::stoi(text.substr(at, n)); };
  const sys_days day = year{number(0, 4)} / number(5, 2) / number(8, 2);
  const int offset = (text[19] == '-' ? -1 : 1) * (number(20, 2) * 60 + number(23, 2));
  return (day.time_since_epoch() / seconds(1)) + number(11, 2) * 3600 + number(14, 2) * 60 +
         number(17, 2) - offset * 60;
}

TEST(JournalTime, IsTheLocalTimeNowWithItsOffset) {
  const std::string now = JournalTimeNow();
  ASSERT_TRUE(std::regex_match(now, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
      << now;
  const int64_t utc = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  EXPECT_LE(std::abs(UtcSeconds(now) - utc), 120) << now;

#ifndef _WIN32
  // Zones written out in full, so that no zone database is needed.
  const char* previous = std::getenv("TZ");
  const std::string saved = previous ? previous : "";
  for (const auto& [zone, suffix] : {std::pair{"XST-1:30", "+01:30"}, std::pair{"YST+5", "-05:00"},
                                     std::pair{"UTC0", "+00:00"}}) {
    ::setenv("TZ", zone, 1);
    ::tzset();
    const std::string there = JournalTimeNow();
    EXPECT_EQ(there.substr(19), suffix) << zone;
    EXPECT_LE(std::abs(UtcSeconds(there) - utc), 120) << there;
  }
  if (previous) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
#endif
}

}  // namespace
}  // namespace pw
