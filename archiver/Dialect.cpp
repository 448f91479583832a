#include "archiver/Dialect.h"

#include <algorithm>

#include "archiver/BatchText.h"
#include "archiver/PosixScripts.h"
#include "platform/CommandLine.h"
#include "platform/Errors.h"
#include "platform/LocaleCompare.h"
#include "platform/PathStyle.h"
#include "platform/Programs.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "platform/Streams.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

constexpr char kBatFilter[] = "Batch files (*.bat)|*.bat";
constexpr char kShFilter[] = "Shell scripts (*.sh)|*.sh";
constexpr char kExeFilter[] = "Executable files (*.exe)|*.exe";
constexpr char kAnyProgramFilter[] = "Executable files (*)|*";

// What both dialects share: the steps of a path with its root kept apart.
std::string NormalSteps(const std::string& path, std::string root, size_t start, char sep,
                        const TDialect& dialect) {
  std::vector<std::string> steps;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !dialect.IsSeparator(path[end])) ++end;
    const std::string step = path.substr(start, end - start);
    if (step == "..") {
      if (!steps.empty() && steps.back() != "..") {
        steps.pop_back();
      } else if (root.empty()) {
        steps.push_back(step);
      }
    } else if (!step.empty() && step != ".") {
      steps.push_back(step);
    }
    start = end + 1;
  }
  std::string out = std::move(root);
  for (size_t i = 0; i < steps.size(); ++i) out += (i ? std::string(1, sep) : "") + steps[i];
  return out.empty() ? "." : out;
}

// Whether one of the steps of text between separators is "..".
bool HasParentStep(const std::string& text, const TDialect& dialect) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = start;
    while (end < text.size() && !dialect.IsSeparator(text[end])) ++end;
    if (text.compare(start, end - start, "..") == 0 && end - start == 2) return true;
    start = end + 1;
  }
  return false;
}

std::string JoinedTo(const std::string& folder, const std::string& path, char sep) {
  std::string base = folder;
  while (!base.empty() && base.back() == sep) base.pop_back();
  return path.empty() ? base : base + sep + path;
}

// ---- Windows ------------------------------------------------------------------

class TWindowsDialect final : public TDialect {
 public:
  char Separator() const override { return '\\'; }
  bool IsSeparator(char c) const override { return c == '/' || c == '\\'; }
  bool IsAbsolute(const std::string& path) const override {
    return (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) ||
           (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2]));
  }
  std::string Resolved(const std::string& path, const std::string& folder) const override {
    if (IsAbsolute(path)) return path;
    if (!path.empty() && IsSeparator(path[0])) {
      const size_t colon = folder.find(':');
      return (colon == std::string::npos ? std::string() : folder.substr(0, colon + 1)) + path;
    }
    if (path.size() >= 2 && path[1] == ':') return path;  // "D:name"
    return JoinedTo(folder, path, '\\');
  }
  // "/" reads as "\".
  std::string Normal(const std::string& path) const override {
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
      return NormalSteps(path, "\\\\", 2, '\\', *this);
    }
    if (path.size() >= 2 && path[1] == ':') {
      const bool rooted = path.size() >= 3 && IsSeparator(path[2]);
      return NormalSteps(path, path.substr(0, 2) + (rooted ? "\\" : ""), rooted ? 3 : 2, '\\',
                         *this);
    }
    if (!path.empty() && IsSeparator(path[0])) return NormalSteps(path, "\\", 1, '\\', *this);
    return NormalSteps(path, "", 0, '\\', *this);
  }
  std::string CompareKey(const std::string& path) const override {
    return Get<ILocaleCompare>().FoldKey(path);
  }
  // The locale's sort key does not keep the text's order.
  std::string PrefixKey(const std::string& path) const override { return UpperCaseAscii(path); }
  std::string FlatName(const std::string& path) const override {
    std::string name;
    name.reserve(path.size());
    for (const char c : path) {
      if (c == ':') continue;
      name += c == '\\' ? '_' : c;
    }
    return name;
  }
  std::string ExpandHome(const std::string& path) const override { return path; }
  std::string PathFormProblem(const std::string&) const override { return {}; }
  // "\\server", "C:\", "\" and "C:name" all leave the directory.
  bool MaskLeavesDirectory(const std::string& mask) const override {
    return (!mask.empty() && IsSeparator(mask[0])) || (mask.size() >= 2 && mask[1] == ':') ||
           HasParentStep(mask, *this);
  }
  std::string FolderOf(const std::string& path) const override {
    const size_t last = path.find_last_of("\\/:");
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
  }
  size_t ShortestFolder() const override { return 3; }  // "C:\"
  bool NamesIgnoreCase() const override { return true; }

  std::string ArchiveFlatName(const std::string& path) const override { return FlatName(path); }
  // The batch file names the folder as typed.
  std::string HandedFolder(const std::string& typed, const std::string&) const override {
    return typed;
  }
  std::string MaskEntry(const std::string& path, const std::string& mask, bool) const override {
    std::string base = path;
    if (!base.empty() && base.back() == '\\') base.pop_back();
    return base + '\\' + mask;
  }
  std::string EveryFile(const std::string& path) const override { return path + "\\*.*"; }
  // 7-Zip matches an exclude against the names it stores, which are
  // relative to the entry "D:\dir\*.*"; one that names the full path
  // leaves nothing out. Relative, "r-" keeps it to the one folder (with -r
  // "-x!a\b" would match every "b" below "a"). The others get the full path.
  TMaskEntry FolderExclude(const std::string& key, TArchiverFamily family,
                           const std::string& directory, const std::string& name) const override {
    if (family == TArchiverFamily::af7Zip && key == "-x!") return {"-xr-!", name};
    return {key, directory + (directory.back() == '\\' ? "" : "\\") + name};
  }
  std::string DayFolder(const std::string& rest) const override { return rest + "\\"; }
  // As a program's start-up code splits its command line, quotes removed.
  std::vector<std::string> SplitParameters(const std::string& params) const override {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (const char c : params) {
      if (c == '"') {
        quoted = !quoted;
        inWord = true;
      } else if ((c == ' ' || c == '\t') && !quoted) {
        if (inWord) words.push_back(word);
        word.clear();
        inWord = false;
      } else {
        word += c;
        inWord = true;
      }
    }
    if (inWord) words.push_back(word);
    return words;
  }
  // The entries name the directory in full; the archiver strips it as the
  // folder the names are relative to.
  bool EntryBelowDirectory(std::string& entry, const std::string& directory) const override {
    const auto backslashed = [](std::string text) {
      std::replace(text.begin(), text.end(), '/', '\\');
      return text;
    };
    std::string base = backslashed(directory);
    while (!base.empty() && base.back() == '\\') base.pop_back();
    base += '\\';
    if (entry.size() < base.size() ||
        !SameTextAscii(backslashed(entry.substr(0, base.size())), base)) {
      return false;
    }
    entry.erase(0, base.size());
    return true;
  }

  std::string MaskList(const std::vector<TMaskEntry>& entries) const override {
    return BatchMaskList(entries);
  }
  std::string Parameters(const TArchiveJob& job) const override { return BatchParameters(job); }
  std::string ChangeDirCommands(const std::string& path) const override {
    return BatchChangeDirCommands(path);
  }
  // A clash is a remark: the batch file would refuse the directory.
  std::string CommandText(const TArchiveJob& job) const override {
    if (job.clash) return "rem " + job.directory + ": " + job.error;
    return BatchCommandText(job);
  }
  // A batch file keeps the day it was written.
  std::vector<std::string> ScriptLines(const std::vector<TArchiveJob>& jobs, bool forAll,
                                       const std::string&) const override {
    return BatchScriptLines(jobs, forAll);
  }
  bool ScriptsNameTheDayWhenTheyRun() const override { return false; }
  const char* ScriptExtension() const override { return "bat"; }
  const char* ScriptLineEnd() const override { return "\r\n"; }
  const char* ScriptFilter() const override { return kBatFilter; }
  const char* ProgramFilter() const override { return kExeFilter; }
  // cmd.exe reads a batch file in the console's code page.
  std::string ScriptBytes(const std::string& text) const override { return ToBatchCodePage(text); }
  void ScriptWritten(const std::string&) const override {}

  // A fresh 7-Zip archive goes through cmd.exe, which puts it in place.
  // cmd.exe passes its standard input on to the archiver it starts.
  void Start(const TArchiveJob& job, bool asShell, IFileLock*, const std::vector<std::string>&,
             const std::optional<std::string>& input) const override {
    const bool wrapped = job.MadeFresh();
    const std::string program = wrapped ? "cmd.exe" : job.program;
    const std::string parameters = wrapped ? BatchStartLine(job) : BatchParameters(job);
    if (asShell && !input) {
      Get<IShell>().Execute("open", program, parameters, job.workingDirectory,
                            TShowCommand::swShowMinimized);
    } else {
      Get<IProcessRunner>().Start(program, parameters, job.workingDirectory, nullptr, {}, input);
    }
  }
  int RunAndWait(const TArchiveJob& job, const TRunOptions& options) const override {
    return Get<IProcessRunner>().RunAndWait(job.program, BatchParameters(job), options);
  }
  int RunWordsAndWait(const std::string& program, const std::vector<std::string>& words,
                      const TRunOptions& options) const override {
    std::string parameters;
    for (const std::string& word : words) {
      parameters += (parameters.empty() ? "" : " ") + QuoteWindowsArgument(word);
    }
    return Get<IProcessRunner>().RunAndWait(program, parameters, options);
  }

  const char* FirstStartPattern() const override { return ""; }
  bool FindsArchiversOnPath() const override { return false; }
  const char* SevenZipConsole() const override { return "7z.exe"; }
  size_t LongestRelativePath() const override { return 0; }
  bool WindowsMatchingIsNative() const override { return true; }
};

// ---- POSIX --------------------------------------------------------------------

// Runs the archiver on the temporary name and puts the archive in place when
// 7-Zip succeeded (0) or warned (1); the partial archive goes otherwise. The
// arguments are the program and what it receives.
const char kReplaceWhenDone[] =
    "final=$1; partial=$2; shift 2; rm -f -- \"$partial\"; \"$@\"; code=$?; "
    "if [ $code -le 1 ]; then mv -f -- \"$partial\" \"$final\" || code=2; "
    "else rm -f -- \"$partial\"; fi; exit $code";

// A POSIX path with doubled and trailing separators and "." steps taken
// out, ".." steps kept.
std::string PosixCanonical(const std::string& path) {
  std::string out;
  size_t start = 0;
  const bool rooted = !path.empty() && path[0] == '/';
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string step = path.substr(start, end - start);
    if (!step.empty() && step != ".") out += (out.empty() && !rooted ? "" : "/") + step;
    start = end + 1;
  }
  return out.empty() ? (rooted ? "/" : path) : out;
}

// A program the shell wrapper would start: found now, so that one that
// cannot be started is reported as a direct start reports it.
void CheckStartable(const std::string& program) {
  const bool found = program.find('/') != std::string::npos
                         ? FileExists(program)
                         : Get<IProgramSearch>().FindOnPath(program).has_value();
  if (!found) throw Exception("Cannot start " + program + ": No such file or directory");
}

class TPosixDialect final : public TDialect {
 public:
  char Separator() const override { return '/'; }
  bool IsSeparator(char c) const override { return c == '/'; }
  bool IsAbsolute(const std::string& path) const override {
    return !path.empty() && path[0] == '/';
  }
  std::string Resolved(const std::string& path, const std::string& folder) const override {
    return IsAbsolute(path) ? path : JoinedTo(folder, path, '/');
  }
  std::string Normal(const std::string& path) const override {
    return IsAbsolute(path) ? NormalSteps(path, "/", 1, '/', *this)
                            : NormalSteps(path, "", 0, '/', *this);
  }
  std::string CompareKey(const std::string& path) const override { return path; }
  std::string PrefixKey(const std::string& path) const override { return path; }
  std::string FlatName(const std::string& path) const override { return PosixFlatName(path); }
  std::string ExpandHome(const std::string& path) const override {
    if (path.empty() || path[0] != '~') return path;
    if (path.size() == 1) return HomeDirectory();
    if (path[1] != '/') return path;
    const std::string home = HomeDirectory();
    return (home == "/" ? "" : home) + path.substr(1);
  }
  std::string PathFormProblem(const std::string& path) const override {
    return IsAbsolute(ExpandHome(path)) ? std::string() : "The directory's path is not absolute";
  }
  bool MaskLeavesDirectory(const std::string& mask) const override {
    return IsAbsolute(mask) || HasParentStep(mask, *this);
  }
  std::string FolderOf(const std::string& path) const override {
    const size_t last = path.find_last_of('/');
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
  }
  size_t ShortestFolder() const override { return 1; }  // "/"
  bool NamesIgnoreCase() const override { return false; }

  // One directory under several spellings is one archive: doubled and
  // trailing separators and "." steps do not count. ".." steps do, since a
  // link before one leads elsewhere than the text says.
  std::string ArchiveFlatName(const std::string& path) const override {
    return FlatName(PosixCanonical(ExpandHome(path)));
  }
  std::string HandedFolder(const std::string&, const std::string& full) const override {
    return full;
  }
  // Relative to the folder the archiver runs in, so that no character of
  // the directory's path is read as a wildcard; "./" keeps a mask that
  // begins with "-" from being read as a switch, and one that begins with
  // "@" from being read as the name of a list file.
  std::string MaskEntry(const std::string&, const std::string& mask, bool exclude) const override {
    return !exclude && !mask.empty() && (mask[0] == '-' || mask[0] == '@') ? "./" + mask : mask;
  }
  // "*" rather than "*.*", which would leave out every file without a dot.
  std::string EveryFile(const std::string&) const override { return "*"; }
  // With -r 7-Zip matches the last name of "-x!a/b" in every folder below
  // "a"; "r-" keeps it to the one path from the directory's top ("*/name":
  // one level down).
  TMaskEntry FolderExclude(const std::string& key, TArchiverFamily family, const std::string&,
                           const std::string& name) const override {
    if (family == TArchiverFamily::af7Zip && key == "-x!") return {"-xr-!", name};
    return {key, name};
  }

  std::string DayFolder(const std::string&) const override { return "*/"; }
  std::vector<std::string> SplitParameters(const std::string& params) const override {
    return SplitPosixWords(params);
  }
  // The entries are relative to the directory already.
  bool EntryBelowDirectory(std::string&, const std::string&) const override { return false; }

  std::string MaskList(const std::vector<TMaskEntry>& entries) const override {
    return PosixMaskList(entries);
  }
  std::string Parameters(const TArchiveJob& job) const override { return PosixParameters(job); }
  std::string ChangeDirCommands(const std::string& path) const override {
    return PosixChangeDirCommands(path);
  }
  std::string CommandText(const TArchiveJob& job) const override { return PosixCommandText(job); }
  std::vector<std::string> ScriptLines(const std::vector<TArchiveJob>& jobs, bool forAll,
                                       const std::string& scriptDay) const override {
    return PosixScriptLines(jobs, forAll, scriptDay);
  }
  bool ScriptsNameTheDayWhenTheyRun() const override { return true; }
  const char* ScriptExtension() const override { return "sh"; }
  const char* ScriptLineEnd() const override { return "\n"; }
  const char* ScriptFilter() const override { return kShFilter; }
  const char* ProgramFilter() const override { return kAnyProgramFilter; }
  std::string ScriptBytes(const std::string& text) const override { return text; }
  void ScriptWritten(const std::string& fileName) const override { MakeExecutable(fileName); }

  // The archiver is started directly, with its arguments one by one; a
  // fresh 7-Zip archive through the fixed /bin/sh wrapper, which puts it in
  // place when 7-Zip succeeded, after we have gone.
  void Start(const TArchiveJob& job, bool, IFileLock* lock,
             const std::vector<std::string>& whenEnded,
             const std::optional<std::string>& input) const override {
    IProcessRunner& processes = Get<IProcessRunner>();
    if (!job.MadeFresh()) {
      return processes.Start(job.program, PosixArguments(job), job.workingDirectory, lock,
                             whenEnded, input);
    }
    CheckStartable(job.program);
    std::vector<std::string> words = {
        "-c", kReplaceWhenDone, "sh", job.archiveFile, job.partialFile, job.program};
    for (std::string& word : PosixArguments(job)) words.push_back(std::move(word));
    processes.Start("/bin/sh", words, job.workingDirectory, lock, whenEnded, input);
  }
  int RunAndWait(const TArchiveJob& job, const TRunOptions& options) const override {
    return Get<IProcessRunner>().RunAndWait(job.program, PosixArguments(job), options);
  }
  int RunWordsAndWait(const std::string& program, const std::vector<std::string>& words,
                      const TRunOptions& options) const override {
    return Get<IProcessRunner>().RunAndWait(program, words, options);
  }

  // Where no drive letters name the backup disks, each run's archives go
  // under its day, ~/MyArchives/2026-12-08.
  const char* FirstStartPattern() const override { return "yyyy-mm-dd"; }
  bool FindsArchiversOnPath() const override { return true; }
  const char* SevenZipConsole() const override { return "7zz"; }
  // A name the system opens holds at most PATH_MAX bytes with its end.
  size_t LongestRelativePath() const override { return 4095; }
  // Their POSIX builds match as they do on Windows, but with letter case.
  bool WindowsMatchingIsNative() const override { return false; }
};

}  // namespace

const TDialect& Dialect() {
  static const TWindowsDialect windows;
  static const TPosixDialect posix;
  return Get<IPathStyle>().Style() == TPathStyle::psPosix ? static_cast<const TDialect&>(posix)
                                                          : windows;
}

}  // namespace pw
