// Writes a few valid settings streams into the folder given, as the fuzzer's
// starting points.
#include <cstdio>
#include <fstream>
#include <string>

#include "model/HoardkeeperClasses.h"
#include "platform/Streams.h"

namespace {

void Write(const std::string& folder, const std::string& name, pw::TbkManager& manager) {
  pw::TMemoryStream stream;
  manager.SaveToStream(stream, false);
  std::ofstream(folder + "/" + name, std::ios::binary) << stream.Bytes();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  pw::TbkManager empty;
  Write(folder, "empty.dat", empty);

  pw::TbkManager full;
  full.SetArchiverExeFileName("C:\\Program Files\\WinRAR\\WinRAR.exe");
  full.SetArchiverParams("a -r");
  full.SetExcludeKey("-x");
  full.SetSubDirNamePattern("yyyy-mm-dd");
  for (int i = 0; i < 3; ++i) {
    pw::TbkDirectory* d = full.Directories()->Add();
    d->SetPath("D:\\Work\\" + std::to_string(i));
    d->SetRuleName("Rule" + std::to_string(i));
    d->SetNeedArchive(i != 1);
    d->SetArchiveFileName(std::string(i * 150, 'n'));
  }
  for (int i = 0; i < 2; ++i) {
    pw::TbkRule* r = full.Rules()->Add();
    r->SetName("Rule" + std::to_string(i));
    r->SetCaption("Caption");
    r->SetCategory(i ? pw::ecInclude : pw::ecExclude);
    const int sizes[] = {0, -1, 300, 70000, -2147483647};
    for (int size : sizes) {
      pw::TbkExtension* e = r->Extensions()->Add();
      e->SetExt("*.e" + std::to_string(size));
      e->SetActive(size % 2 == 0);
      e->SetTotalSize(size);
      e->SetProgramCaption("Type");
    }
  }
  Write(folder, "full.dat", full);
  return 0;
}
