// A find across a year of nights of twenty directories: 7,300 archives in
// the journal, each with its listing in the index (made here, once, in the
// temporary folder, without 7-Zip; each night a fiftieth of the files has
// changed), the index's size on disk, and the median of several finds of one
// name, of a pattern and of a path. Also the refresh that a find does first
// when nothing is new: the journal read and a look at every archive.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "archiver/ArchiveIndex.h"
#include "archiver/Journal.h"
#include "bench/Figures.h"

namespace {

namespace fs = std::filesystem;
using namespace pw;

constexpr int kNights = 365;
constexpr int kDirectories = 20;
constexpr int kEntries = 1'000;  // files of each archive
constexpr int kRounds = 7;
constexpr int kChurn = 50;  // a file changes every kChurn nights

std::string Day(int night) {
  char text[16];
  const int month = night / 28 % 12 + 1, day = night % 28 + 1;
  std::snprintf(text, sizeof text, "2026-%02d-%02d", month, day);
  return text;
}

}  // namespace

int main() {
  const fs::path root = fs::temp_directory_path() / ("pw-index-bench-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  const std::string journal = (root / "Packetwright.journal").string();
  TArchiveIndex index(journal);
  const auto made = std::chrono::steady_clock::now();
  for (int night = 0; night < kNights; ++night) {
    for (int d = 0; d < kDirectories; ++d) {
      const fs::path archive = root / "out" / (Day(night) + "-" + std::to_string(night / 336)) /
                               ("dir" + std::to_string(d) + ".7z");
      fs::create_directories(archive.parent_path());
      std::ofstream(archive) << "7z";
      TJournalRecord r;
      r.directory = "/srv/data/dir" + std::to_string(d);
      r.position = d + 1;
      r.archive = archive.string();
      r.started = r.ended = Day(night) + "T02:30:00+01:00";
      r.status = 0;
      r.bytes = 2;
      r.tested = TArchiveTest::atPassed;
      AppendJournalRecord(journal, r);
    }
  }
  // Listed as a find lists archives not yet in the index, with made-up
  // listings in place of 7-Zip's.
  // Each night a fiftieth of the files has changed since the night before.
  std::map<std::string, int> nights;
  for (int night = 0; night < kNights; ++night) nights[Day(night)] = night;
  index.Refresh([&](const TIndexedArchive& a, std::string&) {
    const int night = nights[a.Night()];
    const bool lost = night == 200 && a.position == 8;
    std::vector<TListedEntry> entries;
    entries.reserve(kEntries);
    for (int f = 0; f < kEntries; ++f) {
      const int changedOn = night - (night + f) % kChurn;
      entries.push_back({"Projects/" + std::to_string(f % 40) + "/report-" + std::to_string(f) +
                             (lost && f == 3 ? "-lost.odt" : ".odt"),
                         1000 + f + changedOn, false, Day(changedOn < 0 ? 0 : changedOn) + " 17:40:02",
                         0x12345678u + static_cast<uint32_t>(changedOn)});
    }
    return std::optional<std::vector<TListedEntry>>(std::move(entries));
  });
  uintmax_t indexBytes = 0;
  for (const auto& e : fs::directory_iterator(IndexFolderName(journal))) {
    indexBytes += e.is_regular_file() ? e.file_size() : 0;
  }
  std::printf("index of %d archives of %d files each (a fiftieth changed each night) made in "
              "%.1f s, %.1f MB on disk\n",
              kNights * kDirectories, kEntries,
              bench::Seconds(std::chrono::steady_clock::now() - made), indexBytes / 1e6);
  const auto time = [&](const char* what, const auto& run) {
    std::vector<double> seconds;
    size_t found = 0;
    for (int i = 0; i < kRounds; ++i) {
      const auto start = std::chrono::steady_clock::now();
      found = run();
      seconds.push_back(bench::Seconds(std::chrono::steady_clock::now() - start));
    }
    std::printf("%-40s median %.3f s (%zu found)\n", what, bench::Median(seconds), found);
  };
  time("find report-3-lost.odt", [&] { return index.Find("report-3-lost.odt", "").size(); });
  time("find *-lost.*", [&] { return index.Find("*-lost.*", "").size(); });
  time("find Projects/3/report-3.odt", [&] { return index.Find("Projects/3/report-3.odt", "").size(); });
  time("refresh with nothing new", [&] {
    return static_cast<size_t>(
        index.Refresh([](const TIndexedArchive&, std::string& error) {
          error = "not listed";
          return std::optional<std::vector<TListedEntry>>{};
        }).listed);
  });
  fs::remove_all(root);
  return 0;
}
