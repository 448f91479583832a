// The dry run of a prune over a journal of 10,000 nightly runs of two
// directories (20,000 archives, every one of them there as an empty file in
// its dated folder, made once per run in the temporary folder), against
// reading the same journal with ReadJournal alone, in the same run. The
// figures are the planning's: the journal's reading, a look at every
// archive, the rules and the text.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "archiver/Journal.h"
#include "archiver/Retention.h"
#include "model/HoardkeeperClasses.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 10'000;
constexpr int kDirectories = 2;

class TNights {
 public:
  TNights() : root_(fs::temp_directory_path() / ("pw-prune-bench-" + std::to_string(::getpid()))) {
    fs::remove_all(root_);
    fs::create_directories(root_);
    manager.SetOutputPath((root_ / "out").string());
    manager.SetSubDirNamePattern("yyyy-mm-dd");
    manager.SetArchiverExeFileName("/usr/bin/7zz");
    for (int d = 0; d < kDirectories; ++d) {
      manager.Directories()->Add()->SetPath("/srv/data/src" + std::to_string(d));
    }
    journal = (root_ / "Packetwright.journal").string();
    std::ofstream lines(journal, std::ios::binary);
    using namespace std::chrono;
    const sys_days first{year{2000} / January / 1};
    for (int night = 0; night < kRuns; ++night) {
      const year_month_day date{first + days{night}};
      char day[16];
      std::snprintf(day, sizeof day, "%04d-%02u-%02u", static_cast<int>(date.year()),
                    unsigned{date.month()}, unsigned{date.day()});
      const fs::path folder = root_ / "out" / day;
      fs::create_directories(folder);
      for (int d = 0; d < kDirectories; ++d) {
        pw::TJournalRecord r;
        r.directory = "/srv/data/src" + std::to_string(d);
        r.position = d + 1;
        r.archive = (folder / ("srv_data_src" + std::to_string(d) + ".7z")).string();
        r.started = std::string(day) + "T02:30:00+01:00";
        r.ended = std::string(day) + "T02:31:17+01:00";
        r.status = 0;
        r.bytes = 0;
        std::ofstream(r.archive, std::ios::binary);
        lines << pw::JournalLine(r);
      }
    }
  }
  ~TNights() { fs::remove_all(root_); }

  pw::TbkManager manager;
  std::string journal;

 private:
  fs::path root_;
};

const TNights& Nights() {
  static const TNights nights;
  return nights;
}

const pw::TKeepRules kRules{14, 7, 4, 12};

void BM_PruneDryRun(benchmark::State& state) {
  Nights();  // made before the clock runs
  size_t length = 0;
  for (auto _ : state) {
    length = pw::PrunePreviewText(Nights().manager, kRules, Nights().journal).size();
    benchmark::DoNotOptimize(length);
  }
  state.counters["runs"] = kRuns;
}

void BM_PlanPruneOfRecordsRead(benchmark::State& state) {
  const std::vector<pw::TJournalRecord> records = pw::ReadJournal(Nights().journal);
  for (auto _ : state) {
    benchmark::DoNotOptimize(pw::PlanPrune(Nights().manager, kRules, records).runs.size());
  }
  state.counters["records"] = static_cast<double>(records.size());
}

void BM_ReadJournal(benchmark::State& state) {
  Nights();
  for (auto _ : state) benchmark::DoNotOptimize(pw::ReadJournal(Nights().journal).size());
}

BENCHMARK(BM_PruneDryRun)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlanPruneOfRecordsRead)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadJournal)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
