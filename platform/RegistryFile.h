// A read-only registry held in memory, read from a file in the registry
// export format ("REGEDIT4" or "Windows Registry Editor Version 5.00").
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/Registry.h"

namespace pw {

struct TRegistryValue {
  bool isText = true;  // REG_SZ or REG_EXPAND_SZ
  std::string text;
  int line = 0;  // of the file, where the value is given
};

class TRegistryFile final : public IRegistry {
 public:
  // Fails with ERegistryError naming the line of the first malformed entry.
  static TRegistryFile Parse(const std::string& contents);
  // The file's registry, or an empty one when the file does not exist. A
  // malformed file is reported once on standard error and gives an empty one.
  // A default value that is not text is reported there too, a line each, and
  // kept: reading it fails as it does in the system's registry.
  static TRegistryFile Load(const std::string& fileName, std::string* problem = nullptr);

  std::unique_ptr<IRegistryKey> OpenKey(TRegistryRoot root, const std::string& path) override;
  bool HasKey(TRegistryRoot root, const std::string& path) const;

 private:
  struct Key {
    std::optional<TRegistryValue> defaultValue;
  };
  static std::string Normalize(const std::string& path);
  std::map<std::pair<TRegistryRoot, std::string>, Key> keys_;
};

// A registry file as it stands now: read again whenever it has changed since
// the last read, so that an archiver registered or removed while the program
// runs is seen by the next lookup.
class TLiveRegistryFile final : public IRegistry {
 public:
  explicit TLiveRegistryFile(std::string fileName) : fileName_(std::move(fileName)) {}

  std::unique_ptr<IRegistryKey> OpenKey(TRegistryRoot root, const std::string& path) override;
  bool HasKey(TRegistryRoot root, const std::string& path);

 private:
  struct Stamp {
    bool exists = false;
    std::filesystem::file_time_type written{};
    std::uintmax_t size = 0;
    bool operator==(const Stamp&) const = default;
  };
  TRegistryFile& Current();

  std::string fileName_;
  std::optional<Stamp> read_;  // the file as it was when last read
  TRegistryFile file_;
};

}  // namespace pw
