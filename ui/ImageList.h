// The small pictures of actions, menus, tool bars and list rows. Each list is
// drawn once, when it is first asked for at start-up, and shared from then on:
// looking a picture up in the desktop's icon theme costs far too much to do
// for every row.
#pragma once

#include <QIcon>
#include <vector>

namespace pw {

class TImageList {
 public:
  explicit TImageList(std::vector<QIcon> images) : images_(std::move(images)) {}
  // An empty picture for an index the list does not hold.
  const QIcon& operator[](int index) const;
  int Count() const { return static_cast<int>(images_.size()); }

 private:
  std::vector<QIcon> images_;
};

// The main window's: 0 add directory, 1 save, 2 edit, 3 delete, 4 run, 5 open
// folder, 6 batch file, 7 edit batch file, 8 help, 9 run all.
const TImageList& MainImageList();
// The rules window's: 0 plus, 1 sheet, 2 minus, 3 floppy disk, 4 green lamp
// (a rule that includes), 5 red lamp (a rule that excludes).
const TImageList& RulesImageList();
// The mask frame's: 0 plus, 1 sheet, 2 minus, 10 open folder, 11 clipboard
// with a tick, 12 cross.
const TImageList& ExtensionsImageList();

// A small lamp: green for a rule that includes, red for one that excludes.
const QIcon& CategoryLamp(bool include);

}  // namespace pw
