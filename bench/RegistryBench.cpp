// Reading a registry file made of one value continued over many lines, at
// doubling sizes: the time should double with the file, and the fitted
// complexity should come out as N. The smallest size is the baseline.
//
// Looking up an archiver in the registry file as it stands (a check of the
// file, then the lookup) against the same lookup in the file read once, the
// baseline.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/RegistryFile.h"

namespace {

std::string Continued(int64_t lines) {
  std::string text = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\.x]\n@=hex(2):";
  for (int64_t i = 0; i < lines; ++i) text += "41,\\\n";
  return text + "00\n";
}

void BM_ParseContinuations(benchmark::State& state) {
  const std::string text = Continued(state.range(0));
  for (auto _ : state) {
    pw::TRegistryFile registry = pw::TRegistryFile::Parse(text);
    benchmark::DoNotOptimize(registry);
  }
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_ParseContinuations)
    ->RangeMultiplier(2)
    ->Range(1 << 18, 1 << 21)
    ->Repetitions(5)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

const char kRegistry[] =
    "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
    "Paths\\WinRAR.exe]\n@=\"/usr/bin/rar\"\n";
const char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WinRAR.exe";

std::string RegistryFileName() {
  static const std::string name = [] {
    const auto file = std::filesystem::temp_directory_path() /
                      ("pw-bench-" + std::to_string(::getpid()) + ".reg");
    std::ofstream(file, std::ios::binary) << kRegistry;
    return file.string();
  }();
  return name;
}

void BM_LookupReadOnce(benchmark::State& state) {
  pw::TRegistryFile registry = pw::TRegistryFile::Load(RegistryFileName());
  for (auto _ : state)
    benchmark::DoNotOptimize(registry.OpenKey(pw::TRegistryRoot::rrLocalMachine, kKey));
}

void BM_LookupLive(benchmark::State& state) {
  pw::TLiveRegistryFile registry(RegistryFileName());
  for (auto _ : state)
    benchmark::DoNotOptimize(registry.OpenKey(pw::TRegistryRoot::rrLocalMachine, kKey));
}

BENCHMARK(BM_LookupReadOnce)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_LookupLive)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
