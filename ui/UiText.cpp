#include "ui/UiText.h"

#include <QLocale>

#include "platform/TextCodec.h"

namespace pw {

QString ToQt(const std::string& text) {
  const std::u16string wide = Local8BitToUtf16(text);
  return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

std::string FromQt(const QString& text) {
  return Utf16ToLocal8Bit(std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                                         static_cast<size_t>(text.size())));
}

std::string FromQt(const QString& text, const std::string& original) {
  return text == ToQt(original) ? original : FromQt(text);
}

QString CountText(int64_t n) {
  return QLocale().toString(static_cast<qint64>(n));
}

QString SizeText(int64_t bytes) {
  return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

}  // namespace pw
