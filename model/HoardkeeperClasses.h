// The settings document: the manager with its options, the directories to
// archive and the rules, each rule with its file masks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/BaseClasses.h"
#include "model/KeepRules.h"
#include "model/PasswordPlace.h"
#include "model/Schedule.h"

namespace pw {

class TStream;

// Stored in one byte; setters accept any byte.
enum TExtensionCategory : uint8_t { ecInclude = 0, ecExclude = 1 };

// The name a category is written under, in the settings file and in JSON.
inline const char* CategoryName(TExtensionCategory category) {
  return category == ecInclude ? "ecInclude" : "ecExclude";
}

class TbkManager;
class TbkRule;
class TbkDirectory;
class TbkExtension;

class TbkDirectories final : public TBaseCollection {
 public:
  TbkDirectories() = default;
  const char* ClassName() const override { return "TbkDirectories"; }

  TbkDirectory* Items(int index) const;
  TbkDirectory* Add();
  TbkManager* Manager() const { return manager_; }
  void SetManager(TbkManager* manager);

  void Assign(const TPersistent* source) override;

 protected:
  TCollectionItem* CreateItem() override;

 private:
  TbkManager* manager_ = nullptr;
};

class TbkDirectory final : public TBaseCollectionItem {
 public:
  // Appends to list; a null list gives a detached item.
  explicit TbkDirectory(TCollection* list);
  ~TbkDirectory() override { AnnounceRemoval(); }
  const char* ClassName() const override { return "TbkDirectory"; }

  TbkManager* Manager() const { return manager_; }
  void SetManager(TbkManager* manager) { manager_ = manager; }

  const std::string& RuleName() const { return ruleName_; }
  void SetRuleName(std::string value);
  const std::string& Path() const { return path_; }
  void SetPath(std::string value);
  bool NeedArchive() const { return needArchive_; }
  void SetNeedArchive(bool value);
  const std::string& ArchiveFileName() const { return archiveFileName_; }
  void SetArchiveFileName(std::string value);

  void Assign(const TPersistent* source) override;
  bool StoredEquals(const TModifiedCollectionItem& other) const override;

 private:
  TbkManager* manager_ = nullptr;
  std::string ruleName_;
  std::string path_;
  bool needArchive_ = true;
  std::string archiveFileName_;
};

class TbkExtensions final : public TBaseCollection {
 public:
  TbkExtensions() = default;
  const char* ClassName() const override { return "TbkExtensions"; }

  TbkExtension* Items(int index) const;
  TbkExtension* Add();
  TbkRule* Rule() const { return rule_; }
  void SetRule(TbkRule* rule);
  TbkManager* Manager() const { return manager_; }
  void SetManager(TbkManager* manager);

  void Assign(const TPersistent* source) override;

 protected:
  TCollectionItem* CreateItem() override;

 private:
  TbkRule* rule_ = nullptr;
  TbkManager* manager_ = nullptr;
};

class TbkExtension final : public TBaseCollectionItem {
 public:
  explicit TbkExtension(TCollection* list);
  ~TbkExtension() override { AnnounceRemoval(); }
  const char* ClassName() const override { return "TbkExtension"; }

  TbkRule* Rule() const { return rule_; }
  void SetRule(TbkRule* rule) { rule_ = rule; }
  TbkManager* Manager() const { return manager_; }
  void SetManager(TbkManager* manager) { manager_ = manager; }

  const std::string& Ext() const { return ext_; }
  void SetExt(std::string value);
  bool Active() const { return active_; }
  void SetActive(bool value);
  TExtensionCategory Category1() const { return category1_; }
  void SetCategory1(TExtensionCategory value);
  int32_t TotalSize() const { return totalSize_; }
  void SetTotalSize(int32_t value);
  const std::string& ProgramCaption() const { return programCaption_; }
  void SetProgramCaption(std::string value);

  void Assign(const TPersistent* source) override;
  bool StoredEquals(const TModifiedCollectionItem& other) const override;

 private:
  TbkRule* rule_ = nullptr;
  TbkManager* manager_ = nullptr;
  std::string ext_;
  bool active_ = true;
  TExtensionCategory category1_ = ecExclude;
  int32_t totalSize_ = 0;
  std::string programCaption_;
};

// A rule's masks still in stored form: the settings reader leaves them so
// until they are first asked for, since most are never looked at in a run.
class TDeferredExtensions {
 public:
  virtual ~TDeferredExtensions() = default;
  // Appends the masks to into, which is empty.
  virtual void Build(TbkExtensions& into) const = 0;
};

class TbkRules final : public TBaseCollection {
 public:
  TbkRules() = default;
  const char* ClassName() const override { return "TbkRules"; }

  TbkRule* Items(int index) const;
  TbkRule* Add();
  TbkManager* Manager() const { return manager_; }
  void SetManager(TbkManager* manager);

  void Assign(const TPersistent* source) override;

 protected:
  TCollectionItem* CreateItem() override;

 private:
  TbkManager* manager_ = nullptr;
};

class TbkRule final : public TBaseCollectionItem {
 public:
  explicit TbkRule(TCollection* list);
  ~TbkRule() override { AnnounceRemoval(); }
  const char* ClassName() const override { return "TbkRule"; }

  TbkManager* Manager() const { return manager_; }
  void SetManager(TbkManager* manager) { manager_ = manager; }

  const std::string& Name() const { return name_; }
  void SetName(std::string value);
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string value);
  TExtensionCategory Category() const { return category_; }
  void SetCategory(TExtensionCategory value);
  // Masks that wait in stored form are built first. That fills a list that
  // no one observes (see DeferExtensions), so reading tells no one anything.
  TbkExtensions* Extensions() const {
    if (deferred_) BuildDeferred();
    return extensions_.get();
  }
  void SetExtensions(const TbkExtensions* value) { Extensions()->Assign(value); }
  // The masks become those that deferred builds when first asked for. Until
  // then they count as new masks do: modified, until the rule is cleared. An
  // observed list is built at once instead, so that its observers hear of the
  // new masks now and not from a later read.
  void DeferExtensions(std::unique_ptr<const TDeferredExtensions> deferred);

  // The rule counts as modified while any of its masks does.
  void SetModified(bool value) override;
  bool GetModified() const override;

  void Assign(const TPersistent* source) override;
  bool StoredEquals(const TModifiedCollectionItem& other) const override;

 private:
  TbkManager* manager_ = nullptr;
  std::string name_;
  std::string caption_;
  TExtensionCategory category_ = ecExclude;
  // While deferred_ holds the masks in stored form, extensions_ is empty and
  // unobserved: a cache that the first read fills.
  std::unique_ptr<TbkExtensions> extensions_;
  mutable std::unique_ptr<const TDeferredExtensions> deferred_;
  bool deferredModified_ = false;

  void BuildDeferred() const;

  // Tests look through it at whether the masks still wait.
  friend struct TbkRuleInspector;
};

class TbkManager final : public TBaseComponent {
 public:
  explicit TbkManager(TComponent* owner = nullptr);
  ~TbkManager() override;
  const char* ClassName() const override { return "TbkManager"; }

  const std::string& OutputPath() const { return outputPath_; }
  void SetOutputPath(std::string value);
  const std::string& ArchiverExeFileName() const { return archiverExeFileName_; }
  void SetArchiverExeFileName(std::string value);
  const std::string& ArchiverParams() const { return archiverParams_; }
  void SetArchiverParams(std::string value);
  const std::string& SubDirNamePattern() const { return subDirNamePattern_; }
  void SetSubDirNamePattern(std::string value);
  const std::string& ExcludeKey() const { return excludeKey_; }
  void SetExcludeKey(std::string value);
  // The nightly run that the schedule installs; none by default.
  const TSchedule& Schedule() const { return schedule_; }
  void SetSchedule(TSchedule value);
  // Which runs' archives a prune keeps; everything by default.
  const TKeepRules& Keep() const { return keep_; }
  void SetKeep(TKeepRules value);
  // Whether each new archive is tested by its archiver before its job counts
  // as a success; on by default.
  bool TestArchives() const { return testArchives_; }
  void SetTestArchives(bool value);
  // Where the password of 7-Zip's archives is kept; none: not encrypted.
  const TPasswordPlace& Password() const { return password_; }
  void SetPassword(TPasswordPlace value);
  // With a password, whether the names of the archived files are encrypted
  // too (-mhe=on).
  bool EncryptNames() const { return encryptNames_; }
  void SetEncryptNames(bool value);
  TbkDirectories* Directories() const { return directories_.get(); }
  void SetDirectories(const TbkDirectories* value) { directories_->Assign(value); }
  TbkRules* Rules() const { return rules_.get(); }
  void SetRules(const TbkRules* value) { rules_->Assign(value); }

  // Modified while the manager or anything below it is marked; clearing
  // clears everything below.
  bool GetModified() const override;
  void SetModified(bool value) override;

  // The settings file; see SettingsStream.cpp.
  virtual void SaveToStream(TStream& stream, bool clearModified);
  virtual void SaveToFile(const std::string& fileName, bool clearModified);
  virtual void LoadFromStream(TStream& stream);
  virtual void LoadFromFile(const std::string& fileName);

  void Assign(const TPersistent* source) override;

 private:
  std::string outputPath_;
  std::string archiverExeFileName_;
  std::string archiverParams_;
  std::string subDirNamePattern_;
  std::string excludeKey_;
  TSchedule schedule_;
  TKeepRules keep_;
  bool testArchives_ = true;
  TPasswordPlace password_;
  bool encryptNames_ = false;
  std::unique_ptr<TbkDirectories> directories_;
  std::unique_ptr<TbkRules> rules_;
};

// ---- Lookups ----------------------------------------------------------------

// Rule names compare with only the ASCII letters a-z case-folded; the other
// lookups ignore letter case under the user's locale.
TbkRule* FindRule(const std::string& name, const TbkRules* rules);
TbkExtension* FindExtension(const std::string& ext, const TbkExtensions* extensions);
bool IsRuleNameUnique(const std::string& name, const TbkRule* rule, const TbkRules* rules);
bool IsExtensionUnique(const std::string& ext, const TbkExtension* extension,
                       const TbkExtensions* extensions);
void RenameRuleReferences(TbkDirectories* directories, const std::string& oldName,
                          const std::string& newName);

}  // namespace pw
