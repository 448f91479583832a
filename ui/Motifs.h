// The pictures that the rules window and the mask frame name by their motif,
// drawn at 16 by 16. Each has its own disabled look, greyed and faded, so a
// disabled command is plain to see.
#pragma once

#include <QIcon>

namespace pw {

QIcon PlusSign();
QIcon SheetOfPaper();
QIcon MinusSign();
QIcon FloppyDisk();
QIcon OpenFolder();
QIcon ClipboardWithTick();
QIcon Cross();

// The disabled look of a picture: grey, and faded.
QPixmap DisabledLook(const QPixmap& picture);
// icon at 16 by 16 with that disabled look.
QIcon WithDisabledLook(const QIcon& icon);

}  // namespace pw
