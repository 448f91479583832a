// Reading and driving the program's list views the way a user sees them:
// rows in screen order, through the view's own model.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QItemSelectionModel>
#include <QScreen>
#include <QStringList>
#include <QTest>
#include <initializer_list>

namespace pw::test {

// A key pressed as the user presses it: in the window that has the focus,
// where its shortcuts answer.
inline ::testing::AssertionResult PressInWindow(QWidget* window, Qt::Key key) {
  window->show();
  window->raise();
  window->activateWindow();
  if (!QTest::qWaitForWindowActive(window)) {
    return ::testing::AssertionFailure() << "the window did not become active";
  }
  QWidget* at = QApplication::focusWidget();
  QTest::keyClick(at && at->window() == window ? at : window, key);
  return ::testing::AssertionSuccess();
}

// A window of its own is wholly on the screen, title bar included, and has
// its middle where the window it belongs to has its own, as far as the
// screen lets it.
inline ::testing::AssertionResult OpensOverItsOwner(QWidget* window, QWidget* owner) {
  const QRect screen = window->screen()->availableGeometry();
  const QRect frame = window->frameGeometry();
  if (!screen.contains(frame)) {
    return ::testing::AssertionFailure() << "off the screen: " << frame.x() << "," << frame.y()
                                         << " " << frame.width() << "x" << frame.height();
  }
  const QPoint off = frame.center() - owner->frameGeometry().center();
  const bool fits = frame.width() < screen.width() && frame.height() < screen.height();
  if (fits && off.manhattanLength() > 4) {
    return ::testing::AssertionFailure()
           << "not over its owner: off by " << off.x() << "," << off.y();
  }
  return ::testing::AssertionSuccess();
}

inline int Rows(QAbstractItemView* view) {
  return view->model()->rowCount();
}

inline QString Cell(QAbstractItemView* view, int row, int column = 0) {
  return view->model()->index(row, column).data().toString();
}

inline bool IsChecked(QAbstractItemView* view, int row) {
  return view->model()->index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>() ==
         Qt::Checked;
}

// What a click on the row's check box does.
inline void SetChecked(QAbstractItemView* view, int row, bool checked) {
  view->model()->setData(view->model()->index(row, 0), checked ? Qt::Checked : Qt::Unchecked,
                         Qt::CheckStateRole);
}

// The first column of every row, top to bottom.
inline QStringList Captions(QAbstractItemView* view) {
  QStringList out;
  for (int row = 0; row < Rows(view); ++row) out << Cell(view, row);
  return out;
}

inline QStringList SelectedCaptions(QAbstractItemView* view) {
  QStringList out;
  for (int row = 0; row < Rows(view); ++row) {
    if (view->selectionModel()->isRowSelected(row, {})) out << Cell(view, row);
  }
  return out;
}

// The focus frame is on a selected row, or there is no frame and no selection:
// where the next Down and Space act is where the user sees the selection.
inline ::testing::AssertionResult CurrentAgreesWithSelection(QAbstractItemView* view) {
  const QModelIndex current = view->currentIndex();
  const bool anySelected = view->selectionModel()->hasSelection();
  if (current.isValid() && view->selectionModel()->isRowSelected(current.row(), {})) {
    return ::testing::AssertionSuccess();
  }
  if (!current.isValid() && !anySelected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "the focus frame is on "
         << (current.isValid() ? Cell(view, current.row()) : "no row").toStdString()
         << ", the selection is \"" << SelectedCaptions(view).join(", ").toStdString() << "\"";
}

inline void SelectRow(QAbstractItemView* view, int row) {
  view->selectionModel()->select(view->model()->index(row, 0),
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// Selects exactly the rows whose first column reads one of captions.
inline void SelectCaptions(QAbstractItemView* view, std::initializer_list<const char*> captions) {
  view->clearSelection();
  for (const char* caption : captions) {
    const int row = static_cast<int>(Captions(view).indexOf(caption));
    view->selectionModel()->select(view->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
}

}  // namespace pw::test
