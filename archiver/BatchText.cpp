#include "archiver/BatchText.h"

#include "archiver/Password.h"
#include "platform/Errors.h"

namespace pw {

namespace {

// Characters that make an entry need quotes: blanks split a command line
// into arguments; in a batch file cmd.exe also reads the operators.
constexpr const char* kShellSpecials = " \t";
constexpr const char* kBatchSpecials = " \t&|<>^(";

// An entry that holds a special character is quoted, so that the archiver
// receives it as one argument. A switch that ends in a blank ("-x ") is a
// word of its own and stays outside the quotes.
std::string Argument(const TMaskEntry& mask, const char* specials) {
  const bool keyApart = !mask.key.empty() && mask.key.back() == ' ';
  const std::string quoted = keyApart ? mask.entry : mask.key + mask.entry;
  const std::string prefix = keyApart ? mask.key : "";
  if (quoted.find_first_of(specials) == std::string::npos) return prefix + quoted;
  return prefix + '"' + quoted + '"';
}

std::string MaskList(const std::vector<TMaskEntry>& entries, const char* specials) {
  std::string result;
  for (const TMaskEntry& entry : entries) {
    if (!result.empty()) result += ' ';
    result += Argument(entry, specials);
  }
  return result;
}

std::string Parameters(const TArchiveJob& job, const char* specials) {
  return job.params + " " + MaskList(job.excludes, specials) + " \"" + job.archiveArgument + "\" " +
         MaskList(job.includes, specials);
}

// cmd.exe expands a batch line's percent signs once, and a "call" line a
// second time, so a literal "%" is written "%%" there and "%%%%" here.
std::string EscapePercents(const std::string& text, int rounds) {
  const std::string literal(size_t{1} << rounds, '%');
  std::string out;
  for (const char c : text) {
    if (c == '%') {
      out += literal;
    } else {
      out += c;
    }
  }
  return out;
}

// A script never holds a job that must not run, nor one whose archiver
// would receive other arguments than a run hands it: cmd.exe doubles every
// caret of a "call" line, quoted or not, so "a^b" would reach the archiver
// as "a^^b".
std::vector<std::string> BatchBlock(const TArchiveJob& job) {
  if (!job.error.empty()) throw Exception(job.directory + ": " + job.error);
  const std::string password = ScriptPasswordProblem(job);
  if (!password.empty()) throw Exception(password);
  std::vector<std::string> lines = SplitLines(BatchCommandText(job));
  for (const std::string& line : lines) {
    if (line.rfind("call ", 0) == 0 && line.find('^') != std::string::npos) {
      throw Exception(job.directory +
                      ": a caret (^) cannot be handed to the archiver through a batch file");
    }
  }
  return lines;
}

}  // namespace

std::string ExtractDrive(const std::string& path) {
  const size_t colon = path.find(':');
  return colon == std::string::npos ? std::string() : path.substr(0, colon + 1);
}

std::vector<std::string> SplitLines(const std::string& text) {
  return SplitAt(text, "\r\n");
}

std::string BatchMaskList(const std::vector<TMaskEntry>& entries) {
  return MaskList(entries, kShellSpecials);
}

std::string BatchParameters(const TArchiveJob& job) {
  return Parameters(job, kShellSpecials);
}

std::string BatchChangeDirCommands(const std::string& path) {
  const std::string drive = ExtractDrive(path);
  if (drive.empty()) return {};
  return drive + "\r\ncd \"" + EscapePercents(path, 1) + "\"\r\n";
}

// The call line reads as cmd.exe will: the same arguments as a run passes.
std::string BatchCommandText(const TArchiveJob& job) {
  // A password file is read when the batch file runs, on 7-Zip's standard
  // input.
  const std::string input = job.password.keptIn == TPasswordKeeping::pkFile
                                ? " <\"" + EscapePercents(job.password.file, 1) + "\""
                                : std::string();
  const std::string call =
      EscapePercents("call \"" + job.program + "\" " + Parameters(job, kBatchSpecials), 2) +
      input;
  if (!job.MadeFresh()) return BatchChangeDirCommands(job.directory) + call;
  const std::string partial = "\"" + EscapePercents(job.archiveArgument, 1) + "\"";
  const std::string final = "\"" + EscapePercents(job.archiveFile, 1) + "\"";
  // 7-Zip exits with 1 for warnings, with 2 and more for failures.
  return BatchChangeDirCommands(job.directory) + "if exist " + partial + " del " + partial +
         "\r\n" + call + "\r\nif errorlevel 2 (del " + partial + ") else move /y " + partial + " " +
         final + " >nul";
}

// cmd.exe reads this line as it reads a batch line: an entry that holds one
// of its operators ("D:\R&D\*.*") is quoted, or it would split the command.
std::string BatchStartLine(const TArchiveJob& job) {
  const std::string partial = "\"" + job.archiveArgument + "\"";
  return "/d /c \"(if exist " + partial + " del " + partial + ") & \"" + job.program + "\" " +
         Parameters(job, kBatchSpecials) + " & (if errorlevel 2 (del " + partial +
         ") else move /y " + partial + " \"" + job.archiveFile + "\" >nul)\"";
}

std::vector<std::string> BatchScriptLines(const std::vector<TArchiveJob>& jobs, bool forAll) {
  std::vector<std::string> lines;
  for (const TArchiveJob& job : jobs) {
    if (forAll) {
      lines.push_back("rem");
      lines.push_back("rem Create " + job.directory + " archive by using " + job.ruleName +
                      " rule");
      lines.push_back("rem");
    }
    for (std::string& line : BatchBlock(job)) lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace pw
