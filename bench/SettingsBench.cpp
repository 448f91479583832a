// Saving and loading a large settings document, at several sizes to show how
// the cost grows. The reference size is 10,000 directories and 1,000 rules of
// 50 masks each; the argument scales it in percent.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "model/HoardkeeperClasses.h"
#include "platform/Streams.h"

namespace {

void Fill(pw::TbkManager& m, int percent) {
  m.SetArchiverExeFileName("C:\\Program Files\\WinRAR\\WinRAR.exe");
  m.SetArchiverParams("a -r");
  m.SetExcludeKey("-x");
  const int directories = 10000 * percent / 100;
  const int rules = 1000 * percent / 100;
  for (int i = 0; i < directories; ++i) {
    pw::TbkDirectory* d = m.Directories()->Add();
    d->SetRuleName("Rule" + std::to_string(i % rules));
    d->SetPath("D:\\Projects\\Customer" + std::to_string(i) + "\\Documents");
    d->SetArchiveFileName("Customer" + std::to_string(i));
    d->SetNeedArchive(i % 3 != 0);
  }
  for (int i = 0; i < rules; ++i) {
    pw::TbkRule* r = m.Rules()->Add();
    r->SetName("Rule" + std::to_string(i));
    r->SetCategory(i % 2 ? pw::ecInclude : pw::ecExclude);
    for (int k = 0; k < 50; ++k) {
      pw::TbkExtension* e = r->Extensions()->Add();
      e->SetExt("*.e" + std::to_string(k));
      e->SetActive(k % 4 != 0);
      e->SetTotalSize(k * 1000);
      e->SetProgramCaption("File type " + std::to_string(k));
    }
  }
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

void BM_Load(benchmark::State& state) {
  pw::TbkManager source;
  Fill(source, static_cast<int>(state.range(0)));
  pw::TMemoryStream saved;
  source.SaveToStream(saved, false);
  // Each round reads into a fresh manager; making and freeing it is not timed.
  auto manager = std::make_unique<pw::TbkManager>();
  for (auto _ : state) {
    saved.SetPosition(0);
    manager->LoadFromStream(saved);
    benchmark::DoNotOptimize(manager->Rules()->Count());
    state.PauseTiming();
    manager = std::make_unique<pw::TbkManager>();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * saved.Bytes().size()));
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
BENCHMARK(BM_SaveToFile)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
