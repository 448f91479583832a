#include "ui/MenuAccelerators.h"

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QMenu>
#include <QMenuBar>

namespace pw {

namespace {

// The character after a single "&", or none.
QChar Accelerator(const QString& caption) {
  for (int i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] != '&') return caption[i + 1].toLower();
    ++i;  // "&&" is a literal ampersand
  }
  return {};
}

// caption with "&" before the character the accelerator picks, or caption
// itself when every candidate is taken; used holds the characters taken, in
// lower case, and receives the one chosen.
QString WithAccelerator(const QString& caption, QString& used) {
  auto free = [&](int i) {
    return caption[i].isLetterOrNumber() && !used.contains(caption[i].toLower());
  };
  int chosen = -1;
  for (int i = 0; i < caption.size() && chosen < 0; ++i) {
    const bool wordStart = i == 0 || !caption[i - 1].isLetterOrNumber();
    if (wordStart && free(i)) chosen = i;
  }
  for (int i = 0; i < caption.size() && chosen < 0; ++i) {
    if (free(i)) chosen = i;
  }
  if (chosen < 0) return caption;
  used += caption[chosen].toLower();
  QString result = caption;
  result.insert(chosen, '&');
  return result;
}

void AssignAll(const QList<QAction*>& actions) {
  QString used;
  for (QAction* a : actions) {
    const QChar taken = Accelerator(a->text());
    if (!taken.isNull()) used += taken;
  }
  for (QAction* a : actions) {
    if (a->isSeparator() || a->text().isEmpty() || !Accelerator(a->text()).isNull()) continue;
    a->setText(WithAccelerator(a->text(), used));
  }
}

}  // namespace

void AssignAccelerators(QMenu* menu) {
  AssignAll(menu->actions());
}

void AssignAccelerators(QMenuBar* bar) {
  AssignAll(bar->actions());
  for (QAction* title : bar->actions()) {
    if (QMenu* menu = title->menu()) AssignAccelerators(menu);
  }
}

}  // namespace pw
