// The pieces the program's lists share.
#pragma once

#include <QKeyEvent>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <functional>

namespace pw {

// An item that sorts by its caption, letter case ignored.
class TCaptionSortedItem final : public QTreeWidgetItem {
 public:
  bool operator<(const QTreeWidgetItem& other) const override {
    return text(0).compare(other.text(0), Qt::CaseInsensitive) < 0;
  }
};

// Draws the items that a test picks out in another colour, and optionally
// bold: changed directories and rules, passive masks.
class TMarkedItemDelegate final : public QStyledItemDelegate {
 public:
  // marked receives the data that column 0 of the row carries.
  TMarkedItemDelegate(QObject* parent, std::function<bool(quintptr)> marked,
                      std::function<QColor(const QPalette&)> colour, bool bold)
      : QStyledItemDelegate(parent),
        marked_(std::move(marked)),
        colour_(std::move(colour)),
        bold_(bold) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!marked_(index.siblingAtColumn(0).data(Qt::UserRole).value<quintptr>())) return;
    if (bold_) option->font.setBold(true);
    const QColor colour = colour_(option->palette);
    option->palette.setColor(QPalette::Text, colour);
    if (bold_) option->palette.setColor(QPalette::HighlightedText, colour);
  }

 private:
  std::function<bool(quintptr)> marked_;
  std::function<QColor(const QPalette&)> colour_;
  bool bold_;
};

// Space toggles the check mark of the current row, whichever column holds
// the focus, as in the list views of Windows. Install it on the list.
class TSpaceTogglesCheck final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier) return false;
    auto* list = qobject_cast<QTreeWidget*>(watched);
    QTreeWidgetItem* item = list ? list->currentItem() : nullptr;
    if (!item || !(item->flags() & Qt::ItemIsUserCheckable)) return false;
    item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    return true;
  }
};

}  // namespace pw
