// Checks shared by the tests of the windows with menus.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QStringList>

namespace pw::test {

// Every entry picks itself by a letter of its own.
inline void ExpectAccelerators(const QList<QAction*>& entries) {
  QStringList keys;
  for (QAction* a : entries) {
    if (a->isSeparator()) continue;
    const QString key = QKeySequence::mnemonic(a->text()).toString();
    EXPECT_FALSE(key.isEmpty()) << a->text().toStdString();
    EXPECT_FALSE(keys.contains(key)) << a->text().toStdString();
    keys << key;
  }
}

}  // namespace pw::test
