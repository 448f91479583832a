// A find across a year of nights of twenty directories: 7,300 archives in
// the journal, each with its listing in the index (made here, once, in the
// temporary folder, without 7-Zip), and the median of several finds of one
// name, of a pattern and of a path. Also the refresh that a find does first
// when nothing is new: the journal read and a look at every archive.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
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
  index.Refresh([](const TIndexedArchive& a, std::string&) {
    const bool lost = a.Night() == Day(200) && a.position == 8;
    std::vector<TListedEntry> entries;
    entries.reserve(kEntries);
    for (int f = 0; f < kEntries; ++f) {
      entries.push_back({"Projects/" + std::to_string(f % 40) + "/report-" + std::to_string(f) +
                             (lost && f == 3 ? "-lost.odt" : ".odt"),
                         1000 + f, false, "2026-12-07 17:40:02", 0x12345678u});
    }
    return std::optional<std::vector<TListedEntry>>(std::move(entries));
  });
  std::printf("index of %d archives of %d files each made in %.1f s\n", kNights * kDirectories,
              kEntries, bench::Seconds(std::chrono::steady_clock::now() - made));
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
