#include "archiver/Preview.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <optional>
#include <unordered_map>
#include <utility>

#include "archiver/Dialect.h"
#include "archiver/PosixScripts.h"
#include "platform/FileSystem.h"
#include "platform/LocaleCompare.h"
#include "platform/NativePath.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

// ---- Names -------------------------------------------------------------------

bool HasWildcard(std::string_view text) {
  return text.find_first_of("*?") != std::string_view::npos;
}

char32_t FoldUnit(char32_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
  return UpperCaseCharacter(c);
}

// The characters of a name as the archivers see them: code points of UTF-8
// on POSIX systems (a byte that is no part of a sequence stands alone), the
// bytes of the ANSI code page on Windows.
#ifdef _WIN32
// The characters of the single-byte ANSI code page.
const std::u32string& AnsiCharacters() {
  static const std::u32string table = [] {
    std::u32string characters(256, 0);
    for (int byte = 0; byte < 256; ++byte) {
      const std::u16string unit = Local8BitToUtf16(std::string(1, static_cast<char>(byte)));
      characters[static_cast<size_t>(byte)] =
          unit.size() == 1 ? static_cast<char32_t>(unit[0]) : static_cast<char32_t>(byte);
    }
    return characters;
  }();
  return table;
}
#endif

void Units(std::string_view text, bool fold, std::u32string& out) {
  out.clear();
  for (size_t i = 0; i < text.size();) {
    char32_t c = static_cast<unsigned char>(text[i]);
    size_t length = 1;
    if (c >= 0x80) {
#ifdef _WIN32
      c = AnsiCharacters()[c];
#else
      char32_t decoded;
      if (const size_t n = DecodeUtf8At(text, i, decoded)) c = decoded, length = n;
#endif
    }
    out.push_back(fold ? FoldUnit(c) : c);
    i += length;
  }
}

// 7-Zip's matching: "*" any run of characters, "?" exactly one.
template <typename Char>
bool Glob(const Char* mask, size_t maskSize, const Char* name, size_t nameSize,
          size_t (*step)(const Char*, size_t, size_t)) {
  size_t m = 0, n = 0, starMask = SIZE_MAX, starName = 0;
  while (n < nameSize) {
    if (m < maskSize && mask[m] == '*') {
      starMask = ++m;
      starName = n;
    } else if (m < maskSize && mask[m] == '?') {
      ++m;
      n = step(name, nameSize, n);
    } else if (m < maskSize && mask[m] == name[n]) {
      ++m, ++n;
    } else if (starMask != SIZE_MAX) {
      m = starMask;
      n = starName = step(name, nameSize, starName);
    } else {
      return false;
    }
  }
  while (m < maskSize && mask[m] == '*') ++m;
  return m == maskSize;
}

// One character of UTF-8, as Units() reads it: a sequence the decoder takes,
// or a byte that is no part of one alone ("\xC0\xAF" is two).
[[maybe_unused]] size_t NextUtf8(const char* name, size_t size, size_t at) {
  char32_t decoded;
  const size_t n = DecodeUtf8At(std::string_view(name, size), at, decoded);
  return at + (n ? n : 1);
}
[[maybe_unused]] size_t NextByte(const char*, size_t, size_t at) {
  return at + 1;
}
size_t NextUnit(const char32_t*, size_t, size_t at) {
  return at + 1;
}

// Windows' matching of FindFirstFile: "?" before a dot or at the end also
// matches nothing, "*." stops at the last dot, a dot before "*", "?" or the
// end also matches the end of the name. So "*.*" matches every name and "*."
// the names without a dot.
enum : char32_t { kDosStar = 0x110000, kDosQm, kDosDot };

std::u32string WindowsExpression(const std::u32string& mask) {
  std::u32string out;
  for (size_t i = 0; i < mask.size(); ++i) {
    const char32_t next = i + 1 < mask.size() ? mask[i + 1] : 0;
    if (mask[i] == '?') {
      out.push_back(kDosQm);
    } else if (mask[i] == '*' && next == '.') {
      out.push_back(kDosStar);
    } else if (mask[i] == '.' && (next == '?' || next == '*' || next == 0)) {
      out.push_back(kDosDot);
    } else {
      out.push_back(mask[i]);
    }
  }
  return out;
}

bool WindowsMatch(const std::u32string& expression, const std::u32string& name) {
  const size_t m = expression.size(), n = name.size();
  const size_t lastDot = name.rfind(U'.');
  // can[p][i]: expression from p matches name from i.
  std::vector<char> can((m + 1) * (n + 1), 0);
  const auto at = [&](size_t p, size_t i) -> char& { return can[p * (n + 1) + i]; };
  at(m, n) = 1;
  for (size_t p = m; p-- > 0;) {
    const char32_t e = expression[p];
    for (size_t i = n + 1; i-- > 0;) {
      bool ok = false;
      if (e == '*') {
        ok = at(p + 1, i) || (i < n && at(p, i + 1));
      } else if (e == kDosStar) {
        ok = at(p + 1, i) || (i < n && i != lastDot && at(p, i + 1));
      } else if (e == kDosQm) {
        if (i == n || name[i] == '.') {
          size_t q = p;
          while (q < m && expression[q] == kDosQm) ++q;
          ok = at(q, i);
        } else {
          ok = at(p + 1, i + 1);
        }
      } else if (e == kDosDot) {
        ok = (i == n && at(p + 1, i)) || (i < n && name[i] == '.' && at(p + 1, i + 1));
      } else {
        ok = i < n && name[i] == e && at(p + 1, i + 1);
      }
      at(p, i) = ok;
    }
  }
  return at(0, 0);
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool SameName(std::string_view a, std::string_view b, bool caseSensitive) {
  if (caseSensitive) return a == b;
  thread_local std::u32string x, y;
  Units(a, true, x);
  Units(b, true, y);
  return x == y;
}

// ---- The masks as the job hands them over -----------------------------------

enum class TRecursion { rNone, rAlways, rWildcardsOnly };

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// "-x", "-xr", "-xr-", "-xr0" and the like: the recursion a 7-Zip mask
// switch gives, after the switch's letter.
bool SwitchRecursion(std::string_view rest, TRecursion common, TRecursion& recursion) {
  if (rest.empty()) return recursion = common, true;
  if (rest == "r" || rest == "R") return recursion = TRecursion::rAlways, true;
  if (rest == "r-" || rest == "R-") return recursion = TRecursion::rNone, true;
  if (rest == "r0" || rest == "R0") return recursion = TRecursion::rWildcardsOnly, true;
  return false;
}

class TRequestMaker {
 public:
  TRequestMaker(TPreviewRequest& request, const TDialect& dialect)
      : r_(request), dialect_(dialect) {}

  TPreviewPattern Pattern(std::string entry, TRecursion recursion, int mask) const {
    // A full path without wildcards names one file or folder: the archive
    // folder's, which only the directory's own is.
    if (dialect_.EntryBelowDirectory(entry, r_.job.directory) && !HasWildcard(entry)) {
      recursion = TRecursion::rNone;
    }
    std::vector<std::string> parts;
    std::string part;
    for (const char c : entry) {
      if (dialect_.IsSeparator(c)) {
        parts.push_back(part);
        part.clear();
      } else {
        part += c;
      }
    }
    parts.push_back(part);
    TPreviewPattern pattern;
    pattern.mask = mask;
    pattern.wildcards = wildcards_;
    if (parts.size() > 1 && parts.back().empty()) {
      pattern.forFiles = false;
      parts.pop_back();
    }
    // "./-name": the archiver drops the current folder's steps.
    size_t first = 0;
    while (first + 1 < parts.size() && (parts[first] == "." || parts[first].empty())) ++first;
    parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(first));
    bool anyWildcard = false;
    for (const std::string& p : parts) anyWildcard = anyWildcard || HasWildcard(p);
    anyWildcard = anyWildcard && wildcards_;
    size_t fixed = 0;
    while (fixed + 1 < parts.size() && !(wildcards_ && HasWildcard(parts[fixed]))) ++fixed;
    pattern.fixed.assign(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(fixed));
    pattern.parts.assign(parts.begin() + static_cast<std::ptrdiff_t>(fixed), parts.end());
    pattern.recursive = recursion == TRecursion::rAlways ||
                        (recursion == TRecursion::rWildcardsOnly && anyWildcard);
    return pattern;
  }

  // What the parameters say about the walk and the masks, and the masks they
  // add of their own.
  void Parameters(TRecursion& recursion) {
    const std::vector<std::string> words = dialect_.SplitParameters(r_.job.params);
    recursion = TRecursion::rNone;
    if (r_.dialect == TMaskDialect::mdWindows) {
      for (const std::string& word : words) {
        const std::string lower = Lower(word);
        if (lower == "-r" || lower == "-r0" || lower == "/r") recursion = TRecursion::rAlways;
      }
      return;
    }
    for (const std::string& word : words) {
      const std::string lower = Lower(word);
      if (lower == "-r") recursion = TRecursion::rAlways;
      if (lower == "-r-") recursion = TRecursion::rNone;
      if (lower == "-r0") recursion = TRecursion::rWildcardsOnly;
      if (lower == "-snl") r_.linksAsLinks = true;
      if (lower == "-ssc") r_.caseSensitive = true;
      if (lower == "-ssc-") r_.caseSensitive = false;
      if (lower == "-spd") wildcards_ = false;
    }
    for (const std::string& word : words) {
      if (word.size() < 3 || word[0] != '-') continue;
      const char letter = static_cast<char>(word[1] | 0x20);
      if (letter != 'x' && letter != 'i') continue;
      const size_t bang = word.find_first_of("!@");
      TRecursion own;
      if (bang == std::string::npos ||
          !SwitchRecursion(std::string_view(word).substr(2, bang - 2), recursion, own)) {
        continue;
      }
      if (word[bang] == '@') {
        r_.approximate = true;  // a list file of masks, not read here
        continue;
      }
      (letter == 'x' ? r_.excludes : r_.includes)
          .push_back(Pattern(word.substr(bang + 1), own, -1));
    }
  }

 private:
  TPreviewRequest& r_;
  const TDialect& dialect_;
  bool wildcards_ = true;  // 7-Zip's -spd reads masks as plain names
};

// ---- The walk ------------------------------------------------------------------

constexpr int64_t kProgressEvery = 512;

class TWalk {
 public:
  TWalk(const TPreviewRequest& request, const TPreviewProgress& progress, TPreview& preview)
      : r_(request), progress_(progress), out_(&preview), shared_(std::make_shared<TShared>()) {
    windows_ = r_.dialect == TMaskDialect::mdWindows;
    cores_ = std::max(1u, std::thread::hardware_concurrency());
    for (const auto* list : {&r_.includes, &r_.excludes}) {
      for (const TPreviewPattern& p : *list) {
        Compiled c;
        for (const std::string& part : p.parts) c.parts.push_back(Compile(part, p.wildcards));
        for (const std::string& part : p.fixed) c.fixed.push_back(part);
        (list == &r_.includes ? shared_->includes : shared_->excludes).push_back(std::move(c));
      }
    }
  }

  void Run() {
    Level top;
    top.includedBy = MatchedNone();
    top.excludedBy = MatchedNone();
    WalkRoot(top);
    if (!Stopped()) FollowLinks();
  }
  bool Stopped() const { return shared_->stopped.load(); }
  // The folders the archiver takes as items of their own, where names are
  // compared without regard to case.
  const std::vector<std::string>& TakenFolders() const { return takenFolders_; }

 private:
  struct Part {
    std::string text;
    std::u32string units;  // folded or not, or the Windows expression
    bool wildcards = false;
  };
  struct Compiled {
    std::vector<std::string> fixed;
    std::vector<Part> parts;
  };
  // What a folder's path matched: the first include and exclude (by index)
  // that take or drop everything below it.
  struct Level {
    int includedBy, excludedBy;
  };
  static int MatchedNone() { return INT_MAX; }
  // A folder being walked: its entries up to next are taken.
  struct Frame {
    std::unique_ptr<IFolder> folder;
    size_t next = 0;
    bool named = true;     // its name is pushed on the path
    bool started = false;  // branched or set to rest
  };
  using Identity = std::pair<uint64_t, uint64_t>;
  struct IdentityHash {
    size_t operator()(const Identity& id) const {
      return std::hash<uint64_t>()(id.first * 0x9E3779B97F4A7C15ull ^ id.second);
    }
  };
  // The folders walked, each with the path it was walked at.
  using Walked = std::unordered_map<Identity, std::string, IdentityHash>;
  // A link to a folder, met while the folders themselves are walked: what it
  // leads to is walked afterwards, in the walk's order, unless that is a
  // folder walked already. files and warnings are where its findings go.
  struct Deferred {
    std::string path;
    std::vector<size_t> partEnds;
    Level level;
    size_t files, warnings;
  };

  Part Compile(const std::string& text, bool wildcards) const {
    Part part;
    part.text = text;
    part.wildcards = wildcards && HasWildcard(text);
    if (windows_ || !r_.caseSensitive || !IsAscii(text)) {
      Units(text, !r_.caseSensitive, part.units);
      if (windows_ && part.wildcards) part.units = WindowsExpression(part.units);
    }
    return part;
  }

  bool PartMatches(const Part& part, std::string_view name) const {
    if (!part.wildcards) return SameName(part.text, name, r_.caseSensitive);
    if (!windows_ && r_.caseSensitive) {
      return Glob(part.text.data(), part.text.size(), name.data(), name.size(),
#ifdef _WIN32
                  &NextByte
#else
                  &NextUtf8
#endif
      );
    }
    thread_local std::u32string units;
    Units(name, !r_.caseSensitive, units);
    if (windows_) return WindowsMatch(part.units, units);
    return Glob(part.units.data(), part.units.size(), units.data(), units.size(), &NextUnit);
  }

  // Whether the pattern matches the path whose last part is the entry at
  // hand, with the pattern's last part on that entry.
  bool EndMatches(const TPreviewPattern& p, const Compiled& c, bool isFile) const {
    if (isFile && !p.forFiles) return false;
    const size_t length = partEnds_.size();
    const size_t fixed = c.fixed.size(), count = c.parts.size();
    if (length < fixed + count) return false;
    if (!p.recursive && length != fixed + count) return false;
    // In Windows' dialect a wildcard takes files only; a folder is matched by
    // the path the job names, as the archive folder's.
    if (windows_ && !isFile) {
      for (const Part& part : c.parts) {
        if (part.wildcards) return false;
      }
    }
    for (size_t i = 0; i < fixed; ++i) {
      if (!SameName(c.fixed[i], PartAt(i), r_.caseSensitive)) return false;
    }
    for (size_t i = 0; i < count; ++i) {
      if (!PartMatches(c.parts[i], PartAt(length - count + i))) return false;
    }
    return true;
  }

  // The first pattern, from those not yet matched by a folder above, whose
  // index is below the one already found.
  int FirstMatch(const std::vector<TPreviewPattern>& patterns,
                 const std::vector<Compiled>& compiled, int found, bool isFile) const {
    const int limit = std::min<int>(found, static_cast<int>(patterns.size()));
    for (int i = 0; i < limit; ++i) {
      if (EndMatches(patterns[static_cast<size_t>(i)], compiled[static_cast<size_t>(i)], isFile)) {
        return i;
      }
    }
    return found;
  }

  std::string_view PartAt(size_t i) const {
    const size_t start = i == 0 ? 0 : partEnds_[i - 1] + 1;
    return std::string_view(path_).substr(start, partEnds_[i] - start);
  }

  void Push(std::string_view name) {
    if (!path_.empty()) path_ += r_.separator;
    path_ += name;
    partEnds_.push_back(path_.size());
  }
  void Pop() {
    partEnds_.pop_back();
    path_.resize(partEnds_.empty() ? 0 : partEnds_.back());
  }

  // Branches report one after the other, with the count of them all, which
  // grows from one count to the next; a warning is reported in any case.
  bool Report(bool warning = false) {
    if (!progress_ || Stopped()) return !Stopped();
    const std::lock_guard lock(shared_->reporting);
    const int64_t seen = shared_->seen.load();
    if (Stopped() || (!warning && seen <= shared_->reported)) return !Stopped();
    shared_->reported = seen;
    if (!progress_(seen, path_)) shared_->stopped = true;
    return !Stopped();
  }

  void Warn(const std::string& text) {
    out_->warnings.push_back(text);
    Report(true);
  }

  // What becomes of a folder, its path pushed: false when it is not entered.
  bool EnterFolder(Level& level) {
    const Level& up = levels_.back();
    level.excludedBy = FirstMatch(r_.excludes, shared_->excludes, up.excludedBy, false);
    // A folder the job's own excludes drop is not even entered: none of its
    // files counts for a mask.
    if (level.excludedBy != MatchedNone() &&
        r_.excludes[static_cast<size_t>(level.excludedBy)].mask < 0) {
      return false;
    }
    level.includedBy = FirstMatch(r_.includes, shared_->includes, up.includedBy, false);
    if (!r_.caseSensitive && level.includedBy != MatchedNone() &&
        level.excludedBy == MatchedNone()) {
      takenFolders_.push_back(path_);
    }
    return true;
  }

  // A file, its path pushed; one that cannot be read is left out of the
  // archive with a warning.
  void File(int64_t bytes, bool readable = true) {
    const Level& up = levels_.back();
    if (Seen() % kProgressEvery == 0) Report();
    const int excludedBy = FirstMatch(r_.excludes, shared_->excludes, up.excludedBy, true);
    if (excludedBy != MatchedNone()) {
      const int mask = r_.excludes[static_cast<size_t>(excludedBy)].mask;
      if (mask >= 0) Count(mask, bytes);
      return;
    }
    const int includedBy = FirstMatch(r_.includes, shared_->includes, up.includedBy, true);
    if (includedBy == MatchedNone()) return;
    if (!readable) return Warn(Shown() + ": cannot be read; the archiver leaves it out");
    if (r_.longestPath && path_.size() > r_.longestPath) {
      return Warn(Shown().substr(0, 60) +
                  "...: its path is too long for the system; the archiver leaves it out");
    }
    const int mask = r_.includes[static_cast<size_t>(includedBy)].mask;
    if (mask >= 0) Count(mask, bytes);
    out_->files.push_back({path_, bytes, mask});
    ++out_->totalFiles;
    out_->totalBytes += bytes;
  }

  // A file neither taken nor counted.
  void Skipped() {
    if (Seen() % kProgressEvery == 0) Report();
  }

  void Count(int mask, int64_t bytes) {
    TPreviewMask& m = out_->masks[static_cast<size_t>(mask)];
    ++m.files;
    m.bytes += bytes;
  }

  // Whether the file at hand, its path pushed, needs its size: only files
  // that are taken or counted do.
  bool Wanted() const {
    const Level& up = levels_.back();
    const int excludedBy = FirstMatch(r_.excludes, shared_->excludes, up.excludedBy, true);
    if (excludedBy != MatchedNone()) return r_.excludes[static_cast<size_t>(excludedBy)].mask >= 0;
    return FirstMatch(r_.includes, shared_->includes, up.includedBy, true) != MatchedNone();
  }

  std::string Shown() const {
    return path_.empty() ? std::string(".") : path_;
  }

  // 7-Zip reads a name that is no UTF-8 in its own way, which its masks then
  // match otherwise than the preview's characters do.
  void WarnOfName([[maybe_unused]] std::string_view name) {
#ifndef _WIN32
    if (!windows_ && !r_.masks.empty() && !IsValidUtf8(name)) {
      Warn(Shown() + ": its name is no UTF-8; the archiver may match the masks otherwise");
    }
#endif
  }

  void WalkRoot(const Level& top) {
    TFolderFailure why = TFolderFailure::ffUnreadable;
    std::unique_ptr<IFolder> root = Get<IFileSystem>().OpenFolder(r_.root, &why);
    if (root && !root->Read()) why = root->Failure(), root.reset();
    if (!root) {
      out_->error = (why == TFolderFailure::ffNotEntered ? "Cannot enter the directory "
                                                         : "Cannot read the directory ") +
                    r_.job.workingDirectory;
      return;
    }
    walked_->emplace(root->Identity(), std::string());
    levels_.push_back(top);
    frames_.push_back({std::move(root), 0, false});
    Walk();
  }

  // Takes the folders on the stack, each folder's entries in the listing's
  // order, until the stack is empty: a subfolder goes on top of it, so that
  // neither the depth of the tree nor its breadth costs the stack of calls.
  void Walk() {
    while (!frames_.empty() && !Stopped()) {
      Frame& frame = frames_.back();
      if (!frame.started) {
        frame.started = true;
        if (Branched(*frame.folder)) {
          frame.next = frame.folder->Count();
        } else {
          frame.folder->Rest();
        }
      }
      if (frame.next == frame.folder->Count()) {
        if (frame.named) Pop();
        frames_.pop_back();
        levels_.pop_back();
        continue;
      }
      const size_t i = frame.next++;
      IFolder& folder = *frame.folder;
      Push(folder.Name(i));
      WarnOfName(folder.Name(i));
      Level level;
      if (std::unique_ptr<IFolder> sub = Take(folder, i, level)) {
        Descend(std::move(sub), level);
      } else {
        Pop();
      }
    }
  }

  // The subfolder at hand, its path pushed, read and recorded as walked.
  void Descend(std::unique_ptr<IFolder> sub, const Level& level) {
    levels_.push_back(level);
    frames_.push_back({std::move(sub)});
  }

  // Whether the folder at hand was walked before, which is said: at a folder
  // above it, the link back that the archiver follows without end; elsewhere
  // a folder that the archiver takes once more, which the preview lists once.
  bool WalkedBefore(const Identity& identity) {
    const std::string* at = nullptr;
    if (trunkWalked_) {
      const auto found = trunkWalked_->find(identity);
      if (found != trunkWalked_->end()) at = &found->second;
    }
    if (!at) {
      const auto [found, added] = walked_->emplace(identity, path_);
      if (added) return false;
      at = &found->second;
    }
    const bool above = at->empty() || (path_.size() > at->size() &&
                                       path_.compare(0, at->size(), *at) == 0 &&
                                       path_[at->size()] == r_.separator);
    if (above) {
      Warn(Shown() +
           ": a link back into a folder above it; the archiver would follow it "
           "without end");
    } else {
      Warn(Shown() + ": a link to a folder the preview has taken already, at " + *at +
           "; the archiver takes it once more");
    }
    return true;
  }

  // Why a folder at hand gives nothing.
  void WarnOfFailure(TFolderFailure failure) {
    switch (failure) {
      case TFolderFailure::ffNotEntered:
        return Warn(Shown() + ": cannot be entered");
      case TFolderFailure::ffTooManyOpen:
        return Warn(Shown() + ": cannot be opened: too many files are open");
      case TFolderFailure::ffPathTooLong:
        return WarnOfLength();
      default:
        return Warn(Shown() + ": cannot be read");
    }
  }
  void WarnOfLength() {
    Warn(Shown().substr(0, 60) +
         "...: its path is too long for the system; the archiver leaves it out");
  }

  // A folder with two subfolders or more is walked on every core at once,
  // unless this walk is a branch itself: each entry is a branch of its own,
  // with its own part of the preview, and the parts join in the entries'
  // order, so that the preview is the one a single walk gives. The branches
  // walk folders, not links: which of the folders that links lead to are
  // walked, and where, is decided after all of them, in the walk's order.
  bool Branched(IFolder& folder) {
    if (branch_ || cores_ < 2) return false;
    size_t folders = 0;
    for (size_t i = 0; i < folder.Count() && folders < 2; ++i) {
      if (folder.Kind(i) == TEntryKind::ekDirectory) ++folders;
    }
    if (folders < 2) return false;
    const size_t count = folder.Count();
    std::vector<TPreview> parts(count);
    std::vector<std::vector<std::string>> taken(count);
    std::vector<Walked> walked(count);
    std::vector<std::vector<Deferred>> deferred(count);
    std::atomic<size_t> next{0};
    const auto work = [&] {
      for (size_t i; (i = next.fetch_add(1)) < count && !Stopped();) {
        parts[i].masks = out_->masks;
        for (TPreviewMask& m : parts[i].masks) m.files = m.bytes = 0;
        TWalk branch(*this, parts[i], &walked[i]);
        branch.Push(folder.Name(i));
        branch.WarnOfName(folder.Name(i));
        Level level;
        if (std::unique_ptr<IFolder> sub = branch.Take(folder, i, level)) {
          branch.Descend(std::move(sub), level);
          branch.Walk();
        }
        taken[i] = std::move(branch.takenFolders_);
        deferred[i] = std::move(branch.deferred_);
      }
    };
    std::vector<std::thread> threads;
    try {
      for (unsigned k = 1; k < cores_; ++k) threads.emplace_back(work);
    } catch (const std::system_error&) {
      // Fewer threads walk it all the same.
    }
    work();
    for (std::thread& thread : threads) thread.join();
    for (size_t i = 0; i < count; ++i) {
      for (Deferred& d : deferred[i]) {
        d.files += out_->files.size();
        d.warnings += out_->warnings.size();
        deferred_.push_back(std::move(d));
      }
      Join(parts[i]);
      for (std::string& folderTaken : taken[i]) takenFolders_.push_back(std::move(folderTaken));
      for (auto& [identity, path] : walked[i]) walked_->emplace(identity, std::move(path));
    }
    return true;
  }

  void Join(TPreview& part) {
    for (TPreviewFile& file : part.files) out_->files.push_back(std::move(file));
    for (std::string& warning : part.warnings) out_->warnings.push_back(std::move(warning));
    for (size_t m = 0; m < part.masks.size(); ++m) {
      out_->masks[m].files += part.masks[m].files;
      out_->masks[m].bytes += part.masks[m].bytes;
    }
    out_->totalFiles += part.totalFiles;
    out_->totalBytes += part.totalBytes;
  }

  // The folders that links lead to, one after the other in the walk's
  // order, each put where its link is; links met in them are followed
  // there and then.
  void FollowLinks() {
    std::vector<Deferred> deferred = std::move(deferred_);
    if (deferred.empty()) return;
    std::vector<TPreviewFile> files;
    std::vector<std::string> warnings;
    size_t file = 0, warning = 0;
    for (const Deferred& d : deferred) {
      for (; file < d.files; ++file) files.push_back(std::move(out_->files[file]));
      for (; warning < d.warnings; ++warning) warnings.push_back(std::move(out_->warnings[warning]));
      if (Stopped()) continue;
      TPreview part;
      part.masks = out_->masks;
      for (TPreviewMask& m : part.masks) m.files = m.bytes = 0;
      TWalk follower(*this, part, walked_);
      follower.trunkWalked_ = nullptr;
      follower.followLinks_ = true;
      follower.path_ = d.path;
      follower.partEnds_ = d.partEnds;
      follower.Follow(d.level);
      for (TPreviewFile& f : part.files) files.push_back(std::move(f));
      for (std::string& w : part.warnings) warnings.push_back(std::move(w));
      part.files.clear();
      part.warnings.clear();
      Join(part);
      for (std::string& t : follower.takenFolders_) takenFolders_.push_back(std::move(t));
    }
    for (; file < out_->files.size(); ++file) files.push_back(std::move(out_->files[file]));
    for (; warning < out_->warnings.size(); ++warning) {
      warnings.push_back(std::move(out_->warnings[warning]));
    }
    out_->files = std::move(files);
    out_->warnings = std::move(warnings);
  }

  // Walks the folder a link at the path leads to, opened by its path.
  void Follow(const Level& level) {
    std::string native = r_.root;
    if (!native.empty() && native.back() != r_.separator) native += r_.separator;
    native += path_;
    TFolderFailure why = TFolderFailure::ffUnreadable;
    std::unique_ptr<IFolder> sub = Get<IFileSystem>().OpenFolder(native, &why);
    if (!sub) return WarnOfFailure(why);
    if (WalkedBefore(sub->Identity())) return;
    if (!sub->Read()) return WarnOfFailure(sub->Failure());
    levels_.push_back(level);
    frames_.push_back({std::move(sub), 0, false});
    Walk();
  }

  // A branch: the walk so far, its findings going into part, the folders it
  // walks into walked.
  TWalk(const TWalk& trunk, TPreview& part, Walked* walked)
      : r_(trunk.r_),
        progress_(trunk.progress_),
        out_(&part),
        shared_(trunk.shared_),
        windows_(trunk.windows_),
        levels_(trunk.levels_),
        path_(trunk.path_),
        partEnds_(trunk.partEnds_),
        branch_(true),
        walked_(walked),
        trunkWalked_(trunk.walked_) {}

  int64_t Seen() { return shared_->seen.fetch_add(1) + 1; }

  // Takes the entry at hand, its path pushed: the folder to go down into
  // next, when it is one that is walked now.
  std::unique_ptr<IFolder> Take(IFolder& folder, size_t i, Level& level) {
    TEntryKind kind = folder.Kind(i);
    TEntryFacts facts;
    bool known = false;
    bool link = false;
    if (kind == TEntryKind::ekUnknown) {
      if (!folder.Look(i, false, facts)) return nullptr;
      known = true;
      kind = facts.kind;
    }
    if (kind == TEntryKind::ekLink) {
      if (r_.linksAsLinks) {
        if (!Wanted()) return Skipped(), nullptr;
        if (!known && !folder.Look(i, false, facts)) return nullptr;
        return File(facts.size), nullptr;
      }
      // The archiver stores what the link leads to.
      if (!folder.Look(i, true, facts)) {
        return Warn(Shown() + ": a link that leads nowhere; the archiver leaves it out"), nullptr;
      }
      known = true;
      link = true;
      kind = facts.kind;
    }
    if (kind == TEntryKind::ekDirectory) {
      if (!EnterFolder(level)) return nullptr;
      if (r_.longestPath && path_.size() > r_.longestPath) return WarnOfLength(), nullptr;
      if (link && !followLinks_) {
        deferred_.push_back(
            {path_, partEnds_, level, out_->files.size(), out_->warnings.size()});
        return nullptr;
      }
      TFolderFailure why = TFolderFailure::ffUnreadable;
      std::unique_ptr<IFolder> sub = folder.Open(i, &why);
      if (!sub) return WarnOfFailure(why), nullptr;
      if (WalkedBefore(sub->Identity())) return nullptr;
      if (!sub->Read()) return WarnOfFailure(sub->Failure()), nullptr;
      return sub;
    }
    if (!Wanted()) return Skipped(), nullptr;
    // 7-Zip stores devices, pipes and sockets as entries of no size, and
    // reads nothing of them.
    if (kind != TEntryKind::ekFile) return File(0), nullptr;
    if (!known && !folder.Look(i, false, facts)) return nullptr;
    File(facts.size, facts.readable);
    return nullptr;
  }

  // What every branch of one walk shares: the patterns, compiled once, and
  // the walk's progress.
  struct TShared {
    std::vector<Compiled> includes, excludes;
    std::mutex reporting;
    std::atomic<int64_t> seen{0};
    int64_t reported = 0;  // under reporting
    std::atomic<bool> stopped{false};
  };

  const TPreviewRequest& r_;
  const TPreviewProgress& progress_;
  TPreview* out_;
  std::shared_ptr<TShared> shared_;
  bool windows_ = false;
  std::vector<Level> levels_;
  std::vector<Frame> frames_;
  std::string path_;
  std::vector<size_t> partEnds_;
  std::vector<std::string> takenFolders_;
  bool branch_ = false;
  unsigned cores_ = 1;  // the trunk's; a branch does not branch
  bool followLinks_ = false;  // links to folders are walked when met
  Walked ownWalked_;
  Walked* walked_ = &ownWalked_;
  const Walked* trunkWalked_ = nullptr;  // a branch's: read while it walks
  std::vector<Deferred> deferred_;
};

// Where names are compared without regard to case, 7-Zip refuses to put two
// items into one archive whose paths differ only in letter case ("Duplicate
// filename"): the files it takes and the folders it takes as such.
void WarnOfCaseTwins(TPreview& preview, const std::vector<std::string>& folders) {
  std::unordered_map<std::u32string, std::string> seen;
  std::u32string key;
  const auto item = [&](const std::string& path) {
#ifdef _WIN32
    // There "?" stands for a character that the ANSI code page cannot spell
    // (no name holds a "?"): names alike in the program's text may not be.
    if (path.find('?') != std::string::npos) return;
#endif
    Units(path, true, key);
    const auto [at, added] = seen.emplace(key, path);
    if (added || at->second == path) return;
    preview.warnings.push_back(at->second + " and " + path +
                               ": names that differ only in letter case, which the archiver "
                               "refuses to hold together");
  };
  for (const std::string& folder : folders) item(folder);
  for (const TPreviewFile& file : preview.files) item(file.path);
}

}  // namespace

bool MaskMatchesName(std::string_view mask, std::string_view name, TMaskDialect dialect,
                     bool caseSensitive) {
  std::u32string m, n;
  Units(mask, !caseSensitive, m);
  Units(name, !caseSensitive, n);
  if (dialect == TMaskDialect::mdWindows) return WindowsMatch(WindowsExpression(m), n);
  return Glob(m.data(), m.size(), n.data(), n.size(), &NextUnit);
}

namespace {

bool HasDotStep(const std::string& entry, const TDialect& dialect) {
  size_t start = 0;
  while (start <= entry.size()) {
    size_t end = start;
    while (end < entry.size() && !dialect.IsSeparator(entry[end])) ++end;
    if (end - start == 1 && entry[start] == '.') return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

TPreviewRequest MakePreviewRequest(const TbkManager& manager, const TArchiveJob& job) {
  TPreviewRequest r;
  r.longestPath = Dialect().LongestRelativePath();
  r.job = job;
  const TDialect& dialect = Dialect();
  r.separator = dialect.Separator();
  r.root = NativePath(job.workingDirectory);
  r.caseSensitive = !dialect.NamesIgnoreCase();
  switch (job.family) {
    case TArchiverFamily::af7Zip:
      r.dialect = TMaskDialect::md7Zip;
      break;
    case TArchiverFamily::afRar:
    case TArchiverFamily::afWinZip:
      r.dialect = TMaskDialect::mdWindows;
      // Their POSIX builds match as they do on Windows, but with letter
      // case, and no test here holds them to it.
      r.approximate = r.foreignRules = !dialect.WindowsMatchingIsNative();
      break;
    case TArchiverFamily::afOther:
      r.dialect = TMaskDialect::md7Zip;
      r.approximate = true;
      break;
  }
  if (const TbkRule* rule = FindRule(job.ruleName, manager.Rules())) {
    r.excluding = rule->Category() == ecExclude;
    const TbkExtensions& masks = *rule->Extensions();
    for (int i = 0; i < masks.Count(); ++i) {
      if (masks.Items(i)->Active()) r.masks.push_back(masks.Items(i)->Ext());
    }
  }
  if (!job.error.empty()) return r;

  TRequestMaker maker(r, dialect);
  TRecursion recursion;
  maker.Parameters(recursion);
  // The job lists the rule's masks first, in the rule's order, then its own.
  // The preview puts the job's own excludes first, so that what they drop
  // counts for no mask.
  const int ruleMasks = static_cast<int>(r.masks.size());
  std::vector<TPreviewPattern> ruleExcludes;
  for (size_t i = 0; i < job.excludes.size(); ++i) {
    const TMaskEntry& entry = job.excludes[i];
    const int mask = r.excluding && static_cast<int>(i) < ruleMasks ? static_cast<int>(i) : -1;
    TRecursion own = recursion;
    if (r.dialect == TMaskDialect::md7Zip) {
      const std::string& key = entry.key;
      const size_t bang = key.find('!');
      if (key.size() < 3 || key[0] != '-' || (key[1] | 0x20) != 'x' || bang != key.size() - 1 ||
          !SwitchRecursion(std::string_view(key).substr(2, bang - 2), recursion, own)) {
        r.approximate = true;  // an exclude switch 7-Zip would not read as one
      }
    }
    if (r.dialect == TMaskDialect::md7Zip && HasDotStep(entry.entry, dialect)) {
      // 7-Zip leaves nothing out by it.
      r.warnings.push_back("The exclude mask '" + entry.entry +
                           "' has a '.' step, which 7-Zip ignores: write it without");
      continue;
    }
    (mask < 0 ? r.excludes : ruleExcludes).push_back(maker.Pattern(entry.entry, own, mask));
  }
  for (TPreviewPattern& p : ruleExcludes) r.excludes.push_back(std::move(p));
  std::vector<TPreviewPattern> ownIncludes;
  ownIncludes.swap(r.includes);
  for (size_t i = 0; i < job.includes.size(); ++i) {
    const int mask = !r.excluding && static_cast<int>(i) < ruleMasks ? static_cast<int>(i) : -1;
    r.includes.push_back(maker.Pattern(job.includes[i].entry, recursion, mask));
  }
  for (TPreviewPattern& p : ownIncludes) r.includes.push_back(std::move(p));
  return r;
}

TPreview Preview(const TPreviewRequest& request, const TPreviewProgress& progress) {
  TPreview preview;
  preview.directory = request.job.workingDirectory;
  preview.dialect = request.dialect;
  preview.approximate = request.approximate;
  preview.excluding = request.excluding;
  for (const std::string& mask : request.masks) preview.masks.push_back({mask, 0, 0});
  if (!request.job.error.empty()) {
    preview.error = request.job.error;
    return preview;
  }
  preview.warnings = request.warnings;
  TWalk walk(request, progress, preview);
  walk.Run();
  preview.cancelled = walk.Stopped();
  if (!request.caseSensitive && request.dialect == TMaskDialect::md7Zip) {
    WarnOfCaseTwins(preview, walk.TakenFolders());
  }
  return preview;
}

}  // namespace pw
