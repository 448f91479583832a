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
  // Creates one directory whose parent exists; false when that fails.
  virtual bool MakeDirectory(const std::string& path) = 0;
  // Lists every entry of path, hidden and system ones included; false when
  // the directory cannot be listed.
  virtual bool ListDirectory(const std::string& path, TDirectoryListing& listing) = 0;
  // Takes the lock on the file at path, creating the file, without waiting:
  // null when another holder has it. Fails with an Exception ("Cannot create
  // file %s") when the file cannot be made.
  virtual std::unique_ptr<IFileLock> TryLock(const std::string& path) = 0;
};

// The implementation this build provides.
template <>
IFileSystem& DefaultService<IFileSystem>();

}  // namespace pw
