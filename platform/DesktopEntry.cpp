#include "platform/DesktopEntry.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pw {

namespace {

// Splits an Exec value at blanks, honouring double quotes and backslash escapes.
std::vector<std::string> SplitExec(const std::string& exec) {
  std::vector<std::string> words;
  std::string current;
  bool quoted = false, inWord = false;
  for (size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted && c == '\\' && i + 1 < exec.size()) {
      current += exec[++i];
    } else if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inWord) words.push_back(current);
      current.clear();
      inWord = false;
    } else {
      current += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(current);
  return words;
}

std::vector<std::string> DataDirectories() {
  std::vector<std::string> dirs;
  const char* home = std::getenv("XDG_DATA_HOME");
  const char* user = std::getenv("HOME");
  if (home && *home) {
    dirs.push_back(home);
  } else if (user && *user) {
    dirs.push_back(std::string(user) + "/.local/share");
  }
  const char* system = std::getenv("XDG_DATA_DIRS");
  std::stringstream list(system && *system ? system : "/usr/local/share:/usr/share");
  for (std::string dir; std::getline(list, dir, ':');) {
    if (!dir.empty()) dirs.push_back(dir);
  }
  return dirs;
}

}  // namespace

std::vector<std::string> DesktopEntryCommand(const std::string& exec, const std::string& file) {
  std::vector<std::string> command;
  bool placed = false;
  for (const std::string& word : SplitExec(exec)) {
    if (word == "%f" || word == "%F" || word == "%u" || word == "%U") {
      command.push_back(file);
      placed = true;
    } else if (word.size() == 2 && word[0] == '%' && word[1] != '%') {
      continue;  // %i, %c, %k and the deprecated codes carry nothing we use
    } else {
      std::string literal;
      for (size_t i = 0; i < word.size(); ++i) {
        literal += word[i];
        if (word[i] == '%' && i + 1 < word.size() && word[i + 1] == '%') ++i;
      }
      command.push_back(literal);
    }
  }
  if (!placed && !command.empty()) command.push_back(file);
  return command;
}

std::optional<std::string> FindDesktopEntryExec(const std::string& id) {
  if (id.empty() || id.find('/') != std::string::npos) return std::nullopt;
  for (const std::string& dir : DataDirectories()) {
    std::ifstream in(dir + "/applications/" + id);
    if (!in) continue;
    bool inEntry = false;
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line[0] == '[') inEntry = line == "[Desktop Entry]";
      if (inEntry && line.rfind("Exec=", 0) == 0) return line.substr(5);
    }
  }
  return std::nullopt;
}

}  // namespace pw
