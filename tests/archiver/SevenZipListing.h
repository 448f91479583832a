// Reading what "7zz l -slt" says an archive holds.
#pragma once

#include <set>
#include <sstream>
#include <string>

namespace pw::test {

// The files (not the folders) in the technical listing "7zz l -slt" prints.
inline std::set<std::string> ListedFiles(const std::string& slt) {
  std::set<std::string> files;
  std::string path;
  bool entries = false;
  std::istringstream lines(slt);
  for (std::string line; std::getline(lines, line);) {
    if (line == "----------") entries = true;
    if (!entries) continue;
    if (line.rfind("Path = ", 0) == 0) path = line.substr(7);
    if (line.rfind("Attributes = ", 0) == 0 && line.substr(13, 1) != "D") files.insert(path);
  }
  return files;
}

}  // namespace pw::test
