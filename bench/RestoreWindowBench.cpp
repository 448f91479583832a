// The Restore window over a night whose archive holds many entries, headless:
//   restore_window_bench [ENTRIES]   (default 200,000)
// writes a journal with one night of a directory and that night's listing in
// the index beside it (the archive itself a stand-in of the journalled size,
// since the listing is read from the index), then prints, each the median of
// a few rounds: the window opened until the listing is shown and painted,
// the filter set to a word and to a pattern and cleared again, each with the
// rows it leaves, and a sort by size.
#include <QApplication>
#include <QLineEdit>
#include <QThread>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archiver/ArchiveIndex.h"
#include "archiver/Journal.h"
#include "bench/Figures.h"
#include "model/HoardkeeperClasses.h"
#include "ui/fmuRestore.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<pw::TListedEntry> Listing(int entries) {
  std::vector<pw::TListedEntry> listing;
  listing.reserve(static_cast<size_t>(entries));
  const char* const kinds[] = {".cpp", ".h", ".odt", ".txt", ".png"};
  for (int i = 0; i < entries; ++i) {
    const std::string folder = "projects/p" + std::to_string(i / 5000) + "/module" +
                               std::to_string(i / 100 % 50);
    if (i % 100 == 0) listing.push_back({folder, 0, true, "2026-12-07 17:40:02", std::nullopt});
    listing.push_back({folder + "/file" + std::to_string(i) + kinds[i % 5], 1000 + i * 37 % 90000,
                       false, "2026-12-07 17:40:02", static_cast<uint32_t>(i)});
  }
  return listing;
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 200000;
  QApplication app(argc, argv);
  const fs::path folder = fs::temp_directory_path() / ("pw-restore-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
  fs::create_directories(folder / "out");
  const std::string journal = (folder / "Packetwright.journal").string();
  const fs::path archive = folder / "out" / "data.7z";
  std::ofstream(archive) << "7z";
  pw::TJournalRecord r;
  r.directory = "/data/src";
  r.position = 1;
  r.archive = archive.string();
  r.started = r.ended = "2026-12-08T02:30:00+01:00";
  r.status = 0;
  r.bytes = static_cast<int64_t>(fs::file_size(archive));
  pw::AppendJournalRecord(journal, r);
  const std::vector<pw::TListedEntry> listing = Listing(entries);
  pw::TArchiveIndex(journal).Add({r.archive, r.directory, 1, r.started, *r.bytes}, listing);
  pw::TbkManager manager;
  manager.SetArchiverExeFileName("7zz");

  std::vector<double> read, open, stall, word, pattern, clear, sort;
  int wordRows = 0, patternRows = 0;
  for (int round = 0; round < 5; ++round) {
    auto start = Clock::now();
    pw::TArchiveIndex(journal).Listing({r.archive, r.directory, 1, r.started, *r.bytes});
    read.push_back(pw::bench::Seconds(Clock::now() - start));
    start = Clock::now();
    pw::TfmRestore window(manager, r.directory, "", journal);
    window.show();
    double longest = 0;
    const auto events = [&] {
      const auto at = Clock::now();
      QApplication::processEvents();
      longest = std::max(longest, pw::bench::Seconds(Clock::now() - at));
    };
    while (window.Running()) {
      events();
      QThread::msleep(1);
    }
    events();
    window.grab();
    open.push_back(pw::bench::Seconds(Clock::now() - start));
    stall.push_back(longest);
    const auto timed = [&](auto&& step, std::vector<double>& into) {
      const auto at = Clock::now();
      step();
      window.grab();
      into.push_back(pw::bench::Seconds(Clock::now() - at));
    };
    timed([&] { window.edFilter->setText("file1"); }, word);
    wordRows = window.tvFiles->model()->rowCount();
    timed([&] { window.edFilter->setText("*module4?/*.odt"); }, pattern);
    patternRows = window.tvFiles->model()->rowCount();
    timed([&] { window.edFilter->clear(); }, clear);
    timed([&] { window.tvFiles->sortByColumn(pw::TRestoreFilesModel::cSize, Qt::DescendingOrder); },
          sort);
  }
  std::printf("%zu entries\n", listing.size());
  std::printf("the index's listing read    %.3f s\n", pw::bench::Median(read));
  std::printf("open and show the listing   %.3f s\n", pw::bench::Median(open));
  std::printf("  longest the window waited %.3f s\n", pw::bench::Median(stall));
  std::printf("filter \"file1\"              %.3f s  (%d rows)\n", pw::bench::Median(word), wordRows);
  std::printf("filter \"*module4?/*.odt\"    %.3f s  (%d rows)\n", pw::bench::Median(pattern),
              patternRows);
  std::printf("filter cleared              %.3f s\n", pw::bench::Median(clear));
  std::printf("sort by size                %.3f s\n", pw::bench::Median(sort));
  fs::remove_all(folder);
  return 0;
}
