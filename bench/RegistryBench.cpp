// Reading a registry file made of one value continued over many lines, at
// doubling sizes: the time should double with the file, and the fitted
// complexity should come out as N. The smallest size is the baseline.
#include <benchmark/benchmark.h>

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

}  // namespace

BENCHMARK_MAIN();
