#include "platform/fakes/Fakes.h"

#include "platform/Errors.h"

namespace pw::fakes {

namespace {

std::string WithoutTrailingSeparator(std::string path) {
  if (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

}  // namespace

bool FakeFileSystem::DirectoryExists(const std::string& path) const {
  return directories.count(WithoutTrailingSeparator(path)) > 0;
}

std::string FakeFileSystem::ResolvedPath(const std::string& path) const {
  std::string resolved = path;
  for (int turn = 0; turn < 40; ++turn) {
    const std::string* longest = nullptr;
    for (const auto& [link, target] : links) {
      const bool below = resolved.size() > link.size() && resolved.rfind(link, 0) == 0 &&
                         (resolved[link.size()] == '/' || resolved[link.size()] == '\\');
      if ((resolved == link || below) && (!longest || link.size() > longest->size())) {
        longest = &link;
      }
    }
    if (!longest) break;
    resolved = links.at(*longest) + resolved.substr(longest->size());
  }
  return resolved;
}

std::string FakeFileSystem::ForeignStep(const std::string& path) const {
  for (std::string step = WithoutTrailingSeparator(path);;) {
    const auto found = foreign.find(step);
    if (found != foreign.end()) return found->second;
    const size_t sep = step.find_last_of("\\/");
    if (sep == std::string::npos || sep == 0) return {};
    step.resize(sep);
  }
}

std::string FakeFileSystem::WriteProblem(const std::string& folder) const {
  const auto found = writeProblems.find(WithoutTrailingSeparator(folder));
  return found == writeProblems.end() ? std::string() : found->second;
}

bool FakeFileSystem::MakeDirectory(const std::string& path) {
  const std::string dir = WithoutTrailingSeparator(path);
  if (refuse.count(dir) || directories.count(dir)) return false;
  const size_t sep = dir.find_last_of("\\/");
  if (sep != std::string::npos) {
    const std::string parent = dir.substr(0, sep);
    if (parent.size() > 2 && !directories.count(parent)) return false;
  }
  directories.insert(dir);
  created.push_back(dir);
  return true;
}

bool FakeFileSystem::LookAt(const std::string& path, TEntryFacts& facts) const {
  if (const auto file = files.find(path); file != files.end()) {
    facts = {TEntryKind::ekFile, file->second, true};
    return true;
  }
  if (!directories.count(WithoutTrailingSeparator(path))) return false;
  facts = {TEntryKind::ekDirectory, 0, true};
  return true;
}

std::string FakeFileSystem::RemoveFileAt(const std::string& path) {
  if (const auto refused = removeRefused.find(path); refused != removeRefused.end()) {
    return refused->second;
  }
  if (!files.erase(path)) return "No such file or directory";
  removed.push_back(path);
  return {};
}

std::string FakeFileSystem::RemoveEmptyFolder(const std::string& path) {
  const std::string folder = WithoutTrailingSeparator(path);
  if (!directories.count(folder)) return "No such file or directory";
  const auto holds = [&](const std::string& name) {
    return name.size() > folder.size() + 1 && name.compare(0, folder.size(), folder) == 0 &&
           (name[folder.size()] == '/' || name[folder.size()] == '\\');
  };
  for (const auto& [name, size] : files) {
    if (holds(name)) return kNotEmpty;
  }
  for (const std::string& name : directories) {
    if (holds(name)) return kNotEmpty;
  }
  directories.erase(folder);
  removed.push_back(folder);
  return {};
}

namespace {

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

class FakeKey final : public IRegistryKey {
 public:
  FakeKey(std::optional<FakeRegistry::Value> value, int& openKeys)
      : value_(std::move(value)), openKeys_(openKeys) {
    ++openKeys_;
  }
  ~FakeKey() override { --openKeys_; }
  bool ReadDefaultValue(std::string& value) override {
    if (!value_) return false;
    if (!value_->isText) throw ERegistryError("Invalid data type for the default value");
    value = value_->text;
    return true;
  }

 private:
  std::optional<FakeRegistry::Value> value_;
  int& openKeys_;
};

}  // namespace

void FakeRegistry::AddKey(TRegistryRoot root, const std::string& path, std::optional<Value> value) {
  keys_[{root, Lower(path)}] = std::move(value);
}

std::unique_ptr<IRegistryKey> FakeRegistry::OpenKey(TRegistryRoot root, const std::string& path) {
  opened.push_back(path);
  const auto found = keys_.find({root, Lower(path)});
  if (found == keys_.end()) {
    if (path.empty()) return std::make_unique<FakeKey>(std::nullopt, openKeys);
    return nullptr;
  }
  return std::make_unique<FakeKey>(found->second, openKeys);
}

void FakeCurrentDirectory::Check(const std::string& path) const {
  if (!existing.count(path)) throw InOutError(failureCode);
}

bool FakeFileSystem::ListDirectory(const std::string& path, TDirectoryListing& listing) {
  listing.names.clear();
  listing.entries.clear();
  const auto found = listings.find(path);
  if (found == listings.end()) return false;
  listing.identity = {0, static_cast<uint64_t>(std::distance(listings.begin(), found))};
  for (const auto& [name, isDirectory] : found->second) listing.Add(name, isDirectory);
  return true;
}

namespace {

class FakeFileLock final : public IFileLock {
 public:
  FakeFileLock(FakeFileSystem& files, std::string path) : files_(&files), path_(std::move(path)) {}
  ~FakeFileLock() override { Leave(); }
  void Leave() override {
    if (files_) files_->Unlock(path_);
    files_ = nullptr;
  }
  intptr_t Handle() const override { return -1; }
  const std::string& Path() const override { return path_; }

 private:
  FakeFileSystem* files_;
  std::string path_;
};

}  // namespace

std::unique_ptr<IFileLock> FakeFileSystem::TryLock(const std::string& path) {
  const std::lock_guard lock(lockMutex_);
  if (lockRefused.count(path)) throw EFCreateError(Format("Cannot create file %s", path));
  if (!locked.insert(path).second) return nullptr;
  lockedOnce.push_back(path);
  return std::make_unique<FakeFileLock>(*this, path);
}

void FakeFileSystem::Unlock(const std::string& path) {
  const std::lock_guard lock(lockMutex_);
  locked.erase(path);
}

namespace {

class FakeFolder final : public IFolder {
 public:
  FakeFolder(FakeFileSystem& files, std::string path, uint64_t identity)
      : files_(files), path_(std::move(path)), identity_(identity) {}
  std::pair<uint64_t, uint64_t> Identity() const override { return {0, identity_}; }
  bool Read() override {
    const auto failed = files_.folderFailures.find(path_);
    if (failed != files_.folderFailures.end()) failure_ = failed->second;
    if (failure_ == TFolderFailure::ffNone && !files_.ListDirectory(path_, listing_)) {
      failure_ = TFolderFailure::ffUnreadable;
    }
    return failure_ == TFolderFailure::ffNone;
  }
  TFolderFailure Failure() const override { return failure_; }
  void Rest() override {}
  size_t Count() const override { return listing_.entries.size(); }
  std::string_view Name(size_t i) const override { return listing_.Name(listing_.entries[i]); }
  TEntryKind Kind(size_t i) const override {
    return listing_.entries[i].isDirectory ? TEntryKind::ekDirectory : TEntryKind::ekFile;
  }
  bool Look(size_t i, bool, TEntryFacts& facts) override {
    facts = {Kind(i), 0, true};
    return true;
  }
  std::unique_ptr<IFolder> Open(size_t i, TFolderFailure* why) override {
    return files_.OpenFolder(path_ + "\\" + std::string(Name(i)), why);
  }

 private:
  FakeFileSystem& files_;
  const std::string path_;
  const uint64_t identity_;
  TDirectoryListing listing_;
  TFolderFailure failure_ = TFolderFailure::ffNone;
};

}  // namespace

std::unique_ptr<IFolder> FakeFileSystem::OpenFolder(const std::string& path,
                                                    TFolderFailure* why) {
  const auto found = listings.find(path);
  if (found == listings.end()) {
    if (why) *why = TFolderFailure::ffUnreadable;
    return nullptr;
  }
  return std::make_unique<FakeFolder>(
      *this, path, static_cast<uint64_t>(std::distance(listings.begin(), found)));
}

TFormatSettings UsEnglish() {
  TFormatSettings s;
  s.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  s.LongMonthNames = {"January", "February", "March",     "April",   "May",      "June",
                      "July",    "August",   "September", "October", "November", "December"};
  s.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  s.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  s.ShortDateFormat = "m/d/yyyy";
  s.LongDateFormat = "dddd, mmmm d, yyyy";
  s.ShortTimeFormat = "h:nn AMPM";
  s.LongTimeFormat = "h:nn:ss AMPM";
  s.DateSeparator = "/";
  s.TimeSeparator = ":";
  s.TimeAMString = "AM";
  s.TimePMString = "PM";
  return s;
}

TFormatSettings German() {
  TFormatSettings s;
  s.ShortMonthNames = {"Jan", "Feb", "M\xC3\xA4r", "Apr", "Mai", "Jun",
                       "Jul", "Aug", "Sep",        "Okt", "Nov", "Dez"};
  s.LongMonthNames = {"Januar", "Februar", "M\xC3\xA4rz", "April",   "Mai",      "Juni",
                      "Juli",   "August",  "September",   "Oktober", "November", "Dezember"};
  s.ShortDayNames = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
  s.LongDayNames = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                    "Donnerstag", "Freitag", "Samstag"};
  s.ShortDateFormat = "dd/mm/yyyy";
  s.LongDateFormat = "dddd, d\". \"mmmm yyyy";
  s.ShortTimeFormat = "hh:nn";
  s.LongTimeFormat = "hh:nn:ss";
  s.DateSeparator = ".";
  s.TimeSeparator = ":";
  s.TimeAMString = "";
  s.TimePMString = "";
  return s;
}

TFormatSettings JapaneseWithEras() {
  TFormatSettings s = UsEnglish();
  s.Eras = {{"\xE5\xB9\xB3\xE6\x88\x90", 1989, 1, 8, 1988},   // Heisei
            {"\xE4\xBB\xA4\xE5\x92\x8C", 2019, 5, 1, 2018}};  // Reiwa
  return s;
}

}  // namespace pw::fakes
