#include "archiver/DirectoryScan.h"

#include <set>
#include <string_view>
#include <unordered_set>

#include "archiver/ArchiverDetection.h"
#include "archiver/Dialect.h"
#include "platform/FileSystem.h"
#include "platform/LocaleCompare.h"
#include "platform/Services.h"

namespace pw {

namespace {

class SilentMessageWinFactory final : public IMessageWinFactory {
 public:
  std::unique_ptr<IMessageWin> CreateMessageWin() override { return nullptr; }
};

std::string_view ExtensionOf(std::string_view name) {
  const size_t dot = name.find_last_of(".\\:");
  if (dot == std::string_view::npos || name[dot] != '.') return {};
  return name.substr(dot);
}

struct TransparentHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

// One walk. Most files repeat an extension already met in exactly the same
// spelling, which costs one hash lookup; only a new spelling is folded under
// the locale comparison (where the style's archivers match regardless of
// letter case; in the POSIX style each spelling is a mask of its own) and
// checked against the masks held so far.
class Scan {
 public:
  explicit Scan(TbkExtensions* extensions)
      : extensions_(extensions),
        compare_(Get<ILocaleCompare>()),
        files_(Get<IFileSystem>()),
        separator_(Dialect().Separator()),
        ignoreCase_(Dialect().NamesIgnoreCase()) {
    for (int i = 0; i < extensions_->Count(); ++i) {
      folded_.insert(Key(extensions_->Items(i)->Ext()));
    }
  }

  void Directory(std::string dir) {
    if (!dir.empty() && dir.back() == separator_) dir.pop_back();
    TDirectoryListing listing;
    if (!files_.ListDirectory(dir, listing)) return;
    if (!visited_.insert(listing.identity).second) return;
    for (const TDirectoryListing::Entry& entry : listing.entries) {
      const std::string_view name = listing.Name(entry);
      if (entry.isDirectory) {
        Directory(dir + separator_ + std::string(name));
      } else {
        File(ExtensionOf(name));
      }
    }
  }

 private:
  void File(std::string_view extension) {
    if (extension.size() <= 1) return;  // no extension, or a trailing dot
    if (spellings_.find(extension) != spellings_.end()) return;
    const std::string ext(extension);
    spellings_.insert(ext);
    const std::string mask = "*" + ext;
    if (!folded_.insert(Key(mask)).second) return;
    TbkExtension* added = extensions_->Add();
    added->SetExt(mask);
    added->SetActive(false);
    std::string description;
    GetFileTypeDescription(ext, description);
    added->SetProgramCaption(description);
  }

  std::string Key(const std::string& mask) const {
    return ignoreCase_ ? compare_.FoldKey(mask) : mask;
  }

  TbkExtensions* extensions_;
  const ILocaleCompare& compare_;
  IFileSystem& files_;
  const char separator_;
  const bool ignoreCase_;
  std::set<std::pair<uint64_t, uint64_t>> visited_;
  std::unordered_set<std::string, TransparentHash, std::equal_to<>> spellings_;
  std::unordered_set<std::string> folded_;
};

}  // namespace

template <>
IMessageWinFactory& DefaultService<IMessageWinFactory>() {
  static SilentMessageWinFactory instance;
  return instance;
}

std::string ExtensionMask(const std::string& fileName) {
  return "*" + std::string(ExtensionOf(fileName));
}

void ScanDirectory(const std::string& dir, TbkExtensions* extensions, IMessageWin* messageWin) {
  std::unique_ptr<IMessageWin> own;
  if (!messageWin) {
    own = Get<IMessageWinFactory>().CreateMessageWin();
    if (own) own->ShowText("Scanning " + dir + "...");
  }
  Scan(extensions).Directory(dir);
}

}  // namespace pw
