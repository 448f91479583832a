#include "archiver/Restore.h"

#include <array>
#include <map>

#include "archiver/ArchiveCommands.h"
#include "archiver/ArchiverReport.h"
#include "archiver/Dialect.h"
#include "archiver/JournalResult.h"
#include "archiver/Password.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Streams.h"

namespace pw {

namespace {

// The steps of a path inside an archive, "." steps left out.
std::vector<std::string> Steps(const std::string& path) {
  std::vector<std::string> steps;
  std::string step;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || Dialect().IsSeparator(path[i])) {
      if (!step.empty() && step != ".") steps.push_back(step);
      step.clear();
    } else {
      step += path[i];
    }
  }
  return steps;
}

std::string Joined(const std::string& folder, const std::string& inside) {
  std::string path = folder;
  if (path.empty() || !Dialect().IsSeparator(path.back())) path += Dialect().Separator();
  for (const char c : inside) path += Dialect().IsSeparator(c) ? Dialect().Separator() : c;
  return path;
}

bool Exists(const std::string& path) {
  TEntryFacts facts;
  return Get<IFileSystem>().LookAt(path, facts);
}

// Removes what is in the folder and the folder, never following a link.
void RemoveTree(const std::string& folder) {
  IFileSystem& files = Get<IFileSystem>();
  std::unique_ptr<IFolder> open = files.OpenFolder(folder);
  if (open && open->Read()) {
    for (size_t i = 0; i < open->Count(); ++i) {
      const std::string path = Joined(folder, std::string(open->Name(i)));
      if (open->Kind(i) == TEntryKind::ekDirectory) {
        RemoveTree(path);
      } else {
        files.RemoveFileAt(path);
      }
    }
  }
  open.reset();
  files.RemoveEmptyFolder(folder);
}

// A fresh folder inside the target folder, for one restore's files.
std::string MakeTemporaryFolder(const std::string& targetFolder) {
  ForceDirectories(targetFolder);
  for (int i = 0; i < 1000; ++i) {
    const std::string name = Joined(targetFolder, ".packetwright-restore-" + std::to_string(i));
    if (!Exists(name) && Get<IFileSystem>().MakeDirectory(name)) return name;
  }
  throw Exception("Cannot create a temporary folder in " + targetFolder);
}

// The temporary folders of one restore, removed on every path.
class TTemporaryFolders {
 public:
  ~TTemporaryFolders() {
    for (const std::string& folder : folders_) RemoveTree(folder);
  }
  const std::string& Add(const std::string& targetFolder) {
    return folders_.emplace_back(MakeTemporaryFolder(targetFolder));
  }

 private:
  std::vector<std::string> folders_;
};

// 7-Zip's words: extract with full paths into the folder, answer yes (the
// folder is empty), take no name as a pattern, and after "--" the archive
// and the paths, so that a name beginning with "-" is no switch.
// With the password on standard input, no -p word: 7-Zip's x reads it from
// there.
std::vector<std::string> ExtractWords(const TExtractor& extractor, const std::string& archive,
                                      const std::string& folder,
                                      const std::vector<std::string>& paths, bool passwordInput) {
  std::vector<std::string> words = {"x", "-y", "-bd", "-spd", "-o" + folder};
  if (!passwordInput) {
    for (const std::string& word : Dialect().SplitParameters(extractor.params)) {
      if (word.size() >= 2 && word[0] == '-' && (word[1] == 'p' || word[1] == 'P')) {
        words.push_back(word);
      }
    }
  }
  words.push_back("--");
  words.push_back(archive);
  words.insert(words.end(), paths.begin(), paths.end());
  return words;
}

// The paths the source names, or else each file it writes.
std::vector<std::string> PathsToExtract(const TRestorePlan& plan, size_t source) {
  std::vector<std::string> paths = plan.sources[source].paths;
  if (!paths.empty()) return paths;
  for (const TRestoreItem& item : plan.items) {
    if (item.source == source && item.state != TRestoreState::rsExists &&
        item.state != TRestoreState::rsRefused) {
      paths.push_back(item.entry.path);
    }
  }
  return paths;
}

// What 7-Zip reads on its standard input for the archive: the password and
// a line end; none without one.
std::optional<std::string> PasswordInputFor(const TExtractor& extractor,
                                            const std::string& archive) {
  if (!extractor.password) return std::nullopt;
  std::optional<std::string> password = extractor.password(archive);
  if (!password) return std::nullopt;
  return *password + "\n";
}

}  // namespace

TExtractor ExtractorOf(const TbkManager& manager) {
  TExtractor extractor{manager.ArchiverExeFileName(), ArchiverFamily(manager.ArchiverExeFileName()),
                       manager.ArchiverParams(), {}};
  if (const TPasswordPlace place = manager.Password(); place.InUse()) {
    extractor.password = [place](const std::string&) {
      return std::optional<std::string>(ReadPassword(place));
    };
  }
  return extractor;
}

std::optional<std::vector<TListedEntry>> ListArchive(const TExtractor& extractor,
                                                     const std::string& archive,
                                                     const TRunOptions& options,
                                                     std::string& error) {
  if (std::string problem = ExtractProblem(extractor, archive); !problem.empty()) {
    error = std::move(problem);
    return std::nullopt;
  }
  TRunOptions listing = options;
  try {
    listing.input = PasswordInputFor(extractor, archive);
  } catch (const Exception& e) {
    error = "The archive could not be listed: " + e.Message();
    return std::nullopt;
  }
  return SevenZipEntries(extractor.program, extractor.params, archive, listing, error);
}

std::string InsideArchivePath(const std::string& path) {
  if (path.empty() || Dialect().IsAbsolute(path) || Dialect().IsSeparator(path[0])) return "";
  const std::vector<std::string> steps = Steps(path);
  std::string plain;
  for (const std::string& step : steps) {
    if (step == "..") return "";
    plain += (plain.empty() ? "" : std::string(1, Dialect().Separator())) + step;
  }
  return plain;
}

std::function<bool(std::string_view)> UnderPath(const std::string& path) {
  const std::string plain = InsideArchivePath(path);
  // The compare key of a Windows name is the locale's, which keeps no
  // prefixes: what lies below a folder is told by the prefix key.
  std::string key = Dialect().CompareKey(plain), prefix = Dialect().PrefixKey(plain);
  return [key = std::move(key), prefix = std::move(prefix)](std::string_view entryPath) {
    if (prefix.empty()) return false;
    const std::string entry = InsideArchivePath(std::string(entryPath));
    if (Dialect().CompareKey(entry) == key) return true;
    const std::string entryPrefix = Dialect().PrefixKey(entry);
    return entryPrefix.size() > prefix.size() &&
           entryPrefix.compare(0, prefix.size(), prefix) == 0 &&
           Dialect().IsSeparator(entryPrefix[prefix.size()]);
  };
}

std::vector<TListedEntry> EntriesUnder(const std::vector<TListedEntry>& listing,
                                       const std::string& path) {
  const auto under = UnderPath(path);
  std::vector<TListedEntry> found;
  for (const TListedEntry& entry : listing) {
    if (under(entry.path)) found.push_back(entry);
  }
  return found;
}

int TRestorePlan::Conflicts() const {
  int n = 0;
  for (const TRestoreItem& item : items) n += item.state == TRestoreState::rsExists ? 1 : 0;
  return n;
}

int TRestorePlan::ToWrite() const {
  int n = 0;
  for (const TRestoreItem& item : items) {
    n += item.state == TRestoreState::rsCreate || item.state == TRestoreState::rsOverwrite ||
                 item.state == TRestoreState::rsBeside
             ? 1
             : 0;
  }
  return n;
}

std::string BesideName(const std::string& target, const std::string& night) {
  size_t nameAt = target.size();
  while (nameAt > 0 && !Dialect().IsSeparator(target[nameAt - 1])) --nameAt;
  size_t dot = target.rfind('.');
  // A name without an extension, or one that only begins with a dot.
  if (dot == std::string::npos || dot <= nameAt) dot = target.size();
  for (int n = 1;; ++n) {
    const std::string mark = " (" + night + (n == 1 ? "" : ", " + std::to_string(n)) + ")";
    const std::string name = target.substr(0, dot) + mark + target.substr(dot);
    if (!Exists(name)) return name;
  }
}

TRestorePlan PlanRestore(std::vector<TRestoreSource> sources, TExisting existing) {
  TRestorePlan plan;
  plan.sources = std::move(sources);
  std::map<std::string, size_t> planned;  // by the target's compare key: a name taken once
  for (size_t s = 0; s < plan.sources.size(); ++s) {
    const TRestoreSource& source = plan.sources[s];
    for (const TListedEntry& entry : source.entries) {
      if (entry.folder) continue;
      TRestoreItem item{s, entry, "", TRestoreState::rsCreate};
      const std::string inside = InsideArchivePath(entry.path);
      if (inside.empty()) {
        item.state = TRestoreState::rsRefused;
        item.target = entry.path;
        plan.items.push_back(std::move(item));
        continue;
      }
      item.target = Joined(source.targetFolder, inside);
      const std::string key = Dialect().CompareKey(item.target);
      if (planned.count(key)) continue;  // the newest copy of it is planned already
      planned[key] = plan.items.size();
      if (Exists(item.target)) {
        switch (existing) {
          case TExisting::exAsk:
          case TExisting::exSkip:
            item.state = TRestoreState::rsExists;
            break;
          case TExisting::exOverwrite:
            item.state = TRestoreState::rsOverwrite;
            break;
          case TExisting::exKeepBoth:
            item.state = TRestoreState::rsBeside;
            item.target = BesideName(item.target, source.archive.Night());
            break;
        }
      }
      plan.items.push_back(std::move(item));
    }
  }
  return plan;
}

std::string RestorePlanText(const TRestorePlan& plan) {
  std::string text;
  for (size_t s = 0; s < plan.sources.size(); ++s) {
    const TIndexedArchive& a = plan.sources[s].archive;
    text += "From " + a.archive + " (night " + a.Night() +
            (a.directory.empty() ? "" : ", " + a.directory) + "):\n";
    for (const TRestoreItem& item : plan.items) {
      if (item.source != s) continue;
      const char* what = "create   ";
      switch (item.state) {
        case TRestoreState::rsCreate: break;
        case TRestoreState::rsExists: what = "exists   "; break;
        case TRestoreState::rsOverwrite: what = "overwrite"; break;
        case TRestoreState::rsBeside: what = "beside   "; break;
        case TRestoreState::rsRefused: what = "refused  "; break;
      }
      text += std::string("  ") + what + "  " + item.target +
              (item.state == TRestoreState::rsRefused ? "  (its path leaves the folder)" : "") +
              "\n";
    }
  }
  return text;
}

std::string ExtractProblem(const TExtractor& extractor, const std::string& archive) {
  const TArchiverFamily family = FamilyOfArchive(archive);
  if (family == TArchiverFamily::afRar || family == TArchiverFamily::afWinZip ||
      extractor.family != TArchiverFamily::af7Zip) {
    return "Files are restored with 7-Zip from its own archives only; the archiver's set of "
           "options names no extract command for " +
           archive;
  }
  return "";
}

std::optional<uint32_t> FileCrc32(const std::string& fileName) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  try {
    TFileStream file(fileName, TFileStream::TMode::fmOpenRead);
    std::vector<unsigned char> buffer(1 << 16);
    uint32_t crc = 0xFFFFFFFFu;
    for (int64_t got; (got = file.Read(buffer.data(), static_cast<int64_t>(buffer.size()))) > 0;) {
      for (int64_t i = 0; i < got; ++i) crc = table[(crc ^ buffer[static_cast<size_t>(i)]) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
  } catch (const Exception&) {
    return std::nullopt;
  }
}

TRestoreResult ExecuteRestore(const TRestorePlan& plan, const TExtractor& extractor,
                              const TRunOptions& options,
                              const std::function<void(int, int)>& progress) {
  TRestoreResult result;
  for (const TRestoreItem& item : plan.items) {
    result.skipped += item.state == TRestoreState::rsExists ? 1 : 0;
  }
  const int count = plan.ToWrite();
  if (count == 0) return result;
  for (const TRestoreSource& source : plan.sources) {
    if (const std::string problem = ExtractProblem(extractor, source.archive.archive);
        !problem.empty()) {
      result.error = problem;
      return result;
    }
  }
  TTemporaryFolders temporary;
  std::vector<std::string> extracted(plan.sources.size());
  int done = 0;
  try {
    // Every archive extracted and checked first: a failure then leaves
    // nothing under a final name.
    for (size_t s = 0; s < plan.sources.size(); ++s) {
      const std::vector<std::string> paths = PathsToExtract(plan, s);
      if (paths.empty()) continue;
      const TIndexedArchive& archive = plan.sources[s].archive;
      const std::string& folder = temporary.Add(plan.sources[s].targetFolder);
      extracted[s] = folder;
      TArchiverReport said(TArchiverFamily::af7Zip);
      TRunOptions run;
      run.input = PasswordInputFor(extractor, archive.archive);
      run.workingDirectory = folder;
      run.stop = options.stop;
      run.output = [&said, &options](int stream, const std::string& line) {
        said.Line(stream, line);
        if (options.output) options.output(stream, line);
      };
      int status = 0;
      try {
        status = Dialect().RunWordsAndWait(extractor.program,
                                           ExtractWords(extractor, archive.archive, folder, paths,
                                                        run.input.has_value()),
                                           run);
      } catch (const ERunStopped&) {
        result.stopped = true;
        return result;
      }
      if (StopAsked(options)) {
        result.stopped = true;
        return result;
      }
      if (status != 0) {
        std::string lines;
        for (const std::string& line : said.ErrorLines()) {
          lines += (lines.empty() ? "" : "; ") + line;
        }
        result.error = "Nothing was restored: 7-Zip could not extract from " + archive.archive +
                       ": " +
                       (lines.empty() ? ExitStatusMeaning(TArchiverFamily::af7Zip, status) : lines);
        return result;
      }
      for (const TRestoreItem& item : plan.items) {
        if (item.source != s || item.state == TRestoreState::rsExists ||
            item.state == TRestoreState::rsRefused) {
          continue;
        }
        const std::string written = Joined(folder, InsideArchivePath(item.entry.path));
        const std::optional<int64_t> size = FileSize(written);
        const std::optional<uint32_t> crc =
            item.entry.crc && size ? FileCrc32(written) : std::optional<uint32_t>{};
        if (!size || *size != item.entry.bytes || (item.entry.crc && crc != item.entry.crc)) {
          result.error = "Nothing was restored: " + item.entry.path + " from " +
                         archive.archive + " is not as the archive's listing says (" +
                         (size ? "size or CRC differs" : "not extracted") + ")";
          return result;
        }
      }
    }
    for (const TRestoreItem& item : plan.items) {
      if (item.state == TRestoreState::rsExists || item.state == TRestoreState::rsRefused) {
        continue;
      }
      if (StopAsked(options)) {
        result.stopped = true;
        return result;
      }
      const std::string written =
          Joined(extracted[item.source], InsideArchivePath(item.entry.path));
      ForceDirectories(Dialect().FolderOf(item.target));
      const bool moved = item.state == TRestoreState::rsOverwrite
                             ? MoveFileOver(written, item.target)
                             : MoveFileNew(written, item.target);
      if (!moved) {
        // Something came in its place since the plan, or the folder refuses it.
        result.error = (Exists(item.target) ? "Left alone, since it is there now: "
                                            : "Cannot put the restored file in place: ") +
                       item.target;
        return result;
      }
      ++result.restored;
      if (progress) progress(++done, count);
    }
  } catch (const Exception& e) {
    result.error = e.Message();
  }
  return result;
}

}  // namespace pw
