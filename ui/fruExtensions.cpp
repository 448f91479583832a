#include "ui/fruExtensions.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "archiver/DirectoryScan.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Services.h"
#include "ui/DialogService.h"
#include "ui/ImageList.h"
#include "ui/ListModels.h"
#include "ui/SlotGuard.h"
#include "ui/UiText.h"
#include "ui/eduExtension.h"

namespace pw {

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
    if (image >= 0) a->setIcon(ExtensionsImageList()[image]);
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    ConnectGuarded(a, &QAction::triggered, this, handler);
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

  lvExtensions = new TListView(this);
  lvExtensions->setObjectName("lvExtensions");
  model_ = new TExtensionsModel(this);
  sorted_ = new TCaptionSortModel(model_, this);
  lvExtensions->setModel(sorted_);
  lvExtensions->setRootIsDecorated(false);
  lvExtensions->setUniformRowHeights(true);
  lvExtensions->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvExtensions->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvExtensions->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvExtensions->setColumnWidth(0, 100);
  lvExtensions->header()->setStretchLastSection(true);
  lvExtensions->header()->setSectionsClickable(false);
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
  ConnectGuarded(model_, &TListModel::CheckToggled, this, [this] { lvExtensionsChange(true); });
  ConnectGuarded(lvExtensions->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                 [this] { lvExtensionsChange(false); });
  connect(lvExtensions, &QAbstractItemView::doubleClicked, this,
          [this] { Guarded([this] { lvExtensionsDblClick(); }); });
  // Whenever the list is rebuilt (another rule, a rule copied back from its
  // dialog, a scan), the masks with the same texts stay selected.
  connect(sorted_, &QAbstractItemModel::modelAboutToBeReset, this,
          &TfrExtensions::RememberSelection);
  connect(sorted_, &QAbstractItemModel::modelReset, this, &TfrExtensions::RestoreSelection);
  UpdateActionStates();
}

TfrExtensions::~TfrExtensions() {
  lvExtensions->selectionModel()->disconnect(this);
  model_->disconnect(this);
  sorted_->disconnect(this);
  model_->SetList(nullptr);
}

TbkExtension* TfrExtensions::MaskAt(int row) const {
  return extensions_->Items(sorted_->mapToSource(sorted_->index(row, 0)).row());
}

void TfrExtensions::SetExtensions(TbkExtensions* extensions) {
  extensions_ = extensions;
  RefreshList();
}

void TfrExtensions::Redraw() {
  update();
  lvExtensions->viewport()->update();
}

bool TfrExtensions::IsSelected(int row) const {
  return lvExtensions->selectionModel()->isRowSelected(row, {});
}

int TfrExtensions::FirstSelected() const {
  for (int row = 0; row < sorted_->rowCount(); ++row) {
    if (IsSelected(row)) return row;
  }
  return -1;
}

void TfrExtensions::RememberSelection() {
  remembered_.clear();
  QItemSelectionModel* selection = lvExtensions->selectionModel();
  const QModelIndex current = lvExtensions->currentIndex();
  // The current mask first, so that the focus frame returns to it.
  if (current.isValid() && selection->isRowSelected(current.row(), {})) {
    remembered_ << current.siblingAtColumn(0).data().toString();
  }
  for (const QModelIndex& row : selection->selectedRows()) {
    if (row.row() != current.row()) remembered_ << row.data().toString();
  }
}

void TfrExtensions::RestoreSelection() {
  QModelIndex current;
  for (const QString& caption : remembered_) {
    for (int row = 0; row < sorted_->rowCount(); ++row) {
      const QModelIndex index = sorted_->index(row, 0);
      if (index.data().toString().compare(caption, Qt::CaseInsensitive) == 0) {
        lvExtensions->selectionModel()->select(
            index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        lvExtensions->scrollTo(index);
        if (!current.isValid()) current = index;
        break;
      }
    }
  }
  remembered_.clear();
  // The focus frame on a mask that stays selected, where keys go on from.
  if (current.isValid()) {
    lvExtensions->selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
  }
}

void TfrExtensions::lvExtensionsChange(bool checkToggled) {
  const bool selected = FirstSelected() >= 0;
  actAddExtension->setEnabled(extensions_ != nullptr);
  actExtractFromDirectory->setEnabled(extensions_ != nullptr);
  actClear->setEnabled(extensions_ != nullptr);
  actEditExtension->setEnabled(selected);
  actDeleteExtension->setEnabled(selected);
  actInvert->setEnabled(selected);
  // The model has already put the check mark into the mask.
  if (checkToggled) DoExtensionsChanged();
  Redraw();
}

void TfrExtensions::UpdateActionStates() {
  lvExtensionsChange(false);
}

void TfrExtensions::RefreshList() {
  lvExtensions->setUpdatesEnabled(false);
  try {
    model_->SetList(extensions_);
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
                                    void (TfrExtensions::*operation)(int row)) {
  if (!question.isEmpty() && !Get<IDialogService>().Confirm(this, question)) return;
  lvExtensions->setUpdatesEnabled(false);
  auto finish = [this] {
    lvExtensions->setUpdatesEnabled(true);
    UpdateActionStates();
    DoExtensionsChanged();
  };
  try {
    // From the last row up, so that a row freed leaves those above in place.
    for (int row = sorted_->rowCount() - 1; row >= 0; --row) {
      if (IsSelected(row)) (this->*operation)(row);
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

void TfrExtensions::DeleteExtensionItem(int row) {
  extensions_->Delete(sorted_->mapToSource(sorted_->index(row, 0)).row());
  DoExtensionsChanged();
}

void TfrExtensions::InvertExtensionItem(int row) {
  TbkExtension* mask = MaskAt(row);
  mask->SetActive(!mask->Active());
}

void TfrExtensions::ClearByOptions(bool active, bool passive, bool selected) {
  lvExtensions->setUpdatesEnabled(false);
  try {
    for (int row = sorted_->rowCount() - 1; row >= 0; --row) {
      const TbkExtension* mask = MaskAt(row);
      if ((active && mask->Active()) || (passive && !mask->Active()) ||
          (selected && IsSelected(row))) {
        DeleteExtensionItem(row);
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
  extensions_->Add()->Assign(&fresh);
  // The sorted list has put the new mask into place; select it there too.
  const QModelIndex added = sorted_->mapFromSource(model_->index(extensions_->Count() - 1, 0));
  lvExtensions->selectionModel()->setCurrentIndex(
      added, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  DoExtensionsChanged();
}

void TfrExtensions::actEditExtensionExecute() {
  const int row = FirstSelected();
  if (row < 0) return;
  if (!executeExtension(MaskAt(row), extensions_)) return;
  DoExtensionsChanged();
}

void TfrExtensions::lvExtensionsDblClick() {
  if (actEditExtension->isEnabled()) actEditExtension->trigger();
}

void TfrExtensions::actDeleteExtensionExecute() {
  if (FirstSelected() < 0) return;
  ForEachSelected("Delete selected?", &TfrExtensions::DeleteExtensionItem);
}

void TfrExtensions::actInvertExecute() {
  if (FirstSelected() < 0) return;
  ForEachSelected("", &TfrExtensions::InvertExtensionItem);
}

void TfrExtensions::actSelectAllExecute() {
  lvExtensions->selectAll();
}

void TfrExtensions::actClearExecute() {
  if (!extensions_) return;
  const int n = static_cast<int>(lvExtensions->selectionModel()->selectedRows().size());
  bool active = false, passive = n <= 1, selected = n >= 2;
  if (executeClearOptions(active, passive, selected, n >= 2))
    ClearByOptions(active, passive, selected);
}

void TfrExtensions::actExtractFromDirectoryExecute() {
  if (!extensions_) return;
  const auto dir = Get<IDialogService>().ChooseDirectory(this, QString(), false);
  if (!dir) return;
  // Masks a scan adds are a change like any other, also when it fails part-way
  // after adding some: the window around learns of them.
  const int before = extensions_->Count();
  auto finish = [this, before] {
    RefreshList();
    if (extensions_->Count() != before) DoExtensionsChanged();
  };
  try {
    ScanDirectory(FromQt(*dir), extensions_);
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

}  // namespace pw
