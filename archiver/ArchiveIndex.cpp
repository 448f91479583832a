#include "archiver/ArchiveIndex.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <unordered_map>

#include "archiver/ArchiveCommands.h"
#include "archiver/Dialect.h"
#include "archiver/JournalResult.h"
#include "archiver/Password.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"

namespace pw {

namespace {

std::string Escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

// False for a lone backslash at the end or an escape this program does not write.
bool Unescaped(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      default: return false;
    }
  }
  return true;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (size_t at; (at = line.find('\t', start)) != std::string_view::npos; start = at + 1) {
    fields.push_back(line.substr(start, at - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

std::optional<int64_t> Number(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  int64_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::optional<uint32_t> Hex(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t n = 0;
  for (const char c : text) {
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) return std::nullopt;
    n = n << 4 | static_cast<uint32_t>(digit);
  }
  return n;
}

std::string HexText(uint64_t n, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, n >>= 4) text[static_cast<size_t>(i)] = kDigits[n & 15];
  return text;
}

// The whole file, or none when it cannot be read.
std::optional<std::string> WholeFile(const std::string& fileName) {
  try {
    TFileStream file(fileName, TFileStream::TMode::fmOpenReadShared);
    const int64_t size = file.Seek(0, TSeekOrigin::soEnd);
    file.SetPosition(0);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0) file.ReadBuffer(bytes.data(), size);
    return bytes;
  } catch (const Exception&) {
    return std::nullopt;
  }
}

// Made for the owner alone: the names of every file archived are private.
void WriteWhole(const std::string& fileName, const std::string& bytes) {
  TSafeFileWriter file(fileName, true);
  file.Stream().WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  file.Commit();
}

// Each line of the text, without its line end.
template <class Each>
void ForEachLine(std::string_view text, Each&& each) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (!each(text.substr(start, end - start))) return;
    start = end + 1;
  }
}

// Newest first, by the job's start, then by the directory's position.
void SortNewestFirst(std::vector<TIndexedArchive>& archives) {
  std::vector<std::pair<int64_t, size_t>> order;
  for (size_t i = 0; i < archives.size(); ++i) {
    order.emplace_back(JournalSeconds(archives[i].started).value_or(0), i);
  }
  std::stable_sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first > b.first;
    return archives[a.second].position < archives[b.second].position;
  });
  std::vector<TIndexedArchive> sorted;
  sorted.reserve(archives.size());
  for (const auto& [seconds, i] : order) sorted.push_back(std::move(archives[i]));
  archives = std::move(sorted);
}

std::string Joined(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == Dialect().Separator()) return folder + name;
  return folder + Dialect().Separator() + name;
}

// The index's writers take turns through a lock file of its own.
class TIndexLock {
 public:
  explicit TIndexLock(const std::string& folder)
      : file_(Joined(folder, "lock"), TFileStream::TMode::fmAppend) {
    file_.Lock();
  }

 private:
  TFileStream file_;
};

void MakeFolder(const std::string& folder) {
  if (!Get<IFileSystem>().DirectoryExists(folder)) ForceDirectories(folder);
}

// FNV-1a, 64 bits, of the texts parted by zero bytes.
uint64_t Fnv(std::initializer_list<std::string_view> texts) {
  uint64_t hash = 14695981039346656037ull;
  for (const std::string_view text : texts) {
    for (const char c : text) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ull;
    }
    hash *= 1099511628211ull;  // the zero byte between
  }
  return hash;
}

constexpr const char kFileSuffix[] = ".dir";

std::string DirectoryFileName(const std::string& folder, const std::string& directory) {
  return Joined(folder, HexText(Fnv({directory}), 16) + kFileSuffix);
}

bool IsDirectoryFile(std::string_view name) {
  const size_t n = sizeof kFileSuffix - 1;
  return name.size() > n && name.substr(name.size() - n) == kFileSuffix;
}

// Runs of archive numbers, "3-9,12": the archives of a directory that hold
// one version of an entry. Nights mostly hold what the night before held,
// so an entry that stays as it was is one run however many nights hold it.
using TRuns = std::vector<std::pair<uint32_t, uint32_t>>;

std::string RunsText(const TRuns& runs) {
  std::string text;
  for (const auto& [first, last] : runs) {
    if (!text.empty()) text += ',';
    text += std::to_string(first);
    if (last != first) text += '-' + std::to_string(last);
  }
  return text;
}

std::optional<TRuns> ParseRuns(std::string_view text) {
  TRuns runs;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view run = text.substr(start, end - start);
    const size_t dash = run.find('-');
    const auto first = Number(run.substr(0, dash));
    const auto last = dash == std::string_view::npos ? first : Number(run.substr(dash + 1));
    if (!first || !last || *last < *first || *last > UINT32_MAX ||
        (!runs.empty() && *first <= runs.back().second)) {
      return std::nullopt;
    }
    runs.emplace_back(static_cast<uint32_t>(*first), static_cast<uint32_t>(*last));
    start = end + 1;
  }
  return runs;
}

// One version of an entry: the path, kind, size, time and CRC that a run of
// a directory's archives all hold.
struct TVersion {
  uint32_t path = 0;
  bool folder = false;
  int64_t bytes = 0;
  std::string modified;
  std::optional<uint32_t> crc;
  TRuns runs;

  bool HeldBy(uint32_t number) const {
    const auto at = std::upper_bound(runs.begin(), runs.end(), number,
                                     [](uint32_t n, const auto& run) { return n < run.first; });
    return at != runs.begin() && std::prev(at)->second >= number;
  }
};

// One archive the index holds, by its number among the directory's.
struct TSlot {
  uint32_t number = 0;
  TIndexedArchive archive;
  int64_t entries = 0;
};

// Everything the index holds of one directory's archives, as its file
// holds it:
//   packetwright-index 2
//   D  directory  next-number
//   A  number  position  bytes  entries  started  archive    (each archive)
//   P  path                                                 (each path, numbered from 0)
//   V  path-number  F|D  bytes  modified  crc  runs          (each version)
//   .
// fields parted by tabs, texts escaped (backslash, tab, line end). The last
// line tells a whole file from a cut one.
class TDirectoryIndex {
 public:
  std::string directory;
  uint32_t next = 1;
  std::vector<TSlot> slots;
  std::vector<std::string> paths;
  std::vector<TVersion> versions;

  const TSlot* SlotOf(const std::string& key) const {
    for (const TSlot& s : slots) {
      if (s.archive.Key() == key) return &s;
    }
    return nullptr;
  }

  // Adds an archive's entries as the next archive; an archive of the same
  // name goes, since it was written again.
  void Add(const TIndexedArchive& archive, const std::vector<TListedEntry>& entries) {
    std::erase_if(slots, [&](const TSlot& s) { return s.archive.archive == archive.archive; });
    if (pathNumbers_.empty() && !paths.empty()) Map();
    const uint32_t number = next++;
    slots.push_back({number, archive, static_cast<int64_t>(entries.size())});
    for (const TListedEntry& e : entries) {
      const auto [p, newPath] = pathNumbers_.try_emplace(e.path, static_cast<uint32_t>(paths.size()));
      if (newPath) paths.push_back(e.path);
      const std::string key = VersionKey(p->second, e.folder, e.bytes, e.modified, e.crc);
      const auto [v, newVersion] = versionNumbers_.try_emplace(key, versions.size());
      if (newVersion) {
        versions.push_back({p->second, e.folder, e.bytes, e.modified, e.crc, {}});
      }
      TRuns& runs = versions[v->second].runs;
      if (!runs.empty() && runs.back().second == number) continue;  // named twice
      if (!runs.empty() && runs.back().second + 1 == number) {
        runs.back().second = number;
      } else {
        runs.emplace_back(number, number);
      }
    }
  }

  // The entries of one archive, by path.
  std::vector<TListedEntry> EntriesOf(uint32_t number) const {
    std::vector<TListedEntry> entries;
    for (const TVersion& v : versions) {
      if (v.HeldBy(number)) entries.push_back({paths[v.path], v.bytes, v.folder, v.modified, v.crc});
    }
    std::sort(entries.begin(), entries.end(),
              [](const TListedEntry& a, const TListedEntry& b) { return a.path < b.path; });
    return entries;
  }

  // The file's text, holding only what its archives still hold.
  std::string Text() const {
    std::vector<uint32_t> numbers;
    for (const TSlot& s : slots) numbers.push_back(s.number);
    std::sort(numbers.begin(), numbers.end());
    const auto anyHeld = [&](const TRuns& runs, TRuns& kept) {
      for (const auto& run : runs) {
        const auto at = std::lower_bound(numbers.begin(), numbers.end(), run.first);
        if (at != numbers.end() && *at <= run.second) kept.push_back(run);
      }
      return !kept.empty();
    };
    std::string text = std::string(kHead) + "\nD\t" + Escaped(directory) + "\t" +
                       std::to_string(next) + "\n";
    for (const TSlot& s : slots) {
      const TIndexedArchive& a = s.archive;
      text += "A\t" + std::to_string(s.number) + "\t" + std::to_string(a.position) + "\t" +
              std::to_string(a.bytes) + "\t" + std::to_string(s.entries) + "\t" +
              Escaped(a.started) + "\t" + Escaped(a.archive) + "\n";
    }
    std::vector<int64_t> renumbered(paths.size(), -1);
    std::string versionLines;
    int64_t used = 0;
    std::string pathLines;
    for (const TVersion& v : versions) {
      TRuns kept;
      if (!anyHeld(v.runs, kept)) continue;
      if (renumbered[v.path] < 0) {
        renumbered[v.path] = used++;
        pathLines += "P\t" + Escaped(paths[v.path]) + "\n";
      }
      versionLines += "V\t" + std::to_string(renumbered[v.path]) + (v.folder ? "\tD\t" : "\tF\t") +
                      std::to_string(v.bytes) + "\t" + Escaped(v.modified) + "\t" +
                      (v.crc ? HexText(*v.crc, 8) : std::string()) + "\t" + RunsText(kept) + "\n";
    }
    return text + pathLines + versionLines + ".\n";
  }

  static constexpr const char kHead[] = "packetwright-index 2";

 private:
  static std::string VersionKey(uint32_t path, bool folder, int64_t bytes,
                                const std::string& modified, const std::optional<uint32_t>& crc) {
    return std::to_string(path) + (folder ? "D" : "F") + std::to_string(bytes) + "\t" + modified +
           "\t" + (crc ? HexText(*crc, 8) : std::string());
  }

  void Map() {
    for (size_t i = 0; i < paths.size(); ++i) pathNumbers_.emplace(paths[i], static_cast<uint32_t>(i));
    for (size_t i = 0; i < versions.size(); ++i) {
      const TVersion& v = versions[i];
      versionNumbers_.emplace(VersionKey(v.path, v.folder, v.bytes, v.modified, v.crc), i);
    }
  }

  std::unordered_map<std::string, uint32_t> pathNumbers_;
  std::unordered_map<std::string, size_t> versionNumbers_;
};

// How much of a directory's file to read.
enum class TRead { rdArchives, rdAll };

// A directory's file read, or why not. Where the file is damaged, the
// archives read before the damage are still named, so that they can be told.
struct TDirectoryFile {
  bool exists = false;
  bool damaged = false;
  TDirectoryIndex index;
};

// Reads a directory's file. With a find's matcher, only the versions of the
// paths it takes are read, the others passed over unparsed.
TDirectoryFile ReadDirectoryFile(const std::string& fileName, TRead read,
                                 const std::function<bool(std::string_view path)>& takes = {}) {
  TDirectoryFile file;
  const std::optional<std::string> text = WholeFile(fileName);
  if (!text) return file;
  file.exists = true;
  TDirectoryIndex& d = file.index;
  // A file cut short is damaged however little of it is read.
  if (text->size() < 3 || text->compare(text->size() - 3, 3, "\n.\n") != 0) file.damaged = true;
  std::vector<bool> taken;
  std::string_view rest = *text;
  const auto nextLine = [&rest](std::string_view& line) {
    const size_t end = rest.find('\n');
    if (end == std::string_view::npos) return false;
    line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    return true;
  };
  std::string_view line;
  bool whole = false;
  bool good = nextLine(line) && line == TDirectoryIndex::kHead && nextLine(line);
  if (good) {
    const std::vector<std::string_view> f = Fields(line);
    const auto next = f.size() == 3 && f[0] == "D" ? Number(f[2]) : std::nullopt;
    good = next && *next > 0 && *next <= UINT32_MAX && Unescaped(f[1], d.directory);
    if (good) d.next = static_cast<uint32_t>(*next);
  }
  while (good && nextLine(line)) {
    if (line == ".") {
      whole = rest.empty();
      break;
    }
    const char tag = line.empty() ? '\0' : line[0];
    if (tag == 'A') {
      const std::vector<std::string_view> f = Fields(line);
      TSlot s;
      const auto number = f.size() == 7 ? Number(f[1]) : std::nullopt;
      const auto position = f.size() == 7 ? Number(f[2]) : std::nullopt;
      const auto bytes = f.size() == 7 ? Number(f[3]) : std::nullopt;
      const auto entries = f.size() == 7 ? Number(f[4]) : std::nullopt;
      good = number && *number < d.next && position && bytes && entries &&
             Unescaped(f[5], s.archive.started) && Unescaped(f[6], s.archive.archive) &&
             d.paths.empty() && d.versions.empty();
      if (!good) break;
      s.number = static_cast<uint32_t>(*number);
      s.archive.directory = d.directory;
      s.archive.position = static_cast<int>(*position);
      s.archive.bytes = *bytes;
      s.entries = *entries;
      d.slots.push_back(std::move(s));
      continue;
    }
    if (read == TRead::rdArchives) {
      file.damaged = file.damaged || !good;
      return file;
    }
    if (tag == 'P') {
      std::string path;
      good = line.size() > 2 && line[1] == '\t' && Unescaped(line.substr(2), path) &&
             d.versions.empty();
      if (good && takes) taken.push_back(takes(path));
      if (good) d.paths.push_back(std::move(path));
      continue;
    }
    if (tag != 'V' || line.size() < 3 || line[1] != '\t') {
      good = false;
      break;
    }
    const size_t pathEnd = line.find('\t', 2);
    const auto path = pathEnd == std::string_view::npos ? std::nullopt
                                                        : Number(line.substr(2, pathEnd - 2));
    if (!path || *path >= static_cast<int64_t>(d.paths.size())) {
      good = false;
      break;
    }
    if (takes && !taken[static_cast<size_t>(*path)]) continue;
    const std::vector<std::string_view> f = Fields(line);
    TVersion v;
    v.path = static_cast<uint32_t>(*path);
    const auto bytes = f.size() == 7 ? Number(f[3]) : std::nullopt;
    std::optional<TRuns> runs = f.size() == 7 ? ParseRuns(f[6]) : std::nullopt;
    good = bytes && runs && (f[2] == "F" || f[2] == "D") && Unescaped(f[4], v.modified);
    if (good && !f[5].empty()) {
      v.crc = Hex(f[5]);
      good = v.crc.has_value();
    }
    if (!good) break;
    v.folder = f[2] == "D";
    v.bytes = *bytes;
    v.runs = std::move(*runs);
    d.versions.push_back(std::move(v));
  }
  file.damaged = file.damaged || !good || !whole;
  return file;
}

void WriteDirectoryFile(const std::string& fileName, const TDirectoryIndex& index) {
  if (index.slots.empty()) {
    Get<IFileSystem>().RemoveFileAt(fileName);
  } else {
    WriteWhole(fileName, index.Text());
  }
}

// The index's files of directories.
std::vector<std::string> DirectoryFiles(const std::string& folder) {
  std::vector<std::string> files;
  TDirectoryListing listing;
  if (!Get<IFileSystem>().ListDirectory(folder, listing)) return files;
  for (const TDirectoryListing::Entry& e : listing.entries) {
    const std::string_view name = listing.Name(e);
    if (!e.isDirectory && IsDirectoryFile(name)) files.push_back(Joined(folder, std::string(name)));
  }
  std::sort(files.begin(), files.end());
  return files;
}

char Folded(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsPathSeparator(char c) {
  return Dialect().IsSeparator(c);
}

}  // namespace

std::string TIndexedArchive::Key() const {
  return HexText(Fnv({archive, std::to_string(bytes), started}), 16);
}

std::vector<TIndexedArchive> LiveArchives(const std::string& journalFile) {
  std::unordered_map<std::string, size_t> at;  // by archive name
  std::vector<std::optional<TIndexedArchive>> archives;
  ForEachJournalRecord(journalFile, [&](TJournalRecord& r, std::string_view) {
    if (r.archive.empty()) return;
    if (!r.IsJob()) {
      // A deletion by a prune; one that failed left the archive where it was.
      if (r.kind == TRecordKind::rkPruned && !r.error) {
        if (const auto found = at.find(r.archive); found != at.end()) {
          archives[found->second].reset();
        }
      }
      return;
    }
    if (!JobArchived(r)) return;
    TIndexedArchive a{r.archive, r.directory, r.position, r.started, r.bytes.value_or(-1)};
    const auto [found, added] = at.try_emplace(r.archive, archives.size());
    if (added) {
      archives.emplace_back(std::move(a));
    } else {
      archives[found->second] = std::move(a);
    }
  });
  std::vector<TIndexedArchive> live;
  for (std::optional<TIndexedArchive>& a : archives) {
    if (!a) continue;
    TEntryFacts facts;
    if (!Get<IFileSystem>().LookAt(a->archive, facts) || facts.kind != TEntryKind::ekFile) continue;
    if (a->bytes >= 0 && facts.size != a->bytes) continue;
    a->bytes = facts.size;
    live.push_back(std::move(*a));
  }
  SortNewestFirst(live);
  return live;
}

std::string IndexFolderName(const std::string& journalFile) {
  return Joined(Dialect().FolderOf(journalFile), "Packetwright.index");
}

std::optional<std::vector<TListedEntry>> SevenZipEntries(const std::string& program,
                                                         const std::string& params,
                                                         const std::string& archive,
                                                         const TRunOptions& options,
                                                         std::string& error) {
  const TDialect& dialect = Dialect();
  std::vector<std::string> lines, errors;
  TRunOptions listing;
  listing.workingDirectory = dialect.FolderOf(archive);
  listing.stop = options.stop;
  listing.input = options.input;
  listing.output = [&](int stream, const std::string& line) {
    (stream == 1 ? lines : errors).push_back(line);
  };
  try {
    const int status = dialect.RunWordsAndWait(
        program, SevenZipWords({"l", "-slt"}, dialect.SplitParameters(params), archive), listing);
    if (status != 0) {
      std::string said;
      for (const std::string& line : errors) {
        if (!line.empty()) said += (said.empty() ? "" : "; ") + line;
      }
      error = "The archive could not be listed: " +
              (said.empty() ? ExitStatusMeaning(TArchiverFamily::af7Zip, status) : said);
      return std::nullopt;
    }
  } catch (const Exception& e) {
    error = "The archive could not be listed: " + e.Message();
    return std::nullopt;
  }
  return SevenZipListing(lines);
}

TArchiveIndex::TArchiveIndex(const std::string& journalFile)
    : folder_(IndexFolderName(journalFile)), journal_(journalFile) {}

namespace {

// A directory's file brought in line with what is still there and added to:
// read again under the lock, so that what another program wrote meanwhile
// stays. live: the keys of the directory's archives still there (none: all
// that the file holds stay). Returns the archives dropped.
int UpdateDirectoryFile(const std::string& folder, const std::string& directory,
                        const std::set<std::string>* live,
                        const std::vector<std::pair<TIndexedArchive, std::vector<TListedEntry>>>& adds) {
  const std::string fileName = DirectoryFileName(folder, directory);
  const TIndexLock lock(folder);
  TDirectoryFile file = ReadDirectoryFile(fileName, TRead::rdAll);
  TDirectoryIndex& index = file.index;
  if (!file.exists || file.damaged || index.directory != directory) index = TDirectoryIndex{};
  index.directory = directory;
  const size_t before = index.slots.size();
  if (live) std::erase_if(index.slots, [&](const TSlot& s) { return !live->count(s.archive.Key()); });
  const int dropped = static_cast<int>(before - index.slots.size());
  for (const auto& [archive, entries] : adds) {
    if (!index.SlotOf(archive.Key())) index.Add(archive, entries);
  }
  if (dropped > 0 || !adds.empty() || (file.exists && file.damaged)) {
    WriteDirectoryFile(fileName, index);
  }
  return dropped;
}

}  // namespace

TIndexRefresh TArchiveIndex::Refresh(const TArchiveLister& lister,
                                     const std::function<bool()>& stop,
                                     const std::function<void(int, int)>& progress) {
  TIndexRefresh done;
  const std::vector<TIndexedArchive> live = LiveArchives(journal_);
  MakeFolder(folder_);
  std::map<std::string, std::set<std::string>> liveKeys;  // by directory
  for (const TIndexedArchive& a : live) liveKeys[a.directory].insert(a.Key());
  // What each directory's file holds now; the files of directories without
  // an archive still there go.
  std::set<std::string> held;
  std::set<std::string> dropping;  // directories whose files hold archives gone
  for (const std::string& fileName : DirectoryFiles(folder_)) {
    const TDirectoryFile file = ReadDirectoryFile(fileName, TRead::rdArchives);
    const auto keys = liveKeys.find(file.index.directory);
    if (file.damaged || keys == liveKeys.end() ||
        fileName != DirectoryFileName(folder_, file.index.directory)) {
      // Its archives still there are listed again below.
      const TIndexLock lock(folder_);
      Get<IFileSystem>().RemoveFileAt(fileName);
      if (!file.damaged) done.dropped += static_cast<int>(file.index.slots.size());
      continue;
    }
    for (const TSlot& s : file.index.slots) {
      const std::string key = s.archive.Key();
      if (keys->second.count(key)) {
        held.insert(key);
      } else {
        dropping.insert(file.index.directory);
      }
    }
  }
  using TAdds = std::vector<std::pair<TIndexedArchive, std::vector<TListedEntry>>>;
  std::map<std::string, TAdds> pending;  // by directory
  const auto flush = [&] {
    for (const std::string& directory : dropping) pending[directory];
    dropping.clear();
    for (const auto& [directory, adds] : pending) {
      done.dropped += UpdateDirectoryFile(folder_, directory, &liveKeys[directory], adds);
    }
    pending.clear();
  };
  auto lastFlush = std::chrono::steady_clock::now();
  int at = 0;
  for (const TIndexedArchive& a : live) {
    if (progress) progress(at, static_cast<int>(live.size()));
    ++at;
    if (held.count(a.Key())) continue;
    if (stop && stop()) {
      done.stopped = true;
      break;
    }
    std::string error;
    std::optional<std::vector<TListedEntry>> entries = lister(a, error);
    if (!entries) {
      if (stop && stop()) {
        done.stopped = true;
        break;
      }
      done.problems.push_back(a.archive + ": " + error);
      continue;
    }
    pending[a.directory].emplace_back(a, std::move(*entries));
    ++done.listed;
    // Written now and then, so that a long listing stopped or cut short
    // keeps most of what it did.
    if (std::chrono::steady_clock::now() - lastFlush > std::chrono::seconds(5)) {
      flush();
      lastFlush = std::chrono::steady_clock::now();
    }
  }
  if (progress) progress(at, static_cast<int>(live.size()));
  flush();
  return done;
}

void TArchiveIndex::Add(const TIndexedArchive& archive, const std::vector<TListedEntry>& entries) {
  MakeFolder(folder_);
  UpdateDirectoryFile(folder_, archive.directory, nullptr, {{archive, entries}});
}

std::vector<TIndexedArchive> TArchiveIndex::Archives() const {
  std::vector<TIndexedArchive> archives;
  for (const std::string& fileName : DirectoryFiles(folder_)) {
    TDirectoryFile file = ReadDirectoryFile(fileName, TRead::rdArchives);
    for (TSlot& s : file.index.slots) archives.push_back(std::move(s.archive));
  }
  SortNewestFirst(archives);
  return archives;
}

std::optional<std::vector<TListedEntry>> TArchiveIndex::Listing(
    const TIndexedArchive& archive) const {
  const TDirectoryFile file =
      ReadDirectoryFile(DirectoryFileName(folder_, archive.directory), TRead::rdAll);
  if (file.damaged || file.index.directory != archive.directory) return std::nullopt;
  const TSlot* slot = file.index.SlotOf(archive.Key());
  if (!slot) return std::nullopt;
  return file.index.EntriesOf(slot->number);
}

std::vector<TFoundCopy> TArchiveIndex::Find(const std::string& pattern,
                                            const std::string& directory,
                                            std::vector<std::string>* damaged) {
  const bool ignoreCase = Dialect().NamesIgnoreCase();
  const bool byPath = std::any_of(pattern.begin(), pattern.end(), IsPathSeparator);
  const auto takes = [&](std::string_view path) {
    if (!byPath) {
      const auto last = std::find_if(path.rbegin(), path.rend(), IsPathSeparator);
      path.remove_prefix(static_cast<size_t>(path.rend() - last));
    }
    return PatternMatches(pattern, path, ignoreCase);
  };
  const std::vector<std::string> files =
      directory.empty() ? DirectoryFiles(folder_)
                        : std::vector<std::string>{DirectoryFileName(folder_, directory)};
  std::vector<TFoundCopy> found;
  std::vector<std::string> bad;
  for (const std::string& fileName : files) {
    const TDirectoryFile file = ReadDirectoryFile(fileName, TRead::rdAll, takes);
    if (!file.exists) continue;
    const TDirectoryIndex& d = file.index;
    if (file.damaged) {
      for (const TSlot& s : d.slots) bad.push_back(s.archive.archive);
      if (d.slots.empty()) bad.push_back(fileName);
      // Gone now, listed again at the next refresh.
      const TIndexLock lock(folder_);
      Get<IFileSystem>().RemoveFileAt(fileName);
      continue;
    }
    if (!directory.empty() && d.directory != directory) continue;
    std::unordered_map<uint32_t, const TSlot*> slots;
    for (const TSlot& s : d.slots) slots.emplace(s.number, &s);
    for (const TVersion& v : d.versions) {
      if (v.folder) continue;
      for (const auto& [first, last] : v.runs) {
        // Runs are short where many archives came and went; look the
        // archives up either way round, whichever is fewer.
        if (static_cast<size_t>(last - first) < slots.size()) {
          for (uint32_t n = first;; ++n) {
            if (const auto s = slots.find(n); s != slots.end()) {
              found.push_back({s->second->archive, {d.paths[v.path], v.bytes, false, v.modified, v.crc}});
            }
            if (n == last) break;
          }
        } else {
          for (const TSlot& s : d.slots) {
            if (s.number >= first && s.number <= last) {
              found.push_back({s.archive, {d.paths[v.path], v.bytes, false, v.modified, v.crc}});
            }
          }
        }
      }
    }
  }
  // Newest night first, then by the directory's position, then by path.
  std::map<std::string, TIndexedArchive> archives;  // by key
  for (const TFoundCopy& c : found) archives.try_emplace(c.archive.Key(), c.archive);
  std::vector<TIndexedArchive> order;
  for (auto& [key, a] : archives) order.push_back(std::move(a));
  SortNewestFirst(order);
  std::unordered_map<std::string, size_t> rank;
  for (const TIndexedArchive& a : order) rank.emplace(a.Key(), rank.size());
  std::vector<std::pair<size_t, size_t>> keyed;  // rank, position in found
  for (size_t i = 0; i < found.size(); ++i) keyed.emplace_back(rank[found[i].archive.Key()], i);
  std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return found[a.second].entry.path < found[b.second].entry.path;
  });
  std::vector<TFoundCopy> sorted;
  sorted.reserve(found.size());
  for (const auto& [r, i] : keyed) sorted.push_back(std::move(found[i]));
  if (damaged) *damaged = bad;
  return sorted;
}

std::optional<TArchiveIndex::TNewest> TArchiveIndex::Newest(
    const std::function<bool(std::string_view)>& takes, const std::string& directory) const {
  const std::vector<std::string> files =
      directory.empty() ? DirectoryFiles(folder_)
                        : std::vector<std::string>{DirectoryFileName(folder_, directory)};
  std::optional<TNewest> newest;
  for (const std::string& fileName : files) {
    const TDirectoryFile file = ReadDirectoryFile(fileName, TRead::rdAll, takes);
    const TDirectoryIndex& d = file.index;
    if (!file.exists || file.damaged || d.versions.empty() ||
        (!directory.empty() && d.directory != directory)) {
      continue;
    }
    std::vector<TIndexedArchive> archives;
    for (const TSlot& s : d.slots) archives.push_back(s.archive);
    if (newest) archives.push_back(newest->archive);
    SortNewestFirst(archives);
    for (const TIndexedArchive& a : archives) {
      if (newest && a == newest->archive) break;  // the newest of another directory is newer
      const TSlot* slot = d.SlotOf(a.Key());
      std::vector<TListedEntry> entries = d.EntriesOf(slot->number);
      if (!entries.empty()) {
        newest = TNewest{a, std::move(entries)};
        break;
      }
    }
  }
  return newest;
}

std::string IndexNewArchive(const std::string& journalFile, const TArchiveJob& job,
                            const TJournalRecord& record) {
  if (!record.IsJob() || !JobArchived(record) || record.tested != TArchiveTest::atPassed ||
      record.archive.empty()) {
    return "";
  }
  const std::optional<int64_t> size = FileSize(record.archive);
  if (!size) return "The new archive is not there to be indexed: " + record.archive;
  const TIndexedArchive archive{AsReadFromJournal(record.archive),
                                AsReadFromJournal(record.directory),
                                record.position, AsReadFromJournal(record.started),
                                record.bytes.value_or(*size)};
  std::string error;
  TRunOptions listing;
  try {
    listing.input = PasswordInput(job);
  } catch (const Exception& e) {
    return "The archive could not be listed: " + e.Message();
  }
  const std::optional<std::vector<TListedEntry>> entries =
      SevenZipEntries(job.program, job.params, record.archive, listing, error);
  if (!entries) return error;
  try {
    TArchiveIndex(journalFile).Add(archive, *entries);
  } catch (const Exception& e) {
    return "The index of archives could not be written: " + e.Message();
  }
  return "";
}

bool PatternMatches(std::string_view pattern, std::string_view text, bool ignoreCase) {
  size_t p = 0, t = 0;
  size_t starAt = std::string_view::npos, resumeAt = 0;
  const auto same = [ignoreCase](char a, char b) {
    if (IsPathSeparator(a) && IsPathSeparator(b)) return true;
    return ignoreCase ? Folded(a) == Folded(b) : a == b;
  };
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starAt = p++;
      resumeAt = t;
    } else if (p < pattern.size() &&
               ((pattern[p] == '?' && !IsPathSeparator(text[t])) || same(pattern[p], text[t]))) {
      ++p;
      ++t;
    } else if (starAt != std::string_view::npos && !IsPathSeparator(text[resumeAt])) {
      // The star takes one more character, never a separator.
      p = starAt + 1;
      t = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace pw
