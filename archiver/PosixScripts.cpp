#include "archiver/PosixScripts.h"

#include "archiver/Password.h"

#include "platform/Errors.h"

namespace pw {

namespace {

// Characters that make the shell do something other than pass the word on:
// split it, expand it, redirect, end the command or start a comment.
bool IsShellSpecial(unsigned char c) {
  static const std::string kSpecial = " \t\n'\"$`\\*?[]&;|<>()#~{}=";
  return c < 0x20 || c == 0x7F || kSpecial.find(static_cast<char>(c)) != std::string::npos;
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

// A line end in a comment would end it and run the rest.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
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

std::string PosixMaskList(const std::vector<TMaskEntry>& entries) {
  std::vector<std::string> words;
  for (const TMaskEntry& entry : entries) words.push_back(QuotePosixWord(entry.key + entry.entry));
  return Join(words);
}

std::vector<std::string> PosixArguments(const TArchiveJob& job) {
  std::vector<std::string> words = SplitPosixWords(job.params);
  for (const TMaskEntry& entry : job.excludes) words.push_back(entry.key + entry.entry);
  words.push_back(job.archiveArgument);
  for (const TMaskEntry& entry : job.includes) words.push_back(entry.key + entry.entry);
  return words;
}

std::string PosixParameters(const TArchiveJob& job) {
  return Join(QuotedAll(PosixArguments(job)));
}

std::string PosixChangeDirCommands(const std::string& path) {
  if (path.empty()) return {};
  return "cd " + QuotePosixWord(path) + "\n";
}

std::string PosixCommandText(const TArchiveJob& job) {
  if (!job.error.empty()) {
    return "# " + OneLine(job.directory) + ": " + OneLine(job.error) + "\n";
  }
  const std::string directory = QuotePosixWord(job.workingDirectory);
  std::string text = "if cd " + directory + "; then\n";
  if (job.MadeFresh()) text += "  rm -f " + QuotePosixWord(job.partialFile) + "\n";
  // A password file is read when the script runs, on 7-Zip's standard input.
  const std::string input = job.password.keptIn == TPasswordKeeping::pkFile
                                ? " <" + QuotePosixWord(job.password.file)
                                : std::string();
  text += "  " + Join({QuotePosixWord(job.program), PosixParameters(job)}) + input + "\n";
  text += "  code=$?\n";
  if (job.MadeFresh()) {
    // 7-Zip exits with 1 for warnings, with 2 and more for failures.
    text += "  if [ $code -le 1 ]; then mv -f " + QuotePosixWord(job.partialFile) + " " +
            QuotePosixWord(job.archiveFile) + " || code=2; else rm -f " +
            QuotePosixWord(job.partialFile) + "; fi\n";
  }
  text += "  [ $code -eq 0 ] || { echo " +
          QuotePosixWord("Archiving " + job.workingDirectory + " ended with exit status") +
          " \"$code\" >&2; status=1; }\n";
  text += "else\n  echo " +
          QuotePosixWord("Cannot enter " + job.workingDirectory + ": not archived") +
          " >&2\n  status=1\nfi\n";
  return text;
}

namespace {

// The script's job for a directory: refused when it must not run.
std::vector<std::string> ScriptBlock(const TArchiveJob& job) {
  if (!job.error.empty()) throw Exception(job.directory + ": " + job.error);
  const std::string password = ScriptPasswordProblem(job);
  if (!password.empty()) throw Exception(password);
  return SplitAt(PosixCommandText(job), "\n");
}

}  // namespace

namespace {

// The line with the day in place of each marker: a word of its own in
// double quotes, closing and reopening a single-quoted word around it.
std::string WithDay(const std::string& line) {
  const std::string_view marker = kRunDayMarker;
  std::string out;
  bool quoted = false;
  for (size_t i = 0; i < line.size();) {
    if (std::string_view(line).substr(i, marker.size()) == marker) {
      out += quoted ? "'\"$day\"'" : "\"$day\"";
      i += marker.size();
      continue;
    }
    const char c = line[i];
    if (c == '\'') {
      quoted = !quoted;
    } else if (c == '\\' && !quoted && i + 1 < line.size()) {
      out += line.substr(i, 2);
      i += 2;
      continue;
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace

std::vector<std::string> PosixScriptLines(const std::vector<TArchiveJob>& jobs, bool forAll,
                                          const std::string& scriptDay) {
  std::vector<std::string> lines = {"#!/bin/sh", "status=0"};
  if (!scriptDay.empty()) {
    lines.push_back("# The dated subfolder of the night this script runs");
    lines.push_back("day=$(" + scriptDay + ") || exit 1");
    for (const TArchiveJob& job : jobs) {
      if (!job.error.empty()) continue;
      lines.push_back("mkdir -p -- " + QuotePosixWord(job.archiveFolder) + " || status=1");
      break;
    }
  }
  for (const TArchiveJob& job : jobs) {
    if (forAll) {
      lines.push_back("#");
      lines.push_back("# Create " + OneLine(job.directory) + " archive by using " +
                      OneLine(job.ruleName) + " rule");
      lines.push_back("#");
    }
    Append(lines, ScriptBlock(job));
  }
  lines.push_back("exit $status");
  if (!scriptDay.empty()) {
    for (std::string& line : lines) line = WithDay(line);
  }
  return lines;
}

}  // namespace pw
