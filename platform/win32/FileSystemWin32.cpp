#include <windows.h>

#include "platform/FileSystem.h"
#include "platform/Services.h"

namespace pw {

namespace {

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
    // A bare drive such as "C:" names that drive's current folder, not its
    // root; the scan hands roots over in that form.
    const bool bareDrive = path.size() == 2 && path[1] == ':';
    const std::string folder = bareDrive ? path + "\\" : path;
    HANDLE self =
        CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (self == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(self, &info) != 0;
    CloseHandle(self);
    if (!known) return false;
    listing.identity = {info.dwVolumeSerialNumber,
                        (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((path + "\\*.*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    do {
      const char* name = found.cFileName;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      listing.Add(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return true;  // already in the file system's own order
  }
};

}  // namespace

template <>
IFileSystem& DefaultService<IFileSystem>() {
  static SystemFileSystem instance;
  return instance;
}

}  // namespace pw
