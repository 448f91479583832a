#include "ui/PacketwrightHelpIDs.h"

#include <QDir>
#include <QString>
#include <QUrl>

#include "platform/ProgramPath.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "platform/Streams.h"
#include "ui/UiText.h"

namespace pw {

std::string HelpFileName(const std::string& programFolder) {
  const std::string beside = programFolder + "Packetwright.html";
  if (FileExists(beside)) return beside;
  const std::string installed =
      FromQt(QDir::cleanPath(ToQt(programFolder + "../share/doc/packetwright/Packetwright.html")));
  return FileExists(installed) ? installed : beside;
}

std::string HelpFileName() {
  return HelpFileName(ProgramDirectory());
}

void ShowHelpTopic(int context) {
  if (context == 0) return;
  QUrl url = QUrl::fromLocalFile(ToQt(HelpFileName()));
  url.setFragment("context-" + QString::number(context));
  Get<IShell>().Execute("open", FromQt(url.toString()), "", "", TShowCommand::swShowNormal);
}

}  // namespace pw
