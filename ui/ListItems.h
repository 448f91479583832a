// The pieces the program's lists share.
#pragma once

#include <QStyledItemDelegate>
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

}  // namespace pw
