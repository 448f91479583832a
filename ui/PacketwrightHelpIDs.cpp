#include "ui/PacketwrightHelpIDs.h"

#include <QString>
#include <QUrl>

#include "platform/ProgramPath.h"
#include "platform/Services.h"
#include "platform/Shell.h"
#include "ui/UiText.h"

namespace pw {

void ShowHelpTopic(int context) {
  if (context == 0) return;
  QUrl url = QUrl::fromLocalFile(ToQt(ProgramDirectory() + "Packetwright.html"));
  url.setFragment("context-" + QString::number(context));
  Get<IShell>().Execute("open", FromQt(url.toString()), "", "", TShowCommand::swShowNormal);
}

}  // namespace pw
