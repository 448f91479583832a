#include <windows.h>

#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/TextCodec.h"
#include "platform/Services.h"

namespace pw {

namespace {

// A lock on the file's first byte, LockFileEx's, which belongs to the handle:
// two handles exclude each other in one process as well. The file goes when
// its last handle is closed.
class Win32FileLock final : public IFileLock {
 public:
  Win32FileLock(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
  ~Win32FileLock() override { Leave(); }
  void Leave() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }
  intptr_t Handle() const override { return reinterpret_cast<intptr_t>(file_); }
  const std::string& Path() const override { return path_; }

 private:
  HANDLE file_;
  std::string path_;
};

std::wstring Wide(const std::string& text) {
  const std::u16string units = Local8BitToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

// The system's words for an error, as the program's 8-bit text.
std::string WindowsErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words = length && text ? std::wstring(text, length) : std::wstring();
  if (text) LocalFree(text);
  while (!words.empty() &&
         (words.back() == L'\r' || words.back() == L'\n' || words.back() == L'.')) {
    words.pop_back();
  }
  if (words.empty()) return "Windows error " + std::to_string(error);
  return Utf16ToLocal8Bit(std::u16string(words.begin(), words.end()));
}

// What a folder that cannot be listed comes to, by the system's error.
TFolderFailure FailureOf(DWORD error) {
  switch (error) {
    case ERROR_TOO_MANY_OPEN_FILES:
      return TFolderFailure::ffTooManyOpen;
    case ERROR_FILENAME_EXCED_RANGE:
      return TFolderFailure::ffPathTooLong;
    default:
      return TFolderFailure::ffUnreadable;
  }
}

// The walk goes by the names' Unicode, as the archivers do, so that a folder
// whose name the ANSI code page cannot spell is entered all the same; the
// names it gives are the program's 8-bit texts, where such a character is "?".
// A folder holds no handle between its calls: its listing is read whole, and
// its subfolders are opened by their paths.
class Win32Folder final : public IFolder {
 public:
  static std::unique_ptr<IFolder> Of(std::wstring path, TFolderFailure* why) {
    HANDLE self =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (self == INVALID_HANDLE_VALUE) {
      if (why) *why = FailureOf(GetLastError());
      return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(self, &info) != 0;
    CloseHandle(self);
    if (!known || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      if (why) *why = TFolderFailure::ffUnreadable;
      return nullptr;
    }
    return std::unique_ptr<IFolder>(new Win32Folder(
        std::move(path),
        {info.dwVolumeSerialNumber,
         (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow}));
  }

  std::pair<uint64_t, uint64_t> Identity() const override { return identity_; }
  TFolderFailure Failure() const override { return failure_; }
  void Rest() override {}

  bool Read() override {
    if (read_) return readable_;
    read_ = true;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW(Below(L"*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
      failure_ = FailureOf(GetLastError());
      return readable_ = false;
    }
    do {
      const wchar_t* name = found.cFileName;
      if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
      const std::wstring wide(name);
      const std::string text = Utf16ToLocal8Bit(std::u16string(wide.begin(), wide.end()));
      entries_.push_back(
          {static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(text.size()),
           (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? TEntryKind::ekDirectory
                                                               : TEntryKind::ekFile,
           static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) |
                                found.nFileSizeLow)});
      names_ += text;
      wide_.push_back(wide);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return readable_ = true;
  }

  size_t Count() const override { return entries_.size(); }
  std::string_view Name(size_t i) const override {
    return {names_.data() + entries_[i].offset, entries_[i].length};
  }
  TEntryKind Kind(size_t i) const override { return entries_[i].kind; }
  // What the listing said; a link is what it leads to there already.
  bool Look(size_t i, bool, TEntryFacts& facts) override {
    facts.kind = entries_[i].kind;
    facts.size = entries_[i].size;
    facts.readable = true;
    return true;
  }
  std::unique_ptr<IFolder> Open(size_t i, TFolderFailure* why) override {
    return Of(Below(wide_[i]), why);
  }

 private:
  struct Entry {
    uint32_t offset, length;
    TEntryKind kind;
    int64_t size;
  };
  Win32Folder(std::wstring path, std::pair<uint64_t, uint64_t> identity)
      : path_(std::move(path)), identity_(identity) {}
  std::wstring Below(const std::wstring& name) const {
    const bool ends = !path_.empty() && (path_.back() == L'\\' || path_.back() == L'/');
    return path_ + (ends ? L"" : L"\\") + name;
  }

  const std::wstring path_;
  const std::pair<uint64_t, uint64_t> identity_;
  bool read_ = false, readable_ = false;
  TFolderFailure failure_ = TFolderFailure::ffNone;
  std::string names_;
  std::vector<Entry> entries_;
  std::vector<std::wstring> wide_;
};

class SystemFileSystem final : public IFileSystem {
 public:
  bool DirectoryExists(const std::string& path) const override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool MakeDirectory(const std::string& path) override {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
  }

  bool ListDirectory(const std::string& path, TDirectoryListing& listing) override {
    listing.names.clear();
    listing.entries.clear();
    const std::unique_ptr<IFolder> folder = OpenFolder(path, nullptr);
    if (!folder || !folder->Read()) return false;
    listing.identity = folder->Identity();
    for (size_t i = 0; i < folder->Count(); ++i) {
      listing.Add(folder->Name(i), folder->Kind(i) == TEntryKind::ekDirectory);
    }
    return true;  // already in the file system's own order
  }

  // A bare drive such as "C:" names that drive's current folder, not its
  // root; the scan hands roots over in that form.
  // The final path of the longest part that exists (junctions and links
  // followed), without its "\\?\" prefix; the rest kept as it is.
  std::string ResolvedPath(const std::string& path) const override {
    std::string head = path;
    std::string tail;
    while (head.size() > 3) {
      const HANDLE file =
          CreateFileW(Wide(head).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        wchar_t buffer[32768];
        const DWORD length =
            GetFinalPathNameByHandleW(file, buffer, 32768, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        CloseHandle(file);
        if (length == 0 || length >= 32768) return path;
        std::wstring final(buffer, length);
        if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) {
          final = L"\\\\" + final.substr(8);
        } else if (final.rfind(L"\\\\?\\", 0) == 0) {
          final = final.substr(4);
        }
        const std::string resolved = Utf16ToLocal8Bit(std::u16string(final.begin(), final.end()));
        return tail.empty() ? resolved : resolved + "\\" + tail;
      }
      const size_t sep = head.find_last_of("\\/");
      if (sep == std::string::npos) return path;
      const std::string step = head.substr(sep + 1);
      if (!step.empty()) tail = tail.empty() ? step : step + "\\" + tail;
      head = head.substr(0, sep);
    }
    return path;
  }

  // Who may rename or replace a folder's entries is said by its access
  // list, which a folder made by a user leaves to that user and the
  // administrators: nothing here for another user to plant.
  std::string ForeignStep(const std::string&) const override { return {}; }

  // A file made there and gone again at once tells, with the system's
  // reason when it cannot be made.
  std::string WriteProblem(const std::string& folder) const override {
    const bool ends = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
    const std::string probe =
        folder + (ends ? "" : "\\") + "Packetwright.probe." + std::to_string(GetCurrentProcessId());
    HANDLE file = CreateFileW(Wide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return {};
    }
    const DWORD error = GetLastError();
    switch (error) {
      case ERROR_WRITE_PROTECT:
        return "it lies on a medium that is write-protected";
      case ERROR_ACCESS_DENIED:
        return "this user may not write to it";
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
        return "it does not exist";
      case ERROR_FILE_EXISTS:
        return {};  // a probe of this process left behind: the folder took it
      default:
        return "Windows error " + std::to_string(error);
    }
  }

  // A reparse point (a symbolic link, a junction) is a link; its own
  // attributes are looked at, not its target's.
  bool LookAt(const std::string& path, TEntryFacts& facts) const override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return false;
    const DWORD attributes = data.dwFileAttributes;
    facts.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? TEntryKind::ekLink
                 : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? TEntryKind::ekDirectory
                                                             : TEntryKind::ekFile;
    facts.size = facts.kind == TEntryKind::ekFile
                     ? static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                            data.nFileSizeLow)
                     : 0;
    facts.readable = true;
    return true;
  }

  std::string RemoveFileAt(const std::string& path) override {
    if (DeleteFileW(Wide(path).c_str())) return {};
    return WindowsErrorText(GetLastError());
  }

  std::string RemoveEmptyFolder(const std::string& path) override {
    if (RemoveDirectoryW(Wide(path).c_str())) return {};
    const DWORD error = GetLastError();
    if (error == ERROR_DIR_NOT_EMPTY) return kNotEmpty;
    return WindowsErrorText(error);
  }

  std::unique_ptr<IFolder> OpenFolder(const std::string& path, TFolderFailure* why) override {
    const bool bareDrive = path.size() == 2 && path[1] == ':';
    std::wstring folder = Wide(bareDrive ? path + "\\" : path);
    // The listing adds its own separator.
    if (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return Win32Folder::Of(folder, why);
  }

  std::unique_ptr<IFileLock> TryLock(const std::string& path) override {
    // A file whose last holder has just closed it is on its way out and
    // cannot be opened for a moment.
    for (int turn = 0; turn < 50; ++turn) {
      HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                                nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_ACCESS_DENIED && turn + 1 < 50) {
          Sleep(10);
          continue;
        }
        break;
      }
      OVERLAPPED start{};
      if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &start)) {
        return std::make_unique<Win32FileLock>(file, path);
      }
      const DWORD error = GetLastError();
      CloseHandle(file);
      if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return nullptr;
      break;
    }
    throw EFCreateError(Format("Cannot create file %s", path));
  }
};

}  // namespace

template <>
IFileSystem& DefaultService<IFileSystem>() {
  static SystemFileSystem instance;
  return instance;
}

}  // namespace pw
