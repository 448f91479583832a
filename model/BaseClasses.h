// Owning lists, list items and components that carry a change flag and can
// copy themselves from another object of their kind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/ListObserver.h"

namespace pw {

// ---- A reference-counting interface whose counting is switched off ---------

struct TGUID {
  uint32_t D1;
  uint16_t D2;
  uint16_t D3;
  uint8_t D4[8];
  bool operator==(const TGUID&) const = default;
};

using HRESULT = int32_t;
inline constexpr HRESULT kS_OK = 0;
inline constexpr HRESULT kE_NOINTERFACE = static_cast<HRESULT>(0x80004002u);

inline constexpr TGUID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IUnknown {
 public:
  virtual HRESULT QueryInterface(const TGUID& iid, void** obj) = 0;
  virtual int32_t _AddRef() = 0;
  virtual int32_t _Release() = 0;

 protected:
  ~IUnknown() = default;
};

// ---- Foundation -------------------------------------------------------------

class TPersistent {
 public:
  TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;
  virtual ~TPersistent() = default;

  // Copies from another object; does nothing for a source it cannot copy from.
  virtual void Assign(const TPersistent* source);
  virtual const char* ClassName() const = 0;
};

class TCollectionItem;

// An ordered list that owns its items; freeing an item removes it from here.
// Its observers learn of every item added, freed or changed.
class TCollection : public TPersistent {
 public:
  ~TCollection() override;

  int Count() const { return static_cast<int>(items_.size()); }
  // Fails with "List index out of bounds (%d)".
  TCollectionItem* GetItem(int index) const;
  // -1 for an item that is not in this list.
  int IndexOf(const TCollectionItem* item) const;
  TCollectionItem* AddItem();
  void Clear();  // frees the items, the last one first
  void Delete(int index);

  void AddObserver(IListObserver* observer);
  void RemoveObserver(IListObserver* observer);

  // The list as a change-tracking list, or null; cheaper than a cast where
  // every item of a large document is visited.
  virtual class TModifiedCollection* AsModifiedCollection() { return nullptr; }

  // Between the outermost pair the observers hear of one reset instead of
  // each item.
  void BeginUpdate();
  void EndUpdate();
  // Whether anyone is told of this list's changes.
  bool Observed() const { return !observers_.empty(); }

 protected:
  TCollection() = default;
  // Constructs an item of this list's item class, appended to this list.
  virtual TCollectionItem* CreateItem() = 0;
  // Replaces the items by new ones copied from source's items.
  void CopyItemsFrom(const TCollection& source);

 private:
  friend class TCollectionItem;
  bool Quiet() const { return observers_.empty() || updateCount_ > 0; }
  template <class F>
  void Notify(F f);

  std::vector<TCollectionItem*> items_;
  std::vector<IListObserver*> observers_;
  int updateCount_ = 0;
};

class TCollectionItem : public TPersistent {
 public:
  // Appends the new item to collection, which may be null for a detached item.
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;

  TCollection* Collection() const { return collection_; }

  virtual class TModifiedCollectionItem* AsModifiedItem() { return nullptr; }
  const TModifiedCollectionItem* AsModifiedItem() const {
    return const_cast<TCollectionItem*>(this)->AsModifiedItem();
  }

  // Tells the list's observers that a stored value has changed.
  void Changed();

 protected:
  // The first thing the destructor of a concrete item does: the observers
  // hear of the removal while the item is still whole and can still be read.
  void AnnounceRemoval();

 private:
  TCollection* collection_;
  bool removalAnnounced_ = false;
};

// An object freed together with its owner.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  int32_t Tag() const { return tag_; }
  void SetTag(int32_t tag) { tag_ = tag; }
  uint16_t Left() const { return left_; }
  void SetLeft(uint16_t left) { left_ = left; }
  uint16_t Top() const { return top_; }
  void SetTop(uint16_t top) { top_ = top; }

 private:
  TComponent* owner_;
  std::vector<TComponent*> components_;
  std::string name_;
  int32_t tag_ = 0;
  uint16_t left_ = 0;
  uint16_t top_ = 0;
};

// ---- Interface without reference counting ----------------------------------

class TInterfacedCollection : public TCollection, public IUnknown {
 public:
  HRESULT QueryInterface(const TGUID& iid, void** obj) override;
  int32_t _AddRef() override { return -1; }
  int32_t _Release() override { return -1; }
};

class TInterfacedCollectionItem : public TCollectionItem, public IUnknown {
 public:
  using TCollectionItem::TCollectionItem;
  HRESULT QueryInterface(const TGUID& iid, void** obj) override;
  int32_t _AddRef() override { return -1; }
  int32_t _Release() override { return -1; }
};

// ---- Change tracking --------------------------------------------------------

class TModifiedCollectionItem;

class TModifiedCollection : public TInterfacedCollection {
 public:
  virtual void SetModified(bool value);
  virtual bool GetModified() const;
  bool Modified() const { return GetModified(); }
  // What an owner calls on its list when its own flag is set: clearing
  // cascades downwards, marking does not.
  void PropagateModified(bool value);

  TModifiedCollection* AsModifiedCollection() override { return this; }

  void Assign(const TPersistent* source) override;
  // Same concrete class and the same stored values, item by item.
  bool StoredEquals(const TModifiedCollection& other) const;

 private:
  bool modified_ = false;
};

class TModifiedCollectionItem : public TInterfacedCollectionItem {
 public:
  // A new item counts as a change.
  explicit TModifiedCollectionItem(TCollection* collection);
  // Losing an item counts as a change of its list.
  ~TModifiedCollectionItem() override;

  virtual void SetModified(bool value) { modified_ = value; }
  virtual bool GetModified() const { return modified_; }
  bool Modified() const { return GetModified(); }

  TModifiedCollectionItem* AsModifiedItem() override { return this; }

  void Assign(const TPersistent*) override {}
  // Whether other is of the same class and holds the same stored values.
  virtual bool StoredEquals(const TModifiedCollectionItem& other) const;

 private:
  bool modified_;
};

class TModifiedComponent : public TComponent {
 public:
  using TComponent::TComponent;
  virtual bool GetModified() const { return modified_; }
  virtual void SetModified(bool value) { modified_ = value; }
  bool Modified() const { return GetModified(); }

  void Assign(const TPersistent*) override {}

 private:
  bool modified_ = false;
};

// ---- Bases of the settings classes ------------------------------------------

// CopyOwnerOnAssign makes Assign also take the source's owner links, which the
// dialogs' detached edit copies need to reach the document.
class TBaseCollection : public TModifiedCollection {
 public:
  bool CopyOwnerOnAssign() const { return copyOwnerOnAssign_; }
  void SetCopyOwnerOnAssign(bool value) { copyOwnerOnAssign_ = value; }

 private:
  bool copyOwnerOnAssign_ = false;
};

class TBaseCollectionItem : public TModifiedCollectionItem {
 public:
  using TModifiedCollectionItem::TModifiedCollectionItem;
  bool CopyOwnerOnAssign() const { return copyOwnerOnAssign_; }
  void SetCopyOwnerOnAssign(bool value) { copyOwnerOnAssign_ = value; }

 private:
  bool copyOwnerOnAssign_ = false;
};

class TBaseComponent : public TModifiedComponent {
 public:
  using TModifiedComponent::TModifiedComponent;
};

}  // namespace pw
