#include <windows.h>

#include "platform/CurrentDirectory.h"
#include "platform/Errors.h"
#include "platform/Services.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

class ProcessDirectory final : public ICurrentDirectory {
 public:
  void Check(const std::string& path) const override {
    if (path.empty()) return;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) throw InOutError(static_cast<int>(GetLastError()));
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) throw InOutError(ERROR_DIRECTORY);
  }
  // A folder deeper than the buffer makes the call answer the size it needs
  // instead of the name; the buffer then grows to that size and asks again.
  // The wide call reads folders deeper than MAX_PATH, which the 8-bit one
  // refuses on some systems.
  std::string Get() const override {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
      if (n == 0) throw InOutError(static_cast<int>(GetLastError()));
      if (n < buffer.size()) {
        return Utf16ToLocal8Bit(std::u16string(buffer.begin(), buffer.begin() + n));
      }
      buffer.resize(n);
    }
  }
};

}  // namespace

template <>
ICurrentDirectory& DefaultService<ICurrentDirectory>() {
  static ProcessDirectory instance;
  return instance;
}

}  // namespace pw
