// Accelerators for menus whose captions carry none, so that typing a letter
// in an open menu picks an entry, as the Windows menus do.
#pragma once

class QMenu;
class QMenuBar;

namespace pw {

// Gives every entry without an accelerator the first letter or digit of its
// caption that no other entry of the menu uses, preferring the first letters
// of words. Entries that have one keep it; their actions are shared with the
// other menus and tool bars, which show the same caption.
void AssignAccelerators(QMenu* menu);
// The titles of the bar, then every menu under it.
void AssignAccelerators(QMenuBar* bar);

}  // namespace pw
