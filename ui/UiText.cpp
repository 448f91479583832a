#include "ui/UiText.h"

#include "platform/TextCodec.h"

namespace pw {

QString ToQt(const std::string& text) {
  const std::u32string decoded = DecodeLocal8Bit(text);
  return QString::fromUcs4(decoded.data(), static_cast<qsizetype>(decoded.size()));
}

std::string FromQt(const QString& text) {
  return text.toStdString();
}

std::string FromQt(const QString& text, const std::string& original) {
  return text == ToQt(original) ? original : FromQt(text);
}

}  // namespace pw
