#include "model/BaseClasses.h"

#include <algorithm>
#include <typeinfo>
#include <utility>

#include "platform/Errors.h"

namespace pw {

void TPersistent::Assign(const TPersistent*) {}

// ---- TCollection ------------------------------------------------------------

TCollection::~TCollection() {
  Clear();
}

TCollectionItem* TCollection::GetItem(int index) const {
  if (index < 0 || index >= Count())
    throw EListError(Format("List index out of bounds (%d)", index));
  return items_[static_cast<size_t>(index)];
}

void TCollection::Clear() {
  while (!items_.empty()) delete items_.back();
}

void TCollection::Delete(int index) {
  delete GetItem(index);
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
  auto& items = collection_->items_;
  // Clearing frees the last item first, so the common case costs nothing.
  if (!items.empty() && items.back() == this) {
    items.pop_back();
  } else {
    items.erase(std::find(items.begin(), items.end(), this));
  }
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
