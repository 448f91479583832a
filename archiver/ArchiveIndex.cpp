#include "archiver/ArchiveIndex.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "archiver/ArchiveCommands.h"
#include "archiver/Dialect.h"
#include "archiver/JournalResult.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"

namespace pw {

namespace {

constexpr const char kCatalogueHead[] = "packetwright-index 1";
constexpr const char kListingHead[] = "packetwright-listing 1";

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

void WriteWhole(const std::string& fileName, const std::string& bytes) {
  TSafeFileWriter file(fileName);
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

// One catalogue line's archive, with the size of its listing file.
struct TCatalogued {
  TIndexedArchive archive;
  int64_t listingBytes = 0;
  int64_t entries = 0;
};

std::string ListingHeadOf(const TIndexedArchive& a) {
  return std::string(kListingHead) + "\t" + Escaped(a.archive) + "\t" + std::to_string(a.bytes) +
         "\t" + Escaped(a.started);
}

std::string ListingText(const TIndexedArchive& archive, const std::vector<TListedEntry>& entries) {
  std::string text = ListingHeadOf(archive) + "\n";
  for (const TListedEntry& e : entries) {
    text += e.folder ? 'D' : 'F';
    text += '\t' + std::to_string(e.bytes) + '\t' + Escaped(e.modified) + '\t' +
            (e.crc ? HexText(*e.crc, 8) : std::string()) + '\t' + Escaped(e.path) + '\n';
  }
  return text;
}

// The entries of a listing file's text; none where it is not the archive's
// own or is damaged.
std::optional<std::vector<TListedEntry>> ParseListing(std::string_view text,
                                                      const TIndexedArchive& archive) {
  const size_t headEnd = text.find('\n');
  if (headEnd == std::string_view::npos || text.back() != '\n' ||
      text.substr(0, headEnd) != ListingHeadOf(archive)) {
    return std::nullopt;
  }
  std::vector<TListedEntry> entries;
  bool good = true;
  ForEachLine(text.substr(headEnd + 1), [&](std::string_view line) {
    const std::vector<std::string_view> f = Fields(line);
    TListedEntry entry;
    const std::optional<int64_t> bytes = f.size() == 5 ? Number(f[1]) : std::nullopt;
    if (!bytes || (f[0] != "F" && f[0] != "D") || !Unescaped(f[2], entry.modified) ||
        !Unescaped(f[4], entry.path) || entry.path.empty()) {
      good = false;
      return false;
    }
    entry.folder = f[0] == "D";
    entry.bytes = *bytes;
    if (!f[3].empty()) {
      entry.crc = Hex(f[3]);
      if (!entry.crc) {
        good = false;
        return false;
      }
    }
    entries.push_back(std::move(entry));
    return true;
  });
  if (!good) return std::nullopt;
  return entries;
}

std::string CatalogueLine(const TCatalogued& c) {
  const TIndexedArchive& a = c.archive;
  return a.Key() + "\t" + std::to_string(a.position) + "\t" + std::to_string(a.bytes) + "\t" +
         std::to_string(c.listingBytes) + "\t" + std::to_string(c.entries) + "\t" +
         Escaped(a.started) + "\t" + Escaped(a.archive) + "\t" + Escaped(a.directory) + "\n";
}

// The catalogue's lines that can be read; a damaged line is passed over (its
// archive is then listed again), a damaged head or a missing file gives none.
std::vector<TCatalogued> ReadCatalogue(const std::string& fileName) {
  std::vector<TCatalogued> out;
  const std::optional<std::string> text = WholeFile(fileName);
  if (!text) return out;
  const std::string_view all = *text;
  const size_t headEnd = all.find('\n');
  if (headEnd == std::string_view::npos || all.substr(0, headEnd) != kCatalogueHead) return out;
  ForEachLine(all.substr(headEnd + 1), [&](std::string_view line) {
    const std::vector<std::string_view> f = Fields(line);
    if (f.size() != 8) return true;
    TCatalogued c;
    const auto position = Number(f[1]), bytes = Number(f[2]), listing = Number(f[3]),
               entries = Number(f[4]);
    if (!position || !bytes || !listing || !entries || !Unescaped(f[5], c.archive.started) ||
        !Unescaped(f[6], c.archive.archive) || !Unescaped(f[7], c.archive.directory)) {
      return true;
    }
    c.archive.position = static_cast<int>(*position);
    c.archive.bytes = *bytes;
    c.listingBytes = *listing;
    c.entries = *entries;
    if (c.archive.Key() != f[0]) return true;
    out.push_back(std::move(c));
    return true;
  });
  return out;
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

void WriteCatalogue(const std::string& folder, const std::vector<TCatalogued>& catalogue) {
  std::string text = std::string(kCatalogueHead) + "\n";
  for (const TCatalogued& c : catalogue) text += CatalogueLine(c);
  WriteWhole(Joined(folder, "catalogue"), text);
}

// Removes the listing files that the catalogue no longer names.
void RemoveOrphans(const std::string& folder, const std::vector<TCatalogued>& catalogue) {
  std::set<std::string> named;
  for (const TCatalogued& c : catalogue) named.insert(c.archive.Key() + ".list");
  TDirectoryListing listing;
  if (!Get<IFileSystem>().ListDirectory(folder, listing)) return;
  for (const TDirectoryListing::Entry& e : listing.entries) {
    const std::string name(listing.Name(e));
    if (e.isDirectory || name.size() < 5 || name.compare(name.size() - 5, 5, ".list") != 0) {
      continue;
    }
    if (!named.count(name)) Get<IFileSystem>().RemoveFileAt(Joined(folder, name));
  }
}

// The pattern's longest run without a wildcard: a file without it holds no match.
std::string LongestLiteral(std::string_view pattern) {
  std::string_view best;
  size_t start = 0;
  for (size_t i = 0; i <= pattern.size(); ++i) {
    if (i == pattern.size() || pattern[i] == '*' || pattern[i] == '?') {
      if (i - start > best.size()) best = pattern.substr(start, i - start);
      start = i + 1;
    }
  }
  return std::string(best);
}

char Folded(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsPathSeparator(char c) {
  return c == '/' || c == Dialect().Separator();
}

}  // namespace

std::string TIndexedArchive::Key() const {
  // FNV-1a, 64 bits, of the three parted by zero bytes.
  uint64_t hash = 14695981039346656037ull;
  const auto add = [&hash](std::string_view text) {
    for (const char c : text) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ull;
    }
    hash *= 1099511628211ull;  // the zero byte between
  };
  add(archive);
  add(std::to_string(bytes));
  add(started);
  return HexText(hash, 16);
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

TIndexRefresh TArchiveIndex::Refresh(const TArchiveLister& lister,
                                     const std::function<bool()>& stop,
                                     const std::function<void(int, int)>& progress) {
  TIndexRefresh done;
  const std::vector<TIndexedArchive> live = LiveArchives(journal_);
  MakeFolder(folder_);
  std::map<std::string, TCatalogued> kept;  // by key
  for (TCatalogued& c : ReadCatalogue(Joined(folder_, "catalogue"))) {
    std::string key = c.archive.Key();
    kept.emplace(std::move(key), std::move(c));
  }
  std::vector<TCatalogued> catalogue;
  std::set<std::string> liveKeys;
  int at = 0;
  for (const TIndexedArchive& a : live) {
    if (progress) progress(at, static_cast<int>(live.size()));
    ++at;
    const std::string key = a.Key();
    liveKeys.insert(key);
    const std::string listingFile = Joined(folder_, key + ".list");
    const auto found = kept.find(key);
    if (found != kept.end()) {
      const std::optional<int64_t> size = FileSize(listingFile);
      if (size && *size == found->second.listingBytes) {
        catalogue.push_back(found->second);
        continue;
      }
    } else if (const std::optional<std::string> text = WholeFile(listingFile)) {
      // A listing that a lost catalogue still had.
      if (const auto entries = ParseListing(*text, a)) {
        catalogue.push_back({a, static_cast<int64_t>(text->size()),
                             static_cast<int64_t>(entries->size())});
        continue;
      }
    }
    if (stop && stop()) {
      done.stopped = true;
      continue;
    }
    std::string error;
    const std::optional<std::vector<TListedEntry>> entries = lister(a, error);
    if (!entries) {
      if (stop && stop()) {
        done.stopped = true;
      } else {
        done.problems.push_back(a.archive + ": " + error);
      }
      continue;
    }
    const std::string text = ListingText(a, *entries);
    WriteWhole(listingFile, text);
    catalogue.push_back({a, static_cast<int64_t>(text.size()),
                         static_cast<int64_t>(entries->size())});
    ++done.listed;
  }
  if (progress) progress(at, static_cast<int>(live.size()));
  for (const auto& [key, c] : kept) done.dropped += liveKeys.count(key) ? 0 : 1;
  const TIndexLock lock(folder_);
  // What a run added meanwhile stays where its archive is still live.
  for (TCatalogued& c : ReadCatalogue(Joined(folder_, "catalogue"))) {
    const std::string key = c.archive.Key();
    if (!kept.count(key) && liveKeys.count(key) &&
        std::none_of(catalogue.begin(), catalogue.end(),
                     [&](const TCatalogued& k) { return k.archive.Key() == key; })) {
      catalogue.push_back(std::move(c));
    }
  }
  WriteCatalogue(folder_, catalogue);
  if (!done.stopped) RemoveOrphans(folder_, catalogue);
  return done;
}

void TArchiveIndex::Add(const TIndexedArchive& archive, const std::vector<TListedEntry>& entries) {
  MakeFolder(folder_);
  const std::string text = ListingText(archive, entries);
  WriteWhole(Joined(folder_, archive.Key() + ".list"), text);
  const TIndexLock lock(folder_);
  std::vector<TCatalogued> catalogue = ReadCatalogue(Joined(folder_, "catalogue"));
  // An archive written again under its name replaces its older listing.
  std::erase_if(catalogue,
                [&](const TCatalogued& c) { return c.archive.archive == archive.archive; });
  catalogue.push_back({archive, static_cast<int64_t>(text.size()),
                       static_cast<int64_t>(entries.size())});
  WriteCatalogue(folder_, catalogue);
}

std::vector<TIndexedArchive> TArchiveIndex::Archives() const {
  std::vector<TIndexedArchive> archives;
  for (TCatalogued& c : ReadCatalogue(Joined(folder_, "catalogue"))) {
    archives.push_back(std::move(c.archive));
  }
  SortNewestFirst(archives);
  return archives;
}

std::optional<std::vector<TListedEntry>> TArchiveIndex::Listing(
    const TIndexedArchive& archive) const {
  const std::optional<std::string> text = WholeFile(Joined(folder_, archive.Key() + ".list"));
  if (!text) return std::nullopt;
  return ParseListing(*text, archive);
}

std::vector<TFoundCopy> TArchiveIndex::Find(const std::string& pattern,
                                            const std::string& directory,
                                            std::vector<std::string>* damaged) {
  const bool ignoreCase = Dialect().NamesIgnoreCase();
  const bool byPath = std::any_of(pattern.begin(), pattern.end(), IsPathSeparator);
  std::string literal = LongestLiteral(pattern);
  if (ignoreCase) std::transform(literal.begin(), literal.end(), literal.begin(), Folded);
  std::vector<TFoundCopy> found;
  std::vector<std::string> bad;
  for (const TIndexedArchive& archive : Archives()) {
    if (!directory.empty() && archive.directory != directory) continue;
    std::optional<std::string> text = WholeFile(Joined(folder_, archive.Key() + ".list"));
    if (!text) {
      bad.push_back(archive.archive);
      continue;
    }
    // Most listings hold no match: one pass over the bytes tells.
    if (!literal.empty()) {
      if (ignoreCase) {
        std::string folded = *text;
        std::transform(folded.begin(), folded.end(), folded.begin(), Folded);
        if (folded.find(literal) == std::string::npos) continue;
      } else if (text->find(literal) == std::string::npos) {
        continue;
      }
    }
    std::optional<std::vector<TListedEntry>> entries = ParseListing(*text, archive);
    if (!entries) {
      bad.push_back(archive.archive);
      continue;
    }
    const size_t first = found.size();
    for (TListedEntry& entry : *entries) {
      if (entry.folder) continue;
      std::string_view name = entry.path;
      if (!byPath) {
        const auto last = std::find_if(name.rbegin(), name.rend(), IsPathSeparator);
        name.remove_prefix(static_cast<size_t>(name.rend() - last));
      }
      if (PatternMatches(pattern, name, ignoreCase)) found.push_back({archive, std::move(entry)});
    }
    // The archives come newest first; within one, by path.
    std::sort(found.begin() + static_cast<std::ptrdiff_t>(first), found.end(),
              [](const TFoundCopy& a, const TFoundCopy& b) { return a.entry.path < b.entry.path; });
  }
  if (!bad.empty()) {
    // Dropped now, listed again at the next refresh.
    const TIndexLock lock(folder_);
    std::vector<TCatalogued> catalogue = ReadCatalogue(Joined(folder_, "catalogue"));
    std::erase_if(catalogue, [&](const TCatalogued& c) {
      return std::find(bad.begin(), bad.end(), c.archive.archive) != bad.end();
    });
    WriteCatalogue(folder_, catalogue);
    if (damaged) *damaged = bad;
  }
  return found;
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
  const std::optional<std::vector<TListedEntry>> entries =
      SevenZipEntries(job.program, job.params, record.archive, {}, error);
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
