#include <windows.h>

#include "platform/Errors.h"
#include "platform/Registry.h"
#include "platform/Services.h"

namespace pw {

namespace {

class SystemKey final : public IRegistryKey {
 public:
  explicit SystemKey(HKEY key) : key_(key) {}
  ~SystemKey() override { RegCloseKey(key_); }

  bool ReadDefaultValue(std::string& value) override {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key_, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
      return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      throw ERegistryError("Invalid data type for the default value");
    }
    std::string buffer(size, '\0');
    if (size > 0 &&
        RegQueryValueExA(key_, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS) {
      return false;
    }
    buffer.resize(size);
    while (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
    value = buffer;
    return true;
  }

 private:
  HKEY key_;
};

class SystemRegistry final : public IRegistry {
 public:
  std::unique_ptr<IRegistryKey> OpenKey(TRegistryRoot root, const std::string& path) override {
    HKEY key;
    const HKEY base =
        root == TRegistryRoot::rrLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
    if (RegOpenKeyExA(base, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    return std::make_unique<SystemKey>(key);
  }
};

}  // namespace

template <>
IRegistry& DefaultService<IRegistry>() {
  static SystemRegistry instance;
  return instance;
}

}  // namespace pw
