// What a list tells those who watch it, so that a view over it never refers
// to an item that has gone. Indexes are those of the list at the moment of
// the call.
#pragma once

namespace pw {

class TCollection;

class IListObserver {
 public:
  // The item at index is fully constructed and in the list.
  virtual void ItemAdded(TCollection& list, int index) = 0;
  // The item at index is about to be freed; it is still whole.
  virtual void ItemAboutToBeRemoved(TCollection& list, int index) = 0;
  // The item that was at index has left the list.
  virtual void ItemRemoved(TCollection& list, int index) = 0;
  // A stored value of the item at index has changed.
  virtual void ItemChanged(TCollection& list, int index) = 0;
  // The list is about to change wholesale (a clear or a copy); until
  // ListReset nothing else is reported and its items must not be read.
  virtual void ListAboutToBeReset(TCollection& list) = 0;
  virtual void ListReset(TCollection& list) = 0;
  // The list itself is being destroyed; the observer is already detached.
  virtual void ListDestroyed(TCollection& list) = 0;

 protected:
  ~IListObserver() = default;
};

}  // namespace pw
