// The reference document of the benchmarks: directories that name rules of
// 50 masks each, as a large real settings file would hold them.
#pragma once

#include <string>

#include "model/HoardkeeperClasses.h"

namespace pw::bench {

inline void SetReferenceOptions(TbkManager& m) {
  m.SetArchiverExeFileName("C:\\Program Files\\WinRAR\\WinRAR.exe");
  m.SetArchiverParams("a -r");
  m.SetExcludeKey("-x");
}

// Rules "Rule0" ... of alternating category, each with 50 masks.
inline void AddReferenceRules(TbkManager& m, int rules) {
  for (int i = 0; i < rules; ++i) {
    TbkRule* r = m.Rules()->Add();
    r->SetName("Rule" + std::to_string(i));
    r->SetCategory(i % 2 ? ecInclude : ecExclude);
    for (int k = 0; k < 50; ++k) {
      TbkExtension* e = r->Extensions()->Add();
      e->SetExt("*.e" + std::to_string(k));
      e->SetActive(k % 4 != 0);
      e->SetTotalSize(k * 1000);
      e->SetProgramCaption("File type " + std::to_string(k));
    }
  }
}

// Directories that name the rules in turn; two in three are marked.
inline void AddReferenceDirectories(TbkManager& m, int directories, int rules) {
  for (int i = 0; i < directories; ++i) {
    TbkDirectory* d = m.Directories()->Add();
    d->SetRuleName("Rule" + std::to_string(i % rules));
    d->SetPath("D:\\Projects\\Customer" + std::to_string(i) + "\\Documents");
    d->SetArchiveFileName("Customer" + std::to_string(i));
    d->SetNeedArchive(i % 3 != 0);
  }
}

}  // namespace pw::bench
