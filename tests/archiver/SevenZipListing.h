// Reading what "7zz l -slt" says an archive holds, as verify reads it.
#pragma once

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archiver/ArchiveTest.h"

namespace pw::test {

// The files (not the folders) in the technical listing "7zz l -slt" prints.
inline std::set<std::string> ListedFiles(const std::string& slt) {
  std::vector<std::string> lines;
  std::istringstream in(slt);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::set<std::string> files;
  for (const TListedEntry& entry : SevenZipListing(lines)) {
    if (!entry.folder) files.insert(entry.path);
  }
  return files;
}

}  // namespace pw::test
