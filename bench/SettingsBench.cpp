// Saving and loading a large settings document, at several sizes to show how
// the cost grows. The reference size is 10,000 directories and 1,000 rules of
// 50 masks each; the argument scales it in percent.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench/ReferenceDocument.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Streams.h"

namespace {

void Fill(pw::TbkManager& m, int percent) {
  const int rules = 1000 * percent / 100;
  pw::bench::SetReferenceOptions(m);
  pw::bench::AddReferenceDirectories(m, 10000 * percent / 100, rules);
  pw::bench::AddReferenceRules(m, rules);
}

void BM_Save(benchmark::State& state) {
  pw::TbkManager manager;
  Fill(manager, static_cast<int>(state.range(0)));
  // One stream for all rounds, so that its memory is grown once and the
  // figure is the writer's, not the allocator's.
  pw::TMemoryStream stream;
  size_t bytes = 0;
  for (auto _ : state) {
    stream.SetPosition(0);
    manager.SaveToStream(stream, true);
    bytes = static_cast<size_t>(stream.Position());
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// Each round reads into a fresh manager; making and freeing it is not timed.
// With buildMasks every rule's masks are asked for too, as a save or an
// export does: the whole cost of a document that is used in full.
void LoadRounds(benchmark::State& state, bool buildMasks) {
  pw::TbkManager source;
  Fill(source, static_cast<int>(state.range(0)));
  pw::TMemoryStream saved;
  source.SaveToStream(saved, false);
  auto manager = std::make_unique<pw::TbkManager>();
  for (auto _ : state) {
    saved.SetPosition(0);
    manager->LoadFromStream(saved);
    int masks = 0;
    for (int i = 0; buildMasks && i < manager->Rules()->Count(); ++i) {
      masks += manager->Rules()->Items(i)->Extensions()->Count();
    }
    benchmark::DoNotOptimize(masks + manager->Rules()->Count());
    state.PauseTiming();
    manager = std::make_unique<pw::TbkManager>();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * saved.Bytes().size()));
}

void BM_Load(benchmark::State& state) {
  LoadRounds(state, false);
}

void BM_LoadAndBuildMasks(benchmark::State& state) {
  LoadRounds(state, true);
}

// The whole save as the program does it: a temporary file beside the target,
// forced to disk, then renamed over it.
void BM_SaveToFile(benchmark::State& state) {
  pw::TbkManager manager;
  Fill(manager, static_cast<int>(state.range(0)));
  const std::string name = "settings_bench.dat";
  for (auto _ : state) manager.SaveToFile(name, true);
  std::remove(name.c_str());
}

BENCHMARK(BM_Save)->Arg(25)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Arg(25)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndBuildMasks)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveToFile)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
