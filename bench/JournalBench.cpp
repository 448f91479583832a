// Reading a journal of a million records, written once per run into the
// temporary folder (about 230 MB), against two baselines in the same run:
// reading the file's bytes alone, the least any reader must do, and handing
// every line to the JSON library, which is what the journal's quick reading
// of its own line layout spares. The file is in the page cache after the
// first round, so the figures are the readers', not the disk's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "archiver/Journal.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 1'000'000;

// A year of nightly runs over a few thousand directories: mostly successes,
// some failed and some that could not start.
pw::TJournalRecord Record(int i) {
  pw::TJournalRecord r;
  const int directory = i % 2700;
  r.directory =
      "/srv/projects/team" + std::to_string(directory % 40) + "/src" + std::to_string(directory);
  r.position = directory + 1;
  r.archive = "/backup/archives/2026-12-08/srv_projects_team" + std::to_string(directory % 40) +
              "_src" + std::to_string(directory) + ".7z";
  r.started = "2026-12-08T02:30:00+01:00";
  if (i % 50 == 7) {
    r.error = "Cannot start /usr/bin/7z: No such file or directory";
    return r;
  }
  r.ended = "2026-12-08T02:31:17+01:00";
  r.status = i % 50 == 9 ? 2 : 0;
  if (r.status == 0) r.bytes = 1000 + static_cast<int64_t>(i) * 7919 % 5'000'000'000;
  return r;
}

class TJournalFile {
 public:
  TJournalFile()
      : path_(fs::temp_directory_path() /
              ("pw-journal-bench-" + std::to_string(::getpid()) + ".journal")) {
    std::ofstream out(path_, std::ios::binary);
    for (int i = 0; i < kRecords; ++i) out << pw::JournalLine(Record(i));
    size_ = static_cast<int64_t>(out.tellp());
  }
  ~TJournalFile() { fs::remove(path_); }

  std::string Name() const { return path_.string(); }
  int64_t Size() const { return size_; }

 private:
  fs::path path_;
  int64_t size_ = 0;
};

const TJournalFile& Journal() {
  static const TJournalFile file;
  return file;
}

std::string FileBytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::string bytes(static_cast<size_t>(fs::file_size(name)), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void BM_ReadFileBytes(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(FileBytes(Journal().Name()).size());
  state.SetBytesProcessed(state.iterations() * Journal().Size());
}

void BM_ReadJournal(benchmark::State& state) {
  size_t records = 0;
  for (auto _ : state) {
    std::vector<pw::TJournalRecord> read = pw::ReadJournal(Journal().Name());
    records = read.size();
    // Giving the records back is the caller's business, not the reading's.
    state.PauseTiming();
    read = {};
    state.ResumeTiming();
  }
  state.counters["records"] = static_cast<double>(records);
  state.SetBytesProcessed(state.iterations() * Journal().Size());
}

// What `history` does: every record passes, few are kept.
void BM_ForEachJournalRecord(benchmark::State& state) {
  for (auto _ : state) {
    size_t records = 0;
    pw::ForEachJournalRecord(Journal().Name(),
                             [&](pw::TJournalRecord&, std::string_view) { ++records; });
    benchmark::DoNotOptimize(records);
  }
  state.SetBytesProcessed(state.iterations() * Journal().Size());
}

void BM_ParseEveryLineWithTheLibrary(benchmark::State& state) {
  for (auto _ : state) {
    const std::string text = FileBytes(Journal().Name());
    size_t objects = 0;
    for (size_t start = 0, at; (at = text.find('\n', start)) != std::string::npos; start = at + 1) {
      objects +=
          nlohmann::json::parse(text.begin() + static_cast<std::ptrdiff_t>(start),
                                text.begin() + static_cast<std::ptrdiff_t>(at), nullptr, false)
              .is_object();
    }
    benchmark::DoNotOptimize(objects);
  }
  state.SetBytesProcessed(state.iterations() * Journal().Size());
}

BENCHMARK(BM_ReadFileBytes)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadJournal)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ForEachJournalRecord)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseEveryLineWithTheLibrary)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
