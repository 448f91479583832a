#include "ui/ImageList.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <memory>

#include "ui/Motifs.h"

namespace pw {

namespace {

// A theme picture with the same disabled look as the drawn ones, so a disabled
// command is plain to see whatever the theme.
QIcon Standard(QStyle::StandardPixmap picture) {
  return WithDisabledLook(QApplication::style()->standardIcon(picture));
}

QIcon Lamp(bool include) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor colour = include ? QColor(40, 170, 40) : QColor(210, 30, 30);
  QRadialGradient glow(QPointF(6, 6), 8);
  glow.setColorAt(0, colour.lighter(170));
  glow.setColorAt(1, colour);
  p.setBrush(glow);
  p.setPen(colour.darker(150));
  p.drawEllipse(QRectF(2, 2, 12, 12));
  return QIcon(pixmap);
}

struct TImageLists {
  TImageList main{{Standard(QStyle::SP_FileDialogNewFolder), Standard(QStyle::SP_DialogSaveButton),
                   Standard(QStyle::SP_FileDialogDetailedView), Standard(QStyle::SP_TrashIcon),
                   Standard(QStyle::SP_MediaPlay), Standard(QStyle::SP_DirOpenIcon),
                   Standard(QStyle::SP_FileIcon), Standard(QStyle::SP_FileDialogContentsView),
                   Standard(QStyle::SP_DialogHelpButton), Standard(QStyle::SP_MediaSeekForward)}};
  QIcon lamps[2] = {Lamp(false), Lamp(true)};
  TImageList rules{{PlusSign(), SheetOfPaper(), MinusSign(), FloppyDisk(), lamps[1], lamps[0]}};
  TImageList extensions{{PlusSign(),
                         SheetOfPaper(),
                         MinusSign(),
                         {},
                         {},
                         {},
                         {},
                         {},
                         {},
                         {},
                         OpenFolder(),
                         ClipboardWithTick(),
                         Cross()}};
};

// Pictures belong to the application object: they are let go when it goes.
std::unique_ptr<TImageLists>& Lists() {
  static std::unique_ptr<TImageLists> lists;
  if (!lists) {
    lists = std::make_unique<TImageLists>();
    qAddPostRoutine([] { Lists().reset(); });
  }
  return lists;
}

}  // namespace

const QIcon& TImageList::operator[](int index) const {
  static const QIcon none;
  return index >= 0 && index < Count() ? images_[static_cast<size_t>(index)] : none;
}

const TImageList& MainImageList() {
  return Lists()->main;
}

const TImageList& RulesImageList() {
  return Lists()->rules;
}

const TImageList& ExtensionsImageList() {
  return Lists()->extensions;
}

const QIcon& CategoryLamp(bool include) {
  return Lists()->lamps[include ? 1 : 0];
}

}  // namespace pw
