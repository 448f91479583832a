// In-memory stand-ins for the platform services, for tests. Put one in place
// with ScopedOverride<Interface>.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/CurrentDirectory.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/RegionalSettings.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/SettingsLocation.h"
#include "platform/Scheduler.h"
#include "platform/Shell.h"

namespace pw::fakes {

class FakeClock final : public IClock {
 public:
  explicit FakeClock(TDateTime now = {}) : now_(now) {}
  TDateTime Now() const override {
    ++reads;
    return now_;
  }
  void Set(TDateTime now) { now_ = now; }
  mutable int reads = 0;

 private:
  TDateTime now_;
};

// The installed entries by name; Install fails with refusal when it is set.
class FakeScheduler final : public IScheduler {
 public:
  TScheduleEntry Install(const TScheduledCommand& command) override {
    if (!refusal.empty()) throw Exception(refusal);
    installed[command.name] = command;
    return entry;
  }
  std::optional<TScheduleEntry> Remove(const std::string& name) override {
    if (!installed.erase(name)) return std::nullopt;
    return entry;
  }
  std::optional<TScheduleEntry> Find(const std::string& name) override {
    if (!installed.count(name)) return std::nullopt;
    return entry;
  }
  std::map<std::string, TScheduledCommand> installed;
  TScheduleEntry entry{"systemd user timer", "/home/user/.config/systemd/user/x.timer"};
  std::string refusal;
};

// Directories held as texts, "\" separating the levels. Creating a level
// fails when its parent is missing, as on a real disk, or when it is listed
// in refuse.
class FakeFileSystem final : public IFileSystem {
 public:
  bool DirectoryExists(const std::string& path) const override;
  bool MakeDirectory(const std::string& path) override;
  // Lists what listings holds for path, in the order given there.
  bool ListDirectory(const std::string& path, TDirectoryListing& listing) override;
  // The same listings as folders: files of no size, readable. A folder
  // listed in folderFailures cannot be read, for that reason.
  std::unique_ptr<IFolder> OpenFolder(const std::string& path,
                                      TFolderFailure* why = nullptr) override;
  // Locks held in memory: a path in locked is held (by another, when the test
  // put it there); one in lockRefused cannot be made. Safe to use from several
  // threads; read locked once they are done.
  std::unique_ptr<IFileLock> TryLock(const std::string& path) override;
  void Unlock(const std::string& path);
  // Follows links: a path that is a key of links, or lies below one, is
  // resolved against its target, again and again (at most 40 times).
  std::string ResolvedPath(const std::string& path) const override;
  // What foreign holds for path or for the nearest folder of it there.
  std::string ForeignStep(const std::string& path) const override;
  // What writeProblems holds for the folder.
  std::string WriteProblem(const std::string& folder) const override;
  // What files holds for path (ekFile and its size), or ekDirectory for one
  // of directories.
  bool LookAt(const std::string& path, TEntryFacts& facts) const override;
  // Takes path out of files, unless removeRefused names it (with the reason).
  std::string RemoveFileAt(const std::string& path) override;
  // Takes path out of directories when no file or directory lies below it.
  std::string RemoveEmptyFolder(const std::string& path) override;
  std::map<std::string, int64_t> files;
  std::map<std::string, std::string> removeRefused;
  std::vector<std::string> removed;  // every file and folder removed, in order
  std::map<std::string, std::string> foreign;
  std::map<std::string, std::string> writeProblems;
  std::map<std::string, std::string> links;
  std::vector<std::string> lockedOnce;  // every path locked, in order

  std::set<std::string> locked;
  std::set<std::string> lockRefused;
  std::set<std::string> directories;
  std::map<std::string, std::vector<std::pair<std::string, bool>>> listings;
  std::set<std::string> refuse;
  std::vector<std::string> created;
  std::map<std::string, TFolderFailure> folderFailures;

 private:
  std::mutex lockMutex_;
};

struct ShellCall {
  std::string verb, file, parameters, directory;
  TShowCommand show;
  bool operator==(const ShellCall&) const = default;
};

class FakeShell final : public IShell {
 public:
  void Execute(const std::string& verb, const std::string& file, const std::string& parameters,
               const std::string& directory, TShowCommand show) override {
    calls.push_back({verb, file, parameters, directory, show});
  }
  std::vector<ShellCall> calls;
};

// Keys by root and path (letter case ignored), each with an optional default
// value that may be marked as not being text. Counts open keys so that tests
// can tell every key was released.
class FakeRegistry final : public IRegistry {
 public:
  struct Value {
    std::string text;
    bool isText = true;
  };
  void AddKey(TRegistryRoot root, const std::string& path, std::optional<Value> value = {});
  std::unique_ptr<IRegistryKey> OpenKey(TRegistryRoot root, const std::string& path) override;

  int openKeys = 0;
  std::vector<std::string> opened;

 private:
  std::map<std::pair<TRegistryRoot, std::string>, std::optional<Value>> keys_;
};

// Directories that can be entered; any other fails with the given code.
class FakeCurrentDirectory final : public ICurrentDirectory {
 public:
  void Check(const std::string& path) const override;
  std::string Get() const override { return current; }

  std::set<std::string> existing;
  int failureCode = 2;
  std::string current;
};

// Settings folders chosen by the test; files can be made in every folder
// but those listed in readOnly. A portable copy unless installed is set.
class FakeSettingsPlaces final : public ISettingsPlaces {
 public:
  std::string ProgramFolder() const override { return programFolder; }
  std::string UserFolder() const override { return userFolder; }
  bool CanCreateFilesIn(const std::string& folder) const override {
    return !readOnly.count(folder);
  }
  bool Installed() const override { return installed; }

  std::string programFolder, userFolder;
  std::set<std::string> readOnly;
  bool installed = false;
};

class FixedRegionalSettings final : public IRegionalSettings {
 public:
  explicit FixedRegionalSettings(TFormatSettings settings) : settings_(std::move(settings)) {}
  TFormatSettings Settings() const override { return settings_; }

 private:
  TFormatSettings settings_;
};

// US English: m/d/yyyy, "dddd, mmmm d, yyyy", h:nn AMPM, h:nn:ss AMPM.
TFormatSettings UsEnglish();
// German: dd.mm.yyyy, "dddd, d. mmmm yyyy", hh:nn, hh:nn:ss, no designators.
TFormatSettings German();
// Japanese with its eras, for the era specifiers.
TFormatSettings JapaneseWithEras();

}  // namespace pw::fakes
