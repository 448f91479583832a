// Case-insensitive comparison by Unicode case folding of the decoded texts.
#include <unicode/uchar.h>

#include "platform/LocaleCompare.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

class FoldingCompare final : public ILocaleCompare {
 public:
  bool SameText(const std::string& a, const std::string& b) const override {
    if (a == b) return true;
    return FoldKey(a) == FoldKey(b);
  }

  std::string FoldKey(const std::string& text) const override {
    std::u32string decoded = DecodeLocal8Bit(text);
    for (char32_t& cp : decoded) {
      cp = static_cast<char32_t>(u_foldCase(static_cast<UChar32>(cp), U_FOLD_CASE_DEFAULT));
    }
    return EncodeUtf8(decoded);
  }
};

}  // namespace

template <>
ILocaleCompare& DefaultService<ILocaleCompare>() {
  static FoldingCompare instance;
  return instance;
}

}  // namespace pw
