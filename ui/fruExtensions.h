// A frame listing the file masks of one rule, with the commands that edit
// them. It changes the collection it is given directly; keeping or dropping
// those changes is the business of the window around it.
#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>

class QAction;
class QMenu;
class QToolBar;
class QTreeView;

namespace pw {

class TbkExtension;
class TbkExtensions;
class TCaptionSortModel;
class TExtensionsModel;

class TfrExtensions final : public QWidget {
  Q_OBJECT
 public:
  explicit TfrExtensions(QWidget* parent = nullptr);
  ~TfrExtensions() override;

  TbkExtensions* Extensions() const { return extensions_; }
  void SetExtensions(TbkExtensions* extensions);
  // Raised after the frame changed masks through its commands.
  std::function<void()> OnExtensionsChanged;

  // The dialogs the frame opens; tests put stand-ins in their place.
  std::function<bool(TbkExtension*, TbkExtensions*)> executeExtension;
  std::function<bool(bool&, bool&, bool&, bool)> executeClearOptions;

  // Rebuilds the list, keeping selected the masks whose texts were selected.
  void RefreshList();
  void Redraw();
  // The mask shown in row of the list as it is sorted on the screen.
  TbkExtension* MaskAt(int row) const;

  QToolBar* tbExtensions;
  QTreeView* lvExtensions;
  QMenu* pmExtensions;
  QAction* actAddExtension;
  QAction* actEditExtension;
  QAction* actDeleteExtension;
  QAction* actExtractFromDirectory;
  QAction* actInvert;
  QAction* actClear;
  QAction* actSelectAll;

 public slots:
  void actAddExtensionExecute();
  void actEditExtensionExecute();
  void actDeleteExtensionExecute();
  void actExtractFromDirectoryExecute();
  void actInvertExecute();
  void actClearExecute();
  void actSelectAllExecute();

 private:
  // Rows below are those of the list as it is sorted on the screen.
  void lvExtensionsChange(bool checkToggled);
  void lvExtensionsDblClick();
  void UpdateActionStates();
  void ForEachSelected(const QString& question, void (TfrExtensions::*operation)(int row));
  void DeleteExtensionItem(int row);
  void InvertExtensionItem(int row);
  void ClearByOptions(bool active, bool passive, bool selected);
  void DoExtensionsChanged();
  int FirstSelected() const;
  bool IsSelected(int row) const;
  void RememberSelection();
  void RestoreSelection();

  TbkExtensions* extensions_ = nullptr;
  TExtensionsModel* model_;
  TCaptionSortModel* sorted_;
  QStringList remembered_;
};

}  // namespace pw
