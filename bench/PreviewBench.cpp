// The preview of a job over a large tree, against
// `find TREE -type f -printf '%s %p\n'` and `bfs` with the same arguments
// (when it is installed) over the same tree in the same rounds: each needs
// every file's name and size. Usage:
//   preview_bench [FOLDER] [ROUNDS]
// The tree (200,000 files in 20,000 directories, a few dozen extensions in
// mixed letter case, sizes up to 4 KiB) is made in FOLDER once and reused.
// Three jobs are timed: no rule (every file), an including rule of three
// masks and an excluding rule of three masks; and, for reference, the plain
// walk of std::filesystem that lists every file with its size.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiveJob.h"
#include "archiver/NightPlan.h"
#include "archiver/Preview.h"
#include "bench/Figures.h"
#include "model/HoardkeeperClasses.h"

namespace fs = std::filesystem;

namespace {

using pw::bench::Median;
using pw::bench::Seconds;

void MakeTree(const fs::path& root) {
  if (fs::exists(root / ".complete")) return;
  std::printf("making the tree in %s ...\n", root.c_str());
  fs::remove_all(root);
  std::mt19937 random(11);
  const char* const extensions[] = {"txt", "TXT", "doc", "log", "tmp",  "c",   "h",   "cpp", "o",
                                    "jpg", "JPG", "png", "md",  "json", "xml", "bak", ""};
  int files = 0;
  for (int top = 0; top < 20; ++top) {
    for (int sub = 0; sub < 1000; ++sub) {
      const fs::path dir = root / ("d" + std::to_string(top)) / ("s" + std::to_string(sub));
      fs::create_directories(dir);
      for (int k = 0; k < 10; ++k, ++files) {
        const std::string ext = extensions[random() % std::size(extensions)];
        std::ofstream out(dir / ("file" + std::to_string(files) + (ext.empty() ? "" : ".") + ext));
        out << std::string(random() % 4096, 'x');
      }
    }
  }
  std::ofstream(root / ".complete");
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path root = fs::absolute(argc > 1 ? fs::path(argv[1]) : fs::path("preview-tree"));
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  MakeTree(root);
  const std::string find = "find '" + root.string() + "' -type f -printf '%s %p\\n' > /dev/null";
  if (std::system(find.c_str()) != 0) return 1;  // warms the cache
  const bool haveBfs = std::system("command -v bfs > /dev/null 2>&1") == 0;
  const std::string bfs = "bfs '" + root.string() + "' -type f -printf '%s %p\\n' > /dev/null";

  pw::TbkManager m;
  m.SetArchiverExeFileName("/usr/bin/7zz");
  m.SetArchiverParams("a -r");
  m.SetExcludeKey("-x!");
  m.SetOutputPath("/tmp/preview-bench-out");
  m.SetSubDirNamePattern("");
  const auto rule = [&](const char* name, pw::TExtensionCategory category) {
    pw::TbkRule* r = m.Rules()->Add();
    r->SetName(name);
    r->SetCategory(category);
    for (const char* mask : {"*.txt", "*.doc", "*.c"}) r->Extensions()->Add()->SetExt(mask);
  };
  rule("Some", pw::ecInclude);
  rule("AllBut", pw::ecExclude);
  pw::TbkDirectory* d = m.Directories()->Add();
  d->SetPath(root.string());

  struct Case {
    const char* rule;
    std::vector<double> times;
    int64_t files = 0, bytes = 0;
  };
  std::vector<Case> cases(3);
  cases[0].rule = "", cases[1].rule = "Some", cases[2].rule = "AllBut";
  std::vector<double> finds, bfses, plain;
  int64_t plainFiles = 0;
  for (int i = 0; i < rounds; ++i) {
    {
      const auto start = std::chrono::steady_clock::now();
      std::vector<std::pair<std::string, uintmax_t>> listed;
      for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) listed.emplace_back(e.path().string(), e.file_size());
      }
      plain.push_back(Seconds(std::chrono::steady_clock::now() - start));
      plainFiles = static_cast<int64_t>(listed.size());
    }
    for (Case& c : cases) {
      d->SetRuleName(c.rule);
      const auto start = std::chrono::steady_clock::now();
      const pw::TPreview p = pw::Preview(
          pw::MakePreviewRequest(m, pw::JobOfDirectory(m, *d, pw::GetArchiveDirectory(m, false))));
      c.times.push_back(Seconds(std::chrono::steady_clock::now() - start));
      c.files = p.totalFiles;
      c.bytes = p.totalBytes;
    }
    const auto start = std::chrono::steady_clock::now();
    if (std::system(find.c_str()) != 0) return 1;
    finds.push_back(Seconds(std::chrono::steady_clock::now() - start));
    if (haveBfs) {
      const auto begin = std::chrono::steady_clock::now();
      if (std::system(bfs.c_str()) != 0) return 1;
      bfses.push_back(Seconds(std::chrono::steady_clock::now() - begin));
    }
  }
  const double found = Median(finds);
  std::printf("rounds %d\n", rounds);
  std::printf("find -printf '%%s %%p'   median %7.1f ms\n", found * 1000);
  const double bfsTime = haveBfs ? Median(bfses) : 0;
  if (haveBfs) {
    std::printf("bfs, the same           median %7.1f ms  ratio %.2f\n", bfsTime * 1000,
                bfsTime / found);
  } else {
    std::printf("bfs is not installed: no second peer\n");
  }
  std::printf("std::filesystem walk    median %7.1f ms  ratio %.2f  (%lld files)\n",
              Median(plain) * 1000, Median(plain) / found, static_cast<long long>(plainFiles));
  for (const Case& c : cases) {
    const double t = Median(c.times);
    std::printf("preview, rule %-7s median %7.1f ms  ratio %.2f", *c.rule ? c.rule : "none",
                t * 1000, t / found);
    if (haveBfs) std::printf(", to bfs %.2f", t / bfsTime);
    std::printf("  (%lld files, %lld bytes)\n", static_cast<long long>(c.files),
                static_cast<long long>(c.bytes));
  }
  return 0;
}
