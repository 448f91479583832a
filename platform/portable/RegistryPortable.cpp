// The registry where there is none: Packetwright.reg beside the settings file, and
// for file types it does not describe, the desktop's MIME database.
#include <QMimeDatabase>

#include "platform/RegistryFile.h"
#include "platform/Services.h"
#include "platform/SettingsLocation.h"

namespace pw {

namespace {

class TextKey final : public IRegistryKey {
 public:
  explicit TextKey(std::string value) : value_(std::move(value)) {}
  bool ReadDefaultValue(std::string& value) override {
    value = value_;
    return true;
  }

 private:
  std::string value_;
};

class PortableRegistry final : public IRegistry {
 public:
  PortableRegistry() : file_(SettingsFolder() + "Packetwright.reg") {}

  std::unique_ptr<IRegistryKey> OpenKey(TRegistryRoot root, const std::string& path) override {
    if (file_.HasKey(root, path) || root != TRegistryRoot::rrClassesRoot || path.empty()) {
      return file_.OpenKey(root, path);
    }
    // ".txt" answers with its MIME type's name, and that name with its comment.
    QMimeDatabase mime;
    const QString key = QString::fromStdString(path);
    if (key.startsWith('.')) {
      const QMimeType type = mime.mimeTypeForFile("file" + key, QMimeDatabase::MatchExtension);
      if (type.isDefault()) return nullptr;
      return std::make_unique<TextKey>(type.name().toStdString());
    }
    const QMimeType type = mime.mimeTypeForName(key);
    if (!type.isValid()) return nullptr;
    return std::make_unique<TextKey>(type.comment().toStdString());
  }

 private:
  TLiveRegistryFile file_;
};

}  // namespace

template <>
IRegistry& DefaultService<IRegistry>() {
  static PortableRegistry instance;
  return instance;
}

}  // namespace pw
