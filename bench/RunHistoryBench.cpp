// A journal with one record far beyond any real one among many ordinary
// records, and the Run History window over it, headless. Time and peak
// memory are measured from outside (time -v), one start a run:
//   run_history_bench write FOLDER [MEGABYTES [RECORDS]]
//       writes FOLDER/Packetwright.dat (an empty document) and beside it
//       FOLDER/Packetwright.journal: RECORDS ordinary records (default
//       10,000) and, among the last night's, one of MEGABYTES (default 10)
//       in its error, so that it is among the window's first rows;
//       packetwright-cli --settings FOLDER/Packetwright.dat history reads it
//   run_history_bench window FOLDER
//       opens the Run History window over that journal, lets it lay out
//       and paint its rows, and prints the time that took and what its
//       count line says; with PW_SAVE=FILE.png it keeps the picture too.
#include <QApplication>
#include <QLabel>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archiver/Journal.h"
#include "model/HoardkeeperClasses.h"
#include "ui/fmuRunHistory.h"

namespace fs = std::filesystem;

namespace {

pw::TJournalRecord Ordinary(int i) {
  pw::TJournalRecord r;
  const int directory = i % 100;
  r.directory = "/srv/projects/src" + std::to_string(directory);
  r.position = directory + 1;
  char day[16];
  std::snprintf(day, sizeof day, "2026-%02d-%02d", 1 + i / 100 / 28 % 12, 1 + i / 100 % 28);
  r.archive = std::string("/backup/archives/") + day + "/srv_projects_src" +
              std::to_string(directory) + ".7z";
  r.started = std::string(day) + "T02:30:00+01:00";
  r.ended = std::string(day) + "T02:31:17+01:00";
  r.status = i % 50 == 9 ? 2 : 0;
  if (r.status == 0) r.bytes = 1000 + static_cast<int64_t>(i) * 7919;
  return r;
}

int Write(const fs::path& folder, int megabytes, int records) {
  fs::create_directories(folder);
  pw::TbkManager().SaveToFile((folder / "Packetwright.dat").string(), true);
  std::ofstream out(folder / "Packetwright.journal", std::ios::binary | std::ios::trunc);
  for (int i = 0; i < records; ++i) {
    if (i == records - 1) {
      // Written by hand: the journal's own writer would not write it.
      pw::TJournalRecord r = Ordinary(i);
      r.status.reset();
      r.bytes.reset();
      r.error = "x";
      std::string line = pw::JournalLine(r);
      const size_t at = line.find("\"error\":\"x\"") + 9;
      // The archiver's warnings, line after line, as they would read in the cell.
      std::string warnings;
      for (int n = 0; warnings.size() < (static_cast<size_t>(megabytes) << 20); ++n) {
        warnings += "WARNING: Cannot open file: /srv/projects/src0/data/file" + std::to_string(n) +
                    ".dat: Permission denied\\n";
      }
      line.replace(at, 1, warnings);
      out << line;
    }
    out << pw::JournalLine(Ordinary(i));
  }
  return out.flush() ? 0 : 1;
}

int Window(const fs::path& folder, int argc, char** argv) {
  QApplication app(argc, argv);
  const auto start = std::chrono::steady_clock::now();
  pw::TfmRunHistory window((folder / "Packetwright.journal").string());
  window.show();
  QApplication::processEvents();
  // The error column in view, as on a wide screen.
  window.tvRuns->scrollTo(window.tvRuns->model()->index(0, pw::TRunHistoryModel::cError));
  // Painted into an image, whether or not the platform shows the window.
  const QPixmap painted = window.grab();
  if (std::getenv("PW_SAVE")) painted.save(std::getenv("PW_SAVE"));
  QApplication::processEvents();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.3f s  %s\n", seconds, window.laCount->text().toUtf8().constData());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 2 ? argv[1] : "";
  if (command == "write") {
    return Write(argv[2], argc > 3 ? std::atoi(argv[3]) : 10,
                 argc > 4 ? std::atoi(argv[4]) : 10000);
  }
  if (command == "window") return Window(argv[2], argc, argv);
  std::fprintf(stderr,
               "usage: run_history_bench write FOLDER [MEGABYTES [RECORDS]]\n"
               "       run_history_bench window FOLDER\n");
  return 2;
}
