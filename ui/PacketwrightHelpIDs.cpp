#include "ui/PacketwrightHelpIDs.h"

#include <QString>
#include <QUrl>

#include "platform/ProgramPath.h"
#include "platform/Services.h"
#include "platform/Shell.h"

namespace pw {

void ShowHelpTopic(int context) {
  if (context == 0) return;
  QUrl url = QUrl::fromLocalFile(QString::fromStdString(ProgramDirectory() + "Packetwright.html"));
  url.setFragment("context-" + QString::number(context));
  Get<IShell>().Execute("open", url.toString().toStdString(), "", "", TShowCommand::swShowNormal);
}

}  // namespace pw
