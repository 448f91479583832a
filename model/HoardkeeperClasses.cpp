#include "model/HoardkeeperClasses.h"

#include <type_traits>
#include <utility>

#include "model/StoredProperties.h"
#include "platform/LocaleCompare.h"
#include "platform/PathStyle.h"

namespace pw {

namespace {

// Stores value and marks the owner only when the value really changes.
template <class T, class Owner>
void Store(Owner& owner, T& field, T value) {
  if (field == value) return;
  field = std::move(value);
  owner.SetModified(true);
  if constexpr (std::is_base_of_v<TCollectionItem, Owner>) owner.Changed();
}

// Copies every stored property that Assign copies, through its setter, in
// the table's order.
template <class Owner>
void AssignStored(Owner& to, const Owner& from) {
  ForEachStoredProperty<Owner>([&](const auto& property, const auto& access) {
    if (property.assigned) (to.*access.set)((from.*access.get)());
  });
}

// Whether every stored property that Assign copies is the same in a and b;
// stops at the first that is not.
template <class Owner>
bool StoredEqual(const Owner& a, const Owner& b) {
  bool equal = true;
  ForEachStoredProperty<Owner>([&](const auto& property, const auto& access) {
    if (!equal || !property.assigned) return;
    if constexpr (kIsStoredList<std::decay_t<decltype(access)>>) {
      equal = (a.*access.get)()->StoredEquals(*(b.*access.get)());
    } else {
      equal = (a.*access.get)() == (b.*access.get)();
    }
  });
  return equal;
}

}  // namespace

// ---- Directories ------------------------------------------------------------

TbkDirectory* TbkDirectories::Items(int index) const {
  return static_cast<TbkDirectory*>(GetItem(index));
}

TbkDirectory* TbkDirectories::Add() {
  return static_cast<TbkDirectory*>(AddItem());
}

TCollectionItem* TbkDirectories::CreateItem() {
  return new TbkDirectory(this);
}

void TbkDirectories::SetManager(TbkManager* manager) {
  if (manager_ == manager) return;
  manager_ = manager;
  for (int i = 0; i < Count(); ++i) Items(i)->SetManager(manager);
}

void TbkDirectories::Assign(const TPersistent* source) {
  TBaseCollection::Assign(source);
  const auto* list = dynamic_cast<const TbkDirectories*>(source);
  if (list && CopyOwnerOnAssign()) SetManager(list->Manager());
}

TbkDirectory::TbkDirectory(TCollection* list) : TBaseCollectionItem(list) {
  if (auto* directories = dynamic_cast<TbkDirectories*>(list)) manager_ = directories->Manager();
}

void TbkDirectory::SetRuleName(std::string value) {
  Store(*this, ruleName_, std::move(value));
}
void TbkDirectory::SetPath(std::string value) {
  Store(*this, path_, std::move(value));
}
void TbkDirectory::SetNeedArchive(bool value) {
  Store(*this, needArchive_, value);
}
void TbkDirectory::SetArchiveFileName(std::string value) {
  Store(*this, archiveFileName_, std::move(value));
}

void TbkDirectory::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TbkDirectory*>(source);
  if (!other) return;
  if (CopyOwnerOnAssign()) SetManager(other->Manager());
  AssignStored(*this, *other);
}

bool TbkDirectory::StoredEquals(const TModifiedCollectionItem& other) const {
  const auto* o = dynamic_cast<const TbkDirectory*>(&other);
  return o && StoredEqual(*this, *o);
}

// ---- Masks ------------------------------------------------------------------

TbkExtension* TbkExtensions::Items(int index) const {
  return static_cast<TbkExtension*>(GetItem(index));
}

TbkExtension* TbkExtensions::Add() {
  return static_cast<TbkExtension*>(AddItem());
}

TCollectionItem* TbkExtensions::CreateItem() {
  return new TbkExtension(this);
}

void TbkExtensions::SetRule(TbkRule* rule) {
  if (rule_ == rule) return;
  rule_ = rule;
  for (int i = 0; i < Count(); ++i) Items(i)->SetRule(rule);
}

void TbkExtensions::SetManager(TbkManager* manager) {
  if (manager_ == manager) return;
  manager_ = manager;
  for (int i = 0; i < Count(); ++i) Items(i)->SetManager(manager);
}

void TbkExtensions::Assign(const TPersistent* source) {
  TBaseCollection::Assign(source);
  const auto* list = dynamic_cast<const TbkExtensions*>(source);
  if (list && CopyOwnerOnAssign()) {
    SetRule(list->Rule());
    SetManager(list->Manager());
  }
}

TbkExtension::TbkExtension(TCollection* list) : TBaseCollectionItem(list) {
  if (auto* extensions = dynamic_cast<TbkExtensions*>(list)) {
    manager_ = extensions->Manager();
    rule_ = extensions->Rule();
  }
}

void TbkExtension::SetExt(std::string value) {
  Store(*this, ext_, std::move(value));
}
void TbkExtension::SetActive(bool value) {
  Store(*this, active_, value);
}
void TbkExtension::SetCategory1(TExtensionCategory value) {
  Store(*this, category1_, value);
}
void TbkExtension::SetTotalSize(int32_t value) {
  Store(*this, totalSize_, value);
}
void TbkExtension::SetProgramCaption(std::string value) {
  Store(*this, programCaption_, std::move(value));
}

void TbkExtension::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TbkExtension*>(source);
  if (!other) return;
  if (CopyOwnerOnAssign()) {
    SetRule(other->Rule());
    SetManager(other->Manager());
  }
  AssignStored(*this, *other);
}

bool TbkExtension::StoredEquals(const TModifiedCollectionItem& other) const {
  const auto* o = dynamic_cast<const TbkExtension*>(&other);
  return o && StoredEqual(*this, *o);
}

// ---- Rules ------------------------------------------------------------------

TbkRule* TbkRules::Items(int index) const {
  return static_cast<TbkRule*>(GetItem(index));
}

TbkRule* TbkRules::Add() {
  return static_cast<TbkRule*>(AddItem());
}

TCollectionItem* TbkRules::CreateItem() {
  return new TbkRule(this);
}

void TbkRules::SetManager(TbkManager* manager) {
  if (manager_ == manager) return;
  manager_ = manager;
  for (int i = 0; i < Count(); ++i) Items(i)->SetManager(manager);
}

void TbkRules::Assign(const TPersistent* source) {
  TBaseCollection::Assign(source);
  const auto* list = dynamic_cast<const TbkRules*>(source);
  if (list && CopyOwnerOnAssign()) SetManager(list->Manager());
}

TbkRule::TbkRule(TCollection* list)
    : TBaseCollectionItem(list), extensions_(std::make_unique<TbkExtensions>()) {
  if (auto* rules = dynamic_cast<TbkRules*>(list)) manager_ = rules->Manager();
  extensions_->SetRule(this);
  extensions_->SetManager(manager_);
}

void TbkRule::SetName(std::string value) {
  Store(*this, name_, std::move(value));
}
void TbkRule::SetCaption(std::string value) {
  Store(*this, caption_, std::move(value));
}
void TbkRule::SetCategory(TExtensionCategory value) {
  Store(*this, category_, value);
}

void TbkRule::SetModified(bool value) {
  TBaseCollectionItem::SetModified(value);
  if (!deferred_) {
    extensions_->PropagateModified(value);
  } else if (!value) {
    deferredModified_ = false;
  }
}

bool TbkRule::GetModified() const {
  if (TBaseCollectionItem::GetModified()) return true;
  return deferred_ ? deferredModified_ : extensions_->GetModified();
}

void TbkRule::DeferExtensions(std::unique_ptr<const TDeferredExtensions> deferred) {
  if (extensions_->Observed()) {
    // Built now, while the observers may still be told; a fault leaves what
    // was built before it, as reading at once does.
    deferred_.reset();
    extensions_->Clear();
    deferred->Build(*extensions_);
    return;
  }
  if (!deferred_) extensions_->Clear();
  deferred_ = std::move(deferred);
  deferredModified_ = true;
}

// No one observes the list while its masks wait, so filling it here tells no
// one: a read fills a cache and changes nothing anyone has seen.
void TbkRule::BuildDeferred() const {
  try {
    deferred_->Build(*extensions_);
  } catch (...) {
    // Left as it was, to be tried again.
    extensions_->Clear();
    extensions_->SetModified(false);
    throw;
  }
  deferred_.reset();
  if (!deferredModified_) extensions_->SetModified(false);
}

void TbkRule::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TbkRule*>(source);
  if (!other) return;
  if (CopyOwnerOnAssign()) SetManager(other->Manager());
  AssignStored(*this, *other);
}

bool TbkRule::StoredEquals(const TModifiedCollectionItem& other) const {
  const auto* o = dynamic_cast<const TbkRule*>(&other);
  return o && StoredEqual(*this, *o);
}

// ---- Manager ----------------------------------------------------------------

TbkManager::TbkManager(TComponent* owner)
    : TBaseComponent(owner),
      outputPath_(DefaultOutputPath()),
      directories_(std::make_unique<TbkDirectories>()),
      rules_(std::make_unique<TbkRules>()) {
  directories_->SetManager(this);
  rules_->SetManager(this);
}

TbkManager::~TbkManager() {
  directories_.reset();
  rules_.reset();
}

void TbkManager::SetOutputPath(std::string value) {
  Store(*this, outputPath_, std::move(value));
}
void TbkManager::SetArchiverExeFileName(std::string value) {
  Store(*this, archiverExeFileName_, std::move(value));
}
void TbkManager::SetArchiverParams(std::string value) {
  Store(*this, archiverParams_, std::move(value));
}
void TbkManager::SetSubDirNamePattern(std::string value) {
  Store(*this, subDirNamePattern_, std::move(value));
}
void TbkManager::SetExcludeKey(std::string value) {
  Store(*this, excludeKey_, std::move(value));
}

void TbkManager::SetSchedule(TSchedule value) {
  Store(*this, schedule_, value);
}

void TbkManager::SetKeep(TKeepRules value) {
  Store(*this, keep_, value);
}

void TbkManager::SetTestArchives(bool value) {
  Store(*this, testArchives_, value);
}

void TbkManager::SetPassword(TPasswordPlace value) {
  Store(*this, password_, value);
}

void TbkManager::SetEncryptNames(bool value) {
  Store(*this, encryptNames_, value);
}

bool TbkManager::GetModified() const {
  return TBaseComponent::GetModified() || directories_->GetModified() || rules_->GetModified();
}

void TbkManager::SetModified(bool value) {
  TBaseComponent::SetModified(value);
  directories_->PropagateModified(value);
  rules_->PropagateModified(value);
}

void TbkManager::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TbkManager*>(source);
  if (!other) return;
  AssignStored(*this, *other);
}

// ---- Lookups ----------------------------------------------------------------

TbkRule* FindRule(const std::string& name, const TbkRules* rules) {
  const std::string key = UpperCaseAscii(name);
  for (int i = 0; i < rules->Count(); ++i) {
    if (UpperCaseAscii(rules->Items(i)->Name()) == key) return rules->Items(i);
  }
  return nullptr;
}

TbkExtension* FindExtension(const std::string& ext, const TbkExtensions* extensions) {
  for (int i = 0; i < extensions->Count(); ++i) {
    if (SameTextLocale(extensions->Items(i)->Ext(), ext)) return extensions->Items(i);
  }
  return nullptr;
}

bool IsRuleNameUnique(const std::string& name, const TbkRule* rule, const TbkRules* rules) {
  for (int i = 0; i < rules->Count(); ++i) {
    const TbkRule* other = rules->Items(i);
    if (other != rule && SameTextLocale(other->Name(), name)) return false;
  }
  return true;
}

bool IsExtensionUnique(const std::string& ext, const TbkExtension* extension,
                       const TbkExtensions* extensions) {
  for (int i = 0; i < extensions->Count(); ++i) {
    const TbkExtension* other = extensions->Items(i);
    if (other != extension && SameTextLocale(other->Ext(), ext)) return false;
  }
  return true;
}

void RenameRuleReferences(TbkDirectories* directories, const std::string& oldName,
                          const std::string& newName) {
  for (int i = 0; i < directories->Count(); ++i) {
    TbkDirectory* directory = directories->Items(i);
    if (SameTextLocale(directory->RuleName(), oldName)) directory->SetRuleName(newName);
  }
}

}  // namespace pw
