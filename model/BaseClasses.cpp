#include "model/BaseClasses.h"

#include <algorithm>
#include <typeinfo>
#include <utility>

#include "platform/Errors.h"

namespace pw {

void TPersistent::Assign(const TPersistent*) {}

// ---- TCollection ------------------------------------------------------------

TCollection::~TCollection() {
  // Each observer is detached just before it is told; one that destroys
  // another on hearing it takes that one out of the list, untold.
  while (!observers_.empty()) {
    IListObserver* observer = observers_.front();
    observers_.erase(observers_.begin());
    observer->ListDestroyed(*this);
  }
  Clear();
}

template <class F>
void TCollection::Notify(F f) {
  // Told in the order they came, each only while still attached: an observer
  // may detach itself or another while it is told, or destroy another, which
  // then detaches on its way out and must not be reached again.
  const std::vector<IListObserver*> observers = observers_;
  for (IListObserver* observer : observers) {
    if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) {
      f(*observer);
    }
  }
}

TCollectionItem* TCollection::GetItem(int index) const {
  if (index < 0 || index >= Count())
    throw EListError(Format("List index out of bounds (%d)", index));
  return items_[static_cast<size_t>(index)];
}

int TCollection::IndexOf(const TCollectionItem* item) const {
  const auto found = std::find(items_.begin(), items_.end(), item);
  return found == items_.end() ? -1 : static_cast<int>(found - items_.begin());
}

TCollectionItem* TCollection::AddItem() {
  TCollectionItem* item = CreateItem();
  // Only now is the item whole, so only now may an observer read it.
  if (!Quiet()) Notify([&](IListObserver& o) { o.ItemAdded(*this, Count() - 1); });
  return item;
}

void TCollection::Clear() {
  if (items_.empty()) return;
  BeginUpdate();
  try {
    while (!items_.empty()) delete items_.back();
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCollection::Delete(int index) {
  delete GetItem(index);
}

void TCollection::AddObserver(IListObserver* observer) {
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void TCollection::RemoveObserver(IListObserver* observer) {
  std::erase(observers_, observer);
}

void TCollection::BeginUpdate() {
  if (updateCount_++ == 0 && !observers_.empty()) {
    Notify([&](IListObserver& o) { o.ListAboutToBeReset(*this); });
  }
}

void TCollection::EndUpdate() {
  if (--updateCount_ == 0 && !observers_.empty()) {
    Notify([&](IListObserver& o) { o.ListReset(*this); });
  }
}

void TCollection::CopyItemsFrom(const TCollection& source) {
  BeginUpdate();
  try {
    Clear();
    for (const TCollectionItem* item : source.items_) AddItem()->Assign(item);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

TCollectionItem::TCollectionItem(TCollection* collection) : collection_(collection) {
  if (collection_) collection_->items_.push_back(this);
}

TCollectionItem::~TCollectionItem() {
  if (!collection_) return;
  TCollection& list = *collection_;
  auto& items = list.items_;
  // Clearing frees the last item first, so the common case costs nothing.
  const int index = !items.empty() && items.back() == this ? list.Count() - 1 : list.IndexOf(this);
  const bool told = !list.Quiet();
  // Only for an item class that does not announce itself; nothing of the
  // derived object is left to read by now.
  if (told && !removalAnnounced_) {
    list.Notify([&](IListObserver& o) { o.ItemAboutToBeRemoved(list, index); });
  }
  items.erase(items.begin() + index);
  if (told) list.Notify([&](IListObserver& o) { o.ItemRemoved(list, index); });
}

void TCollectionItem::AnnounceRemoval() {
  if (removalAnnounced_ || !collection_ || collection_->Quiet()) return;
  removalAnnounced_ = true;
  TCollection& list = *collection_;
  const int index = list.IndexOf(this);
  list.Notify([&](IListObserver& o) { o.ItemAboutToBeRemoved(list, index); });
}

void TCollectionItem::Changed() {
  if (!collection_ || collection_->Quiet()) return;
  TCollection& list = *collection_;
  const int index = list.IndexOf(this);
  list.Notify([&](IListObserver& o) { o.ItemChanged(list, index); });
}

// ---- TComponent -------------------------------------------------------------

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  while (!components_.empty()) delete components_.back();
  if (owner_) {
    auto& siblings = owner_->components_;
    siblings.erase(std::find(siblings.begin(), siblings.end(), this));
  }
}

// ---- IUnknown ---------------------------------------------------------------

namespace {

HRESULT Query(IUnknown* self, const TGUID& iid, void** obj) {
  if (iid == IID_IUnknown) {
    *obj = self;
    return kS_OK;
  }
  *obj = nullptr;
  return kE_NOINTERFACE;
}

}  // namespace

HRESULT TInterfacedCollection::QueryInterface(const TGUID& iid, void** obj) {
  return Query(this, iid, obj);
}

HRESULT TInterfacedCollectionItem::QueryInterface(const TGUID& iid, void** obj) {
  return Query(this, iid, obj);
}

// ---- Change tracking --------------------------------------------------------

void TModifiedCollection::SetModified(bool value) {
  modified_ = value;
  if (value) return;
  for (int i = 0; i < Count(); ++i) {
    if (auto* item = GetItem(i)->AsModifiedItem()) item->SetModified(false);
  }
}

bool TModifiedCollection::GetModified() const {
  if (modified_) return true;
  for (int i = 0; i < Count(); ++i) {
    const TModifiedCollectionItem* item = std::as_const(*GetItem(i)).AsModifiedItem();
    if (item && item->GetModified()) return true;
  }
  return false;
}

void TModifiedCollection::PropagateModified(bool value) {
  if (!value) SetModified(false);
}

bool TModifiedCollection::StoredEquals(const TModifiedCollection& other) const {
  if (typeid(*this) != typeid(other) || Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    const TModifiedCollectionItem* mine = std::as_const(*GetItem(i)).AsModifiedItem();
    const TModifiedCollectionItem* theirs = std::as_const(*other.GetItem(i)).AsModifiedItem();
    if (!mine || !theirs || !mine->StoredEquals(*theirs)) return false;
  }
  return true;
}

void TModifiedCollection::Assign(const TPersistent* source) {
  const auto* list = dynamic_cast<const TModifiedCollection*>(source);
  if (!list || StoredEquals(*list)) return;
  CopyItemsFrom(*list);
  SetModified(true);
}

TModifiedCollectionItem::TModifiedCollectionItem(TCollection* collection)
    : TInterfacedCollectionItem(collection), modified_(true) {}

TModifiedCollectionItem::~TModifiedCollectionItem() {
  // While the list itself is being destroyed it is no longer a modified list
  // and there is nothing to mark.
  if (Collection()) {
    if (TModifiedCollection* list = Collection()->AsModifiedCollection()) list->SetModified(true);
  }
}

bool TModifiedCollectionItem::StoredEquals(const TModifiedCollectionItem& other) const {
  return typeid(*this) == typeid(other);
}

}  // namespace pw
