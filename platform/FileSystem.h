// What the archiver layer needs of the file system beyond files: directories.
#pragma once

#include "platform/Services.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pw {

// One directory's entries, "." and ".." left out, in name order with letter
// case ignored (the order the Windows file system gives). The names are kept
// back to back in one buffer.
struct TDirectoryListing {
  struct Entry {
    uint32_t offset, length;
    bool isDirectory;  // a link to a directory counts as one
  };
  // Equal for two paths that reach the same directory.
  std::pair<uint64_t, uint64_t> identity{};
  std::string names;
  std::vector<Entry> entries;

  std::string_view Name(const Entry& e) const { return {names.data() + e.offset, e.length}; }
  void Add(std::string_view name, bool isDirectory);
  void SortByName();
};

// What an entry of a folder is. A listing may not tell (some file systems
// leave it to a look at the entry): ekUnknown.
enum class TEntryKind : uint8_t { ekFile, ekDirectory, ekLink, ekOther, ekUnknown };

// What a look at one entry found.
struct TEntryFacts {
  TEntryKind kind = TEntryKind::ekUnknown;  // of what a link leads to, when followed
  int64_t size = 0;
  // Whether this process's user may read it, as its owner and mode say
  // (access control lists are not read).
  bool readable = true;
};

// Why a folder could not be opened or read.
enum class TFolderFailure : uint8_t {
  ffNone,
  ffUnreadable,   // its entries may not be listed, or it is gone
  ffNotEntered,   // its entries may be listed but not looked at or opened
                  // (no right to search it)
  ffTooManyOpen,  // the process or the system has no more room for open files
  ffPathTooLong,  // the system does not open a path that long
};

// One folder, open, and its entries ("." and ".." left out) read once: on
// POSIX in the bytes' order of their names, on Windows in the file system's
// own order, with the names as the program's 8-bit texts (where the code page
// cannot spell a character, "?"). Entries are named by their index, so that
// a subfolder is opened by the name the system gave, whatever its text.
// Distinct folders may be used on distinct threads at once, and one folder's
// entries may be looked at and opened from several threads while it is not
// resting (Rest()).
class IFolder {
 public:
  virtual ~IFolder() = default;
  // Equal for two folders that are one: on POSIX the device and the inode,
  // on Windows the volume's serial number and the file index.
  virtual std::pair<uint64_t, uint64_t> Identity() const = 0;
  // Reads the entries, the first time; false when they cannot be read, or
  // when the folder may not be entered (Failure() says which).
  virtual bool Read() = 0;
  virtual TFolderFailure Failure() const = 0;
  virtual size_t Count() const = 0;
  virtual std::string_view Name(size_t i) const = 0;
  // As listed: a link is ekLink on POSIX, where links are told apart; on
  // Windows a folder (and a link to one) is ekDirectory, anything else ekFile.
  virtual TEntryKind Kind(size_t i) const = 0;
  // Looks at the entry itself or, followLinks, at what a link leads to;
  // false when there is nothing there (a link that leads nowhere).
  virtual bool Look(size_t i, bool followLinks, TEntryFacts& facts) = 0;
  // The entry as a folder (a link followed); null when it cannot be opened,
  // with the reason in why when given.
  virtual std::unique_ptr<IFolder> Open(size_t i, TFolderFailure* why = nullptr) = 0;
  // Says that from now on one thread alone uses the folder, going down into
  // its subfolders one at a time: the folder may then give its system handle
  // back while a subfolder is open and take it again when next used, so that
  // a walk down a deep tree holds a handle or two, not one for each level.
  virtual void Rest() = 0;
};

// An advisory lock on one file, taken by IFileSystem::TryLock and held while
// the object lives; the system drops it when the process that holds it ends,
// however it ends. Two holders exclude each other in one process as in two.
class IFileLock {
 public:
  // Removes the file, then releases the lock, unless Leave() came first.
  virtual ~IFileLock() = default;
  // Gives up this process's hold without removing the file: for a lock that
  // a started program holds on to (IProcessRunner::Start).
  virtual void Leave() = 0;
  // The open file's native handle (a POSIX file descriptor), -1 for none.
  virtual intptr_t Handle() const = 0;
  virtual const std::string& Path() const = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  virtual bool DirectoryExists(const std::string& path) const = 0;
  // Creates one directory whose parent exists, which only its user may write
  // to (on POSIX whatever the umask); false when that fails.
  virtual bool MakeDirectory(const std::string& path) = 0;
  // Lists every entry of path, hidden and system ones included; false when
  // the directory cannot be listed. The real ones list through OpenFolder.
  virtual bool ListDirectory(const std::string& path, TDirectoryListing& listing) = 0;
  // The folder at path, open; null when it cannot be opened, with the
  // reason in why when given. Its entries are read on first use.
  virtual std::unique_ptr<IFolder> OpenFolder(const std::string& path,
                                              TFolderFailure* why = nullptr) = 0;
  // Takes the lock on the file at path, creating the file, without waiting:
  // null when another holder has it. Fails with an Exception ("Cannot create
  // file %s") when the file cannot be made.
  virtual std::unique_ptr<IFileLock> TryLock(const std::string& path) = 0;
  // An absolute path as the file system resolves it: every link of the part
  // that exists followed (on POSIX), the part that does not yet exist kept
  // after it as written. The path as given where nothing of it can be
  // resolved.
  virtual std::string ResolvedPath(const std::string& path) const = 0;
  // Why another user could redirect or replace what this process writes at
  // path; "" when nothing is in the way. Every step of it, from the root (or
  // the current directory) down, that lies in a folder all users may write
  // to must be no symbolic link and belong to this process's user or to the
  // superuser, and such a folder must have the sticky bit, which keeps
  // others from renaming what is not theirs. The steps are looked at without
  // following links (a link elsewhere is followed, and where it leads is
  // looked at as well); a step that is not there yet ends the look. On
  // Windows, where access lists and not the mode bits decide, nothing.
  virtual std::string ForeignStep(const std::string& path) const = 0;
  // Why this process cannot make files in the folder: the system's words
  // for it (a read-only file system, no permission); "" when it can.
  virtual std::string WriteProblem(const std::string& folder) const = 0;
  // A look at what is at path itself (a link is ekLink, not followed): its
  // kind and, for a file, its size; false when nothing is there.
  virtual bool LookAt(const std::string& path, TEntryFacts& facts) const = 0;
  // Removes the file at path (a link itself, never what it leads to); ""
  // once it is gone, else the system's words for why it is not.
  virtual std::string RemoveFileAt(const std::string& path) = 0;
  // Removes the folder at path when nothing is left in it, never anything
  // in it: "" once it is gone, kNotEmpty when something is still in it, else
  // the system's words for why it is not gone.
  virtual std::string RemoveEmptyFolder(const std::string& path) = 0;
  static constexpr const char* kNotEmpty = "it is not empty";
};

// The implementation this build provides.
template <>
IFileSystem& DefaultService<IFileSystem>();

}  // namespace pw
