#include "archiver/PosixScripts.h"

#include "archiver/ArchiveCommands.h"
#include "platform/Errors.h"

namespace pw {

namespace {

// Characters that make the shell do something other than pass the word on:
// split it, expand it, redirect, end the command or start a comment.
bool IsShellSpecial(unsigned char c) {
  static const std::string kSpecial = " \t\n'\"$`\\*?[]&;|<>()#~{}=";
  return c < 0x20 || c == 0x7F || kSpecial.find(static_cast<char>(c)) != std::string::npos;
}

std::string WithoutTrailingSlash(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path.substr(0, path.size() - 1);
  return path;
}

std::string Join(const std::vector<std::string>& pieces) {
  std::string text;
  for (const std::string& piece : pieces) {
    if (piece.empty()) continue;
    if (!text.empty()) text += ' ';
    text += piece;
  }
  return text;
}

std::vector<std::string> QuotedAll(const std::vector<std::string>& words) {
  std::vector<std::string> quoted;
  for (const std::string& word : words) quoted.push_back(QuotePosixWord(word));
  return quoted;
}

void Append(std::vector<std::string>& to, std::vector<std::string> words) {
  for (std::string& word : words) to.push_back(std::move(word));
}

std::vector<std::string> SplitAtLineFeeds(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1) {
    lines.push_back(text.substr(start, at - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

}  // namespace

std::string QuotePosixWord(const std::string& word) {
  bool plain = !word.empty();
  for (const char c : word) plain = plain && !IsShellSpecial(static_cast<unsigned char>(c));
  if (plain) return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::vector<std::string> SplitPosixWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '\'') {
      const size_t end = text.find('\'', i + 1);
      word += text.substr(i + 1, end == std::string::npos ? end : end - i - 1);
      i = end == std::string::npos ? text.size() : end;
    } else if (c == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        // Inside double quotes a backslash only escapes what would otherwise
        // be special there.
        if (text[i] == '\\' && i + 1 < text.size() &&
            std::string("$`\"\\\n").find(text[i + 1]) != std::string::npos) {
          ++i;
          if (text[i] == '\n') continue;
        }
        word += text[i];
      }
    } else if (c == '\\' && i + 1 < text.size()) {
      ++i;
      if (text[i] != '\n') word += text[i];
    } else {
      word += c;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::string PosixFlatName(const std::string& path) {
  std::string name = path.size() > 0 && path[0] == '/' ? path.substr(1) : path;
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name.empty() ? "_" : name;
}

std::vector<std::string> GetPosixMaskWords(const TbkManager& manager, const TbkDirectory& directory,
                                           TExtensionCategory category) {
  std::vector<std::string> words;
  const std::string base = WithoutTrailingSlash(directory.Path()) + "/";
  const TbkRule* rule = FindRule(directory.RuleName(), manager.Rules());
  if (rule && rule->Category() == category) {
    const std::string key = category == ecExclude ? manager.ExcludeKey() : "";
    const TbkExtensions& masks = *rule->Extensions();
    for (int i = 0; i < masks.Count(); ++i) {
      const TbkExtension& mask = *masks.Items(i);
      if (mask.Active()) words.push_back(key + base + mask.Ext());
    }
  }
  // "*" rather than "*.*", which would leave out every file without a dot.
  if (words.empty() && category == ecInclude) words.push_back(base + "*");
  return words;
}

std::vector<std::string> GetPosixArchiverArguments(const TbkManager& manager,
                                                   const TbkDirectory& directory,
                                                   bool forceCreate) {
  std::vector<std::string> words = SplitPosixWords(manager.ArchiverParams());
  Append(words, GetPosixMaskWords(manager, directory, ecExclude));
  words.push_back(GetArchiveFilePath(manager, directory, forceCreate));
  Append(words, GetPosixMaskWords(manager, directory, ecInclude));
  return words;
}

std::string GetPosixArchiverParameters(const TbkManager& manager, const TbkDirectory& directory,
                                       bool forceCreate) {
  const std::string excluded = Join(QuotedAll(GetPosixMaskWords(manager, directory, ecExclude)));
  const std::string archive = QuotePosixWord(GetArchiveFilePath(manager, directory, forceCreate));
  const std::string included = Join(QuotedAll(GetPosixMaskWords(manager, directory, ecInclude)));
  return Join({manager.ArchiverParams(), excluded, archive, included});
}

std::string GetPosixChangeDirCommands(const std::string& path) {
  if (path.empty()) return {};
  return "cd " + QuotePosixWord(path) + "\n";
}

std::string GetPosixCommandText(const TbkManager& manager, const TbkDirectory& directory) {
  return GetPosixChangeDirCommands(directory.Path()) +
         Join({QuotePosixWord(manager.ArchiverExeFileName()),
               GetPosixArchiverParameters(manager, directory, false)});
}

std::vector<std::string> GetPosixScriptLines(const TbkManager& manager,
                                             const TbkDirectory& directory) {
  std::vector<std::string> lines = {"#!/bin/sh"};
  Append(lines, SplitAtLineFeeds(GetPosixCommandText(manager, directory)));
  return lines;
}

std::vector<std::string> GetPosixScriptLinesForAll(const TbkManager& manager,
                                                   bool includeUnmarked) {
  const TbkDirectories& directories = *manager.Directories();
  if (directories.Count() == 0) throw Exception("Not found any directory to archive");
  std::vector<std::string> lines = {"#!/bin/sh"};
  for (int i = 0; i < directories.Count(); ++i) {
    const TbkDirectory& d = *directories.Items(i);
    if (!d.NeedArchive() && !includeUnmarked) continue;
    // A line end in a path would end the comment and run the rest.
    std::string path = d.Path(), rule = d.RuleName();
    for (std::string* text : {&path, &rule}) {
      for (char& c : *text) {
        if (c == '\n' || c == '\r') c = ' ';
      }
    }
    lines.push_back("#");
    lines.push_back("# Create " + path + " archive by using " + rule + " rule");
    lines.push_back("#");
    Append(lines, SplitAtLineFeeds(GetPosixCommandText(manager, d)));
  }
  return lines;
}

}  // namespace pw
