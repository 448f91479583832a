#include "ui/fruExtensions.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QSet>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "archiver/DirectoryScan.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Services.h"
#include "ui/DialogService.h"
#include "ui/ListItems.h"
#include "ui/Motifs.h"
#include "ui/UiText.h"
#include "ui/eduExtension.h"

namespace pw {

namespace {

QIcon Picture(int index) {
  switch (index) {
    case 0:
      return PlusSign();
    case 1:
      return SheetOfPaper();
    case 2:
      return MinusSign();
    case 10:
      return OpenFolder();
    case 11:
      return ClipboardWithTick();
    default:
      return Cross();
  }
}

}  // namespace

TfrExtensions::TfrExtensions(QWidget* parent) : QWidget(parent) {
  executeExtension = [](TbkExtension* e, TbkExtensions* list) {
    return TedExtension::Execute(e, list);
  };
  executeClearOptions = [](bool& a, bool& p, bool& s, bool enabled) {
    return TedClearOptions::Execute(a, p, s, enabled);
  };
  auto action = [this](QAction*& a, const char* caption, int image, QKeySequence key,
                       void (TfrExtensions::*handler)()) {
    a = new QAction(caption, this);
    a->setToolTip(caption);
    if (image >= 0) a->setIcon(Picture(image));
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, handler);
    addAction(a);
  };
  action(actAddExtension, "Add Mask", 0, Qt::Key_F4, &TfrExtensions::actAddExtensionExecute);
  action(actEditExtension, "Edit Mask", 1, Qt::Key_F3, &TfrExtensions::actEditExtensionExecute);
  action(actDeleteExtension, "Delete Mask", 2, Qt::Key_Delete,
         &TfrExtensions::actDeleteExtensionExecute);
  action(actExtractFromDirectory, "Scan Directory", 10, Qt::CTRL | Qt::Key_S,
         &TfrExtensions::actExtractFromDirectoryExecute);
  action(actInvert, "Invert Active", 11, Qt::CTRL | Qt::Key_Q, &TfrExtensions::actInvertExecute);
  action(actClear, "Clear", 12, Qt::CTRL | Qt::Key_D, &TfrExtensions::actClearExecute);
  action(actSelectAll, "Select All", -1, Qt::CTRL | Qt::Key_A, &TfrExtensions::actSelectAllExecute);
  // F4, F3 and Del belong to whichever list has the focus: a window that also
  // lists rules gives the same keys to its rule commands.
  for (QAction* a : {actAddExtension, actEditExtension, actDeleteExtension}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  tbExtensions = new QToolBar(this);
  tbExtensions->setIconSize(QSize(16, 16));
  tbExtensions->addActions({actAddExtension, actEditExtension, actDeleteExtension});
  tbExtensions->addSeparator();
  tbExtensions->addAction(actInvert);
  tbExtensions->addSeparator();
  tbExtensions->addActions({actExtractFromDirectory, actClear});
  layout->addWidget(tbExtensions);

  lvExtensions = new QTreeWidget(this);
  lvExtensions->setObjectName("lvExtensions");
  lvExtensions->setHeaderLabels({"File Mask", "Assosiated Program"});
  lvExtensions->setRootIsDecorated(false);
  lvExtensions->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvExtensions->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvExtensions->setColumnWidth(0, 100);
  lvExtensions->header()->setStretchLastSection(true);
  lvExtensions->setSortingEnabled(true);
  lvExtensions->sortByColumn(0, Qt::AscendingOrder);
  lvExtensions->header()->setSectionsClickable(false);
  lvExtensions->header()->setSortIndicatorShown(false);
  // lvExtensionsCustomDrawItem: passive masks are drawn in the inactive colour.
  lvExtensions->setItemDelegate(new TMarkedItemDelegate(
      lvExtensions,
      [](quintptr data) {
        const auto* mask = reinterpret_cast<const TbkExtension*>(data);
        return mask && !mask->Active();
      },
      [](const QPalette& palette) { return palette.color(QPalette::Disabled, QPalette::Text); },
      false));
  lvExtensions->installEventFilter(new TSpaceTogglesCheck(lvExtensions));
  layout->addWidget(lvExtensions, 1);

  pmExtensions = new QMenu(this);
  pmExtensions->addActions({actAddExtension, actEditExtension, actDeleteExtension});
  pmExtensions->addSeparator();
  pmExtensions->addActions({actInvert, actExtractFromDirectory, actClear});
  pmExtensions->addSeparator();
  pmExtensions->addAction(actSelectAll);
  lvExtensions->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lvExtensions, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    pmExtensions->popup(lvExtensions->viewport()->mapToGlobal(at));
  });
  connect(lvExtensions, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
    if (changeHooked_) lvExtensionsChange(item);
  });
  connect(lvExtensions, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (changeHooked_) lvExtensionsChange(nullptr);
  });
  connect(lvExtensions, &QTreeWidget::itemDoubleClicked, this, [this] { lvExtensionsDblClick(); });
  UpdateActionStates();
}

TfrExtensions::~TfrExtensions() {
  changeHooked_ = false;
}

TbkExtension* TfrExtensions::ExtensionOf(const QTreeWidgetItem* item) {
  if (!item) return nullptr;
  return reinterpret_cast<TbkExtension*>(item->data(0, Qt::UserRole).value<quintptr>());
}

void TfrExtensions::SetExtensions(TbkExtensions* extensions) {
  extensions_ = extensions;
  RefreshList();
}

void TfrExtensions::Redraw() {
  update();
  lvExtensions->viewport()->update();
}

QTreeWidgetItem* TfrExtensions::FirstSelected() const {
  for (int i = 0; i < lvExtensions->topLevelItemCount(); ++i) {
    if (lvExtensions->topLevelItem(i)->isSelected()) return lvExtensions->topLevelItem(i);
  }
  return nullptr;
}

void TfrExtensions::lvExtensionsChange(QTreeWidgetItem* item) {
  const bool selected = FirstSelected() != nullptr;
  actAddExtension->setEnabled(extensions_ != nullptr);
  actExtractFromDirectory->setEnabled(extensions_ != nullptr);
  actClear->setEnabled(extensions_ != nullptr);
  actEditExtension->setEnabled(selected);
  actDeleteExtension->setEnabled(selected);
  actInvert->setEnabled(selected);
  TbkExtension* mask = ExtensionOf(item);
  if (mask && (item->checkState(0) == Qt::Checked) != mask->Active()) {
    mask->SetActive(item->checkState(0) == Qt::Checked);
    FillExtensionItem(mask, item);
    DoExtensionsChanged();
  }
  Redraw();
}

void TfrExtensions::UpdateActionStates() {
  lvExtensionsChange(nullptr);
}

void TfrExtensions::FillExtensionItem(TbkExtension* extension, QTreeWidgetItem* item) {
  Unhooked(changeHooked_, [&] {
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setText(0, ToQt(extension->Ext()));
    item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(extension)));
    item->setCheckState(0, extension->Active() ? Qt::Checked : Qt::Unchecked);
    item->setText(1, ToQt(extension->ProgramCaption()));
  });
}

void TfrExtensions::RefreshList() {
  lvExtensions->setUpdatesEnabled(false);
  try {
    QStringList remembered;
    for (QTreeWidgetItem* item : lvExtensions->selectedItems()) remembered << item->text(0);
    Unhooked(changeHooked_, [&] {
      lvExtensions->clear();
      if (extensions_) {
        for (int i = 0; i < extensions_->Count(); ++i) {
          auto* item = new TCaptionSortedItem();
          lvExtensions->addTopLevelItem(item);
          FillExtensionItem(extensions_->Items(i), item);
        }
      }
      for (const QString& caption : remembered) {
        for (int i = 0; i < lvExtensions->topLevelItemCount(); ++i) {
          QTreeWidgetItem* item = lvExtensions->topLevelItem(i);
          if (item->text(0).compare(caption, Qt::CaseInsensitive) == 0) {
            item->setSelected(true);
            lvExtensions->scrollToItem(item);
            break;
          }
        }
      }
    });
    UpdateActionStates();
  } catch (...) {
    lvExtensions->setUpdatesEnabled(true);
    throw;
  }
  lvExtensions->setUpdatesEnabled(true);
}

void TfrExtensions::DoExtensionsChanged() {
  if (OnExtensionsChanged) OnExtensionsChanged();
}

void TfrExtensions::ForEachSelected(const QString& question,
                                    void (TfrExtensions::*operation)(QTreeWidgetItem*)) {
  if (!question.isEmpty() && !Get<IDialogService>().Confirm(this, question)) return;
  lvExtensions->setUpdatesEnabled(false);
  auto finish = [this] {
    lvExtensions->setUpdatesEnabled(true);
    UpdateActionStates();
    DoExtensionsChanged();
  };
  try {
    for (int i = lvExtensions->topLevelItemCount() - 1; i >= 0; --i) {
      QTreeWidgetItem* item = lvExtensions->topLevelItem(i);
      if (item->isSelected()) (this->*operation)(item);
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

void TfrExtensions::DeleteExtensionItem(QTreeWidgetItem* item) {
  delete ExtensionOf(item);
  Unhooked(changeHooked_, [&] { delete item; });
  DoExtensionsChanged();
}

void TfrExtensions::InvertExtensionItem(QTreeWidgetItem* item) {
  TbkExtension* mask = ExtensionOf(item);
  Unhooked(changeHooked_, [&] {
    mask->SetActive(!mask->Active());
    FillExtensionItem(mask, item);
  });
}

void TfrExtensions::ClearByOptions(bool active, bool passive, bool selected) {
  lvExtensions->setUpdatesEnabled(false);
  try {
    for (int i = lvExtensions->topLevelItemCount() - 1; i >= 0; --i) {
      QTreeWidgetItem* item = lvExtensions->topLevelItem(i);
      const TbkExtension* mask = ExtensionOf(item);
      if ((active && mask->Active()) || (passive && !mask->Active()) ||
          (selected && item->isSelected())) {
        DeleteExtensionItem(item);
      }
    }
  } catch (...) {
    lvExtensions->setUpdatesEnabled(true);
    throw;
  }
  lvExtensions->setUpdatesEnabled(true);
}

void TfrExtensions::actAddExtensionExecute() {
  if (!extensions_) return;
  TbkExtension fresh(nullptr);
  if (!executeExtension(&fresh, extensions_)) return;
  TbkExtension* added = extensions_->Add();
  added->Assign(&fresh);
  auto* item = new TCaptionSortedItem();
  Unhooked(changeHooked_, [&] { lvExtensions->addTopLevelItem(item); });
  FillExtensionItem(added, item);
  item->setSelected(true);
  DoExtensionsChanged();
}

void TfrExtensions::actEditExtensionExecute() {
  QTreeWidgetItem* item = FirstSelected();
  if (!item) return;
  if (!executeExtension(ExtensionOf(item), extensions_)) return;
  FillExtensionItem(ExtensionOf(item), item);
  DoExtensionsChanged();
}

void TfrExtensions::lvExtensionsDblClick() {
  if (actEditExtension->isEnabled()) actEditExtension->trigger();
  if (QTreeWidgetItem* item = FirstSelected()) FillExtensionItem(ExtensionOf(item), item);
}

void TfrExtensions::actDeleteExtensionExecute() {
  if (!FirstSelected()) return;
  ForEachSelected("Delete selected?", &TfrExtensions::DeleteExtensionItem);
}

void TfrExtensions::actInvertExecute() {
  if (!FirstSelected()) return;
  ForEachSelected("", &TfrExtensions::InvertExtensionItem);
}

void TfrExtensions::actSelectAllExecute() {
  lvExtensions->selectAll();
}

void TfrExtensions::actClearExecute() {
  if (!extensions_) return;
  const int n = static_cast<int>(lvExtensions->selectedItems().size());
  bool active = false, passive = n <= 1, selected = n >= 2;
  if (executeClearOptions(active, passive, selected, n >= 2))
    ClearByOptions(active, passive, selected);
}

void TfrExtensions::actExtractFromDirectoryExecute() {
  if (!extensions_) return;
  const auto dir = Get<IDialogService>().ChooseDirectory(this, QString(), false);
  if (!dir) return;
  ScanDirectory(FromQt(*dir), extensions_);
  RefreshList();
}

}  // namespace pw
