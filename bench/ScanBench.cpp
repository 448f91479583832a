// Scanning a large tree for masks, against `find TREE -type f` over the same
// tree in the same run. Both need only names and entry types. Usage:
//   scan_bench [FOLDER] [ROUNDS]
// The tree (200,000 files in 20,000 directories, 500 extensions in mixed
// letter case) is made in FOLDER once and reused.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archiver/DirectoryScan.h"
#include "bench/Figures.h"

namespace fs = std::filesystem;

namespace {

using pw::bench::Median;
using pw::bench::Seconds;

void MakeTree(const fs::path& root) {
  if (fs::exists(root / ".complete")) return;
  std::printf("making the tree in %s ...\n", root.c_str());
  fs::remove_all(root);
  std::mt19937 random(7);
  int files = 0;
  for (int top = 0; top < 20; ++top) {
    for (int sub = 0; sub < 1000; ++sub) {
      const fs::path dir = root / ("d" + std::to_string(top)) / ("s" + std::to_string(sub));
      fs::create_directories(dir);
      for (int k = 0; k < 10; ++k, ++files) {
        std::string ext = "x" + std::to_string(random() % 500);
        for (char& c : ext) {
          if (random() % 2) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        std::ofstream(dir / ("file" + std::to_string(files) + "." + ext));
      }
    }
  }
  std::ofstream(root / ".complete");
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::path("scan-tree");
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  MakeTree(root);
  const std::string find = "find '" + root.string() + "' -type f > /dev/null";
  if (std::system(find.c_str()) != 0) return 1;  // warms the cache

  std::vector<double> scans, finds;
  int masks = 0;
  long rssBefore = 0, rssAfter = 0;
  for (int i = 0; i < rounds; ++i) {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    if (i == 0) rssBefore = usage.ru_maxrss;
    auto start = std::chrono::steady_clock::now();
    pw::TbkExtensions list;
    pw::ScanDirectory(root.string(), &list);
    scans.push_back(Seconds(std::chrono::steady_clock::now() - start));
    masks = list.Count();
    getrusage(RUSAGE_SELF, &usage);
    rssAfter = usage.ru_maxrss;

    start = std::chrono::steady_clock::now();
    if (std::system(find.c_str()) != 0) return 1;
    finds.push_back(Seconds(std::chrono::steady_clock::now() - start));
  }
  const double scan = Median(scans), found = Median(finds);
  std::printf("rounds %d, masks %d\n", rounds, masks);
  std::printf("ScanDirectory median %.1f ms\n", scan * 1000);
  std::printf("find -type f  median %.1f ms\n", found * 1000);
  std::printf("ratio %.2f\n", scan / found);
  std::printf("peak memory %ld KiB before the first scan, %ld KiB after the last\n", rssBefore,
              rssAfter);
  return 0;
}
