// The user's locale as the system compares it.
#include <windows.h>

#include "platform/LocaleCompare.h"

namespace pw {

namespace {

class SystemCompare final : public ILocaleCompare {
 public:
  bool SameText(const std::string& a, const std::string& b) const override {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
  }

  // Two texts have equal sort keys exactly when the system compares them equal.
  std::string FoldKey(const std::string& text) const override {
    const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
    const int size = LCMapStringA(LOCALE_USER_DEFAULT, flags, text.data(),
                                  static_cast<int>(text.size()), nullptr, 0);
    std::string key(size > 0 ? size : 0, '\0');
    if (size > 0) {
      LCMapStringA(LOCALE_USER_DEFAULT, flags, text.data(), static_cast<int>(text.size()),
                   key.data(), size);
    }
    return key;
  }
};

}  // namespace

template <>
ILocaleCompare& DefaultService<ILocaleCompare>() {
  static SystemCompare instance;
  return instance;
}

}  // namespace pw
