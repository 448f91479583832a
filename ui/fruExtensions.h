// A frame listing the file masks of one rule, with the commands that edit
// them. It changes the collection it is given directly; keeping or dropping
// those changes is the business of the window around it.
#pragma once

#include <QWidget>
#include <functional>

class QAction;
class QMenu;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace pw {

class TbkExtension;
class TbkExtensions;

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

  void RefreshList();
  void Redraw();
  static TbkExtension* ExtensionOf(const QTreeWidgetItem* item);

  QToolBar* tbExtensions;
  QTreeWidget* lvExtensions;
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
  void lvExtensionsChange(QTreeWidgetItem* item);
  void lvExtensionsDblClick();
  void FillExtensionItem(TbkExtension* extension, QTreeWidgetItem* item);
  void UpdateActionStates();
  void ForEachSelected(const QString& question, void (TfrExtensions::*operation)(QTreeWidgetItem*));
  void DeleteExtensionItem(QTreeWidgetItem* item);
  void InvertExtensionItem(QTreeWidgetItem* item);
  void ClearByOptions(bool active, bool passive, bool selected);
  void DoExtensionsChanged();
  QTreeWidgetItem* FirstSelected() const;

  TbkExtensions* extensions_ = nullptr;
  bool changeHooked_ = true;
};

}  // namespace pw
