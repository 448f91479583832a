// "Run All and Wait" with the real 7-Zip: 20 directories of compressible text
// (a few MB each) archived through the pool with as many archivers at once as
// there are cores, against all 20 at once and against one at a time, in one
// run, each mode several times in turn. Reports the total time and the peak
// memory of all archivers together (the resident sizes of our 7zz children
// summed, sampled from /proc every 50 ms), medians over the rounds. Every
// mode has each new archive tested (7zz t) as a run does; the pool runs once
// more without the tests, and the last line gives the tests' share of the
// night's time. Usage:
//   pool_bench [FOLDER] [ROUNDS] [MB_PER_DIRECTORY]
// The trees are made in FOLDER (default /tmp/pw-pool-bench) once and reused.
// Each line also gives the archivers' processor time and the machine's load:
// on a machine that others keep busy, many archivers at once win a larger
// share of the processors from them and the times measure that instead. Run
// it there in a session of its own that the scheduler prefers, e.g.
//   setsid sh -c 'echo -15 > /proc/self/autogroup; exec nice -n -15 pool_bench'
// (as root), or on an idle machine.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJob.h"
#include "archiver/ArchiverDetection.h"
#include "archiver/JobPool.h"
#include "archiver/NightPlan.h"
#include "bench/Figures.h"
#include "model/HoardkeeperClasses.h"

namespace fs = std::filesystem;

namespace {

using pw::bench::Median;
using pw::bench::Seconds;

constexpr int kDirectories = 20;
std::FILE* out = stdout;  // the figures

// Text of words drawn from a vocabulary, which 7-Zip packs to a fraction of
// its size at a speed like that of ordinary documents and sources.
void MakeTrees(const fs::path& root, int megabytes) {
  const fs::path done = root / (".complete-" + std::to_string(megabytes));
  if (fs::exists(done)) return;
  std::fprintf(out, "making %d directories of %d MB in %s ...\n", kDirectories, megabytes,
               root.c_str());
  fs::remove_all(root);
  std::mt19937 random(11);
  std::vector<std::string> words;
  for (int i = 0; i < 5000; ++i) {
    std::string word;
    const int length = 2 + static_cast<int>(random() % 9);
    for (int k = 0; k < length; ++k) word += static_cast<char>('a' + random() % 26);
    words.push_back(word);
  }
  std::geometric_distribution<int> pick(0.002);  // common words come often
  for (int d = 0; d < kDirectories; ++d) {
    for (int f = 0; f < 4; ++f) {
      const fs::path file = root / ("dir" + std::to_string(d)) / ("part" + std::to_string(f % 2)) /
                            ("file" + std::to_string(f) + ".txt");
      fs::create_directories(file.parent_path());
      std::string text;
      const size_t size = static_cast<size_t>(megabytes) * 1024 * 1024 / 4;
      text.reserve(size + 64);
      int column = 0;
      while (text.size() < size) {
        const std::string& word = words[static_cast<size_t>(pick(random)) % words.size()];
        text += word;
        column += static_cast<int>(word.size()) + 1;
        if (column > 72) {
          text += '\n';
          column = 0;
        } else {
          text += ' ';
        }
      }
      std::ofstream(file, std::ios::binary) << text;
    }
  }
  std::ofstream(done) << "";
}

// The summed resident size of our 7zz children and how many there are, now.
std::pair<long long, int> ArchiversNow() {
  static const long page = ::sysconf(_SC_PAGESIZE);
  const pid_t self = ::getpid();
  long long bytes = 0;
  int count = 0;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    if (line.substr(open + 1, close - open - 1) != "7zz") continue;
    char state;
    long parent = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) != 2 || parent != self) {
      continue;
    }
    std::ifstream statm(entry.path() / "statm");
    long long size = 0, resident = 0;
    if (statm >> size >> resident) {
      bytes += resident * page;
      ++count;
    }
  }
  return {bytes, count};
}

double ChildrenCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct TFigures {
  double seconds = 0;
  double cpuSeconds = 0;  // of the archivers, user and system
  long long peakBytes = 0;
  int peakArchivers = 0;
  int failed = 0;
};

TFigures RunOnce(const pw::TbkManager& manager, int jobsAtOnce, bool tested) {
  std::vector<pw::TArchiveJob> jobs =
      pw::MakeArchiveJobs(manager, pw::GetArchiveDirectory(manager, false));
  for (pw::TArchiveJob& job : jobs) {
    fs::remove(job.archiveFile);
    job.testArchive = tested;
  }
  TFigures figures;
  std::atomic<bool> done{false};
  std::thread sampler([&] {
    while (!done.load()) {
      const auto [bytes, count] = ArchiversNow();
      figures.peakBytes = std::max(figures.peakBytes, bytes);
      figures.peakArchivers = std::max(figures.peakArchivers, count);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  std::atomic<int> failed{0};
  pw::TPoolEvents events;
  events.ended = [&](size_t, const std::string&, const pw::TJobOutcome& outcome) {
    if (!outcome.Succeeded()) ++failed;
  };
  const double cpuBefore = ChildrenCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  pw::TJobPool pool(jobs, jobsAtOnce);
  pool.Run(events);
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.cpuSeconds = ChildrenCpuSeconds() - cpuBefore;
  done = true;
  sampler.join();
  figures.failed = failed.load();
  return figures;
}

// The system's load average over the last minute: other work on the machine
// skews the figures.
std::string Load() {
  std::ifstream in("/proc/loadavg");
  std::string one;
  in >> one;
  // And how much of the last ten seconds some task waited for a processor.
  std::ifstream pressure("/proc/pressure/cpu");
  std::string some, average;
  if (pressure >> some >> average && average.rfind("avg10=", 0) == 0) {
    one += ", CPU pressure " + average.substr(6) + "%";
  }
  return one;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::path("/tmp/pw-pool-bench");
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const int megabytes = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;
  // The archivers' chatter goes nowhere; the figures go where stdout went.
  std::fflush(stdout);
  const int figuresOut = ::dup(1);
  const int null = ::open("/dev/null", O_WRONLY);
  if (figuresOut < 0 || null < 0 || ::dup2(null, 1) < 0) return 1;
  ::close(null);
  out = ::fdopen(figuresOut, "w");
  if (!out) return 1;
  pw::TbkManager manager;
  if (!pw::Apply7ZipOptions(manager)) {
    std::fprintf(stderr, "pool_bench: 7-Zip (7zz) is not installed\n");
    return 1;
  }
  MakeTrees(root / "trees", megabytes);
  manager.SetOutputPath((root / "out").string());
  manager.SetSubDirNamePattern("");
  for (int d = 0; d < kDirectories; ++d) {
    manager.Directories()->Add()->SetPath((root / "trees" / ("dir" + std::to_string(d))).string());
  }
  const int cores = pw::DefaultJobsAtOnce();
  struct TMode {
    std::string name;
    int jobs;
    bool tested;
  };
  const std::vector<TMode> modes = {
      {"pool (jobs = cores = " + std::to_string(cores) + ")", cores, true},
      {"pool, archives not tested", cores, false},
      {"all at once (jobs = 20)", kDirectories, true},
      {"one at a time (jobs = 1)", 1, true}};
  std::map<size_t, std::vector<TFigures>> results;
  std::fprintf(out, "%s, %d directories of %d MB, %d rounds\n",
               manager.ArchiverExeFileName().c_str(), kDirectories, megabytes, rounds);
  for (int round = 0; round < rounds; ++round) {
    // Each round takes the modes in another order, so that none always
    // comes first onto a cold cache.
    for (size_t m = 0; m < modes.size(); ++m) {
      const size_t at = (m + static_cast<size_t>(round)) % modes.size();
      const TMode& mode = modes[at];
      const TFigures f = RunOnce(manager, mode.jobs, mode.tested);
      std::fprintf(out,
                   "  round %d  %-32s %7.2f s  peak %7.1f MB  %2d archivers at once  "
                   "%6.1f s of CPU (%.0f%%)  load %s%s\n",
                   round + 1, mode.name.c_str(), f.seconds, f.peakBytes / 1048576.0,
                   f.peakArchivers, f.cpuSeconds, 100 * f.cpuSeconds / f.seconds, Load().c_str(),
                   f.failed ? "  (FAILED JOBS)" : "");
      std::fflush(out);
      results[at].push_back(f);
    }
  }
  std::fprintf(out, "\nmedians over %d rounds:\n", rounds);
  std::vector<double> medians, cpuMedians;
  for (size_t at = 0; at < modes.size(); ++at) {
    std::vector<double> seconds, cpu;
    std::vector<long long> peaks;
    int archivers = 0;
    for (const TFigures& f : results[at]) {
      seconds.push_back(f.seconds);
      cpu.push_back(f.cpuSeconds);
      peaks.push_back(f.peakBytes);
      archivers = std::max(archivers, f.peakArchivers);
    }
    medians.push_back(Median(seconds));
    cpuMedians.push_back(Median(cpu));
    std::fprintf(out,
                 "  %-32s %7.2f s  %6.1f s of CPU  peak %7.1f MB  at most %d archivers seen at "
                 "once\n",
                 modes[at].name.c_str(), medians.back(), cpuMedians.back(),
                 Median(peaks) / 1048576.0, archivers);
  }
  // The processor time is the steadier figure where others share the machine.
  std::fprintf(out,
               "  the tests' share of the pool's night: %.1f%% of the time (%.2f s of %.2f s), "
               "%.1f%% of the archivers' processor time (%.1f s of %.1f s)\n",
               100 * (medians[0] - medians[1]) / medians[0], medians[0] - medians[1], medians[0],
               100 * (cpuMedians[0] - cpuMedians[1]) / cpuMedians[0],
               cpuMedians[0] - cpuMedians[1], cpuMedians[0]);
  return 0;
}
