#include "tests/ui/OffscreenFonts.h"

#ifdef _WIN32
#include <windows.h>

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QStringList>
#include <vector>
#endif

namespace pw::test {

#ifdef _WIN32

namespace {

QString FontsFolder() {
  wchar_t windows[MAX_PATH];
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  return QString::fromWCharArray(windows, static_cast<int>(length)) + "\\Fonts";
}

// The font files that root lists as installed: full paths, or names in the
// system's fonts folder. Only the kinds the offscreen platform would read
// from its own folder.
QStringList ListedFontFiles(HKEY root) {
  QStringList files;
  HKEY key;
  if (RegOpenKeyExW(root, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", 0, KEY_READ,
                    &key) != ERROR_SUCCESS) {
    return files;
  }
  DWORD longestName = 0, longestData = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                   &longestData, nullptr, nullptr);
  std::vector<wchar_t> name(longestName + 1);
  std::vector<wchar_t> data(longestData / sizeof(wchar_t) + 1);
  const QString folder = FontsFolder();
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));  // room for an end
    DWORD type = 0;
    const LONG read = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data.data()), &dataSize);
    if (read == ERROR_NO_MORE_ITEMS) break;
    if (read != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataSize / sizeof(wchar_t)] = L'\0';  // stored without one, the text ends here
    QString file = QString::fromWCharArray(data.data());
    if (QFileInfo(file).isRelative()) file = folder + "\\" + file;
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == "ttf" || suffix == "ttc" || suffix == "otf") files << QDir::cleanPath(file);
  }
  RegCloseKey(key);
  return files;
}

QString MessageFontFamily() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) return {};
  return QString::fromWCharArray(metrics.lfMessageFont.lfFaceName);
}

}  // namespace

void UseInstalledFonts() {
  if (QGuiApplication::platformName() != "offscreen") return;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (const QString& file : ListedFontFiles(root)) QFontDatabase::addApplicationFont(file);
  }
  QStringList sans;
  if (const QString message = MessageFontFamily(); !message.isEmpty()) sans << message;
  sans << "DejaVu Sans";
  for (const auto role : {QFontDatabase::GeneralFont, QFontDatabase::TitleFont,
                          QFontDatabase::SmallestReadableFont}) {
    QFont::insertSubstitutions(QFontDatabase::systemFont(role).family(), sans);
  }
  // Linux's fontconfig hints lightly, up and down only, which keeps the
  // font's own widths; here the fonts would be hinted fully, each glyph's
  // advance rounded to whole pixels, and a caption some pixels wider. The
  // windows' fonts take this from the application's.
  QFont font = QGuiApplication::font();
  font.setHintingPreference(QFont::PreferVerticalHinting);
  QGuiApplication::setFont(font);
}

#else

void UseInstalledFonts() {}

#endif

}  // namespace pw::test
