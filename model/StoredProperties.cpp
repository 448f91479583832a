// The tables of the document's stored properties. A new stored option is one
// line here, beside its member, getter and setter (HoardkeeperClasses.*);
// its place in its table is its place in the settings file and in JSON.
#include "model/StoredProperties.h"

#include <climits>

namespace pw {

namespace {

// An entry not yet given to its table. The getter and setter may be those of
// a base class (the root's Tag is TComponent's); the table's class takes
// them over.
template <class C, class T>
struct TValueEntry {
  const char* name;
  TStoredGet<T> (C::*get)() const;
  void (C::*set)(T);
  std::optional<T> streamDefault;
  bool assigned = true;
  bool exportedAtDefault = true;

  template <class Owner>
  operator TStoredProperty<Owner>() const {
    return {name, TStoredValue<Owner, T>{get, set, streamDefault}, assigned, exportedAtDefault};
  }
};

template <class C, class L>
struct TListEntry {
  const char* name;
  L* (C::*get)() const;
  void (C::*set)(const L*);

  template <class Owner>
  operator TStoredProperty<Owner>() const {
    return {name, TStoredList<Owner, L>{get, set}};
  }
};

// streamDefault: the value the file leaves out, std::nullopt when none is.
template <class C, class T>
TValueEntry<C, T> Value(const char* name, TStoredGet<T> (C::*get)() const, void (C::*set)(T),
                        std::type_identity_t<std::optional<T>> streamDefault) {
  return {name, get, set, std::move(streamDefault)};
}

template <class C, class L>
TListEntry<C, L> List(const char* name, L* (C::*get)() const, void (C::*set)(const L*)) {
  return {name, get, set};
}

// A property of the root component itself, which Assign leaves alone.
template <class C, class T>
TValueEntry<C, T> RootsOwn(TValueEntry<C, T> entry) {
  entry.assigned = false;
  return entry;
}

// An option that JSON, like the settings file, leaves out at its stored
// default, so that a document that does not use it exports as before.
template <class C, class T>
TValueEntry<C, T> LeftOutAtDefault(TValueEntry<C, T> entry) {
  entry.exportedAtDefault = false;
  return entry;
}

}  // namespace

template <>
std::span<const TStoredProperty<TbkManager>> StoredProperties<TbkManager>() {
  using M = TbkManager;
  static const TStoredProperty<M> properties[] = {
      RootsOwn(Value("Tag", &M::Tag, &M::SetTag, 0)),
      Value("OutputPath", &M::OutputPath, &M::SetOutputPath, ""),
      Value("ArchiverExeFileName", &M::ArchiverExeFileName, &M::SetArchiverExeFileName, ""),
      Value("ArchiverParams", &M::ArchiverParams, &M::SetArchiverParams, ""),
      Value("SubDirNamePattern", &M::SubDirNamePattern, &M::SetSubDirNamePattern, ""),
      Value("ExcludeKey", &M::ExcludeKey, &M::SetExcludeKey, ""),
      Value("Schedule", &M::Schedule, &M::SetSchedule, TSchedule{}),
      Value("Keep", &M::Keep, &M::SetKeep, TKeepRules{}),
      Value("TestArchives", &M::TestArchives, &M::SetTestArchives, true),
      LeftOutAtDefault(Value("Password", &M::Password, &M::SetPassword, TPasswordPlace{})),
      LeftOutAtDefault(Value("EncryptNames", &M::EncryptNames, &M::SetEncryptNames, false)),
      List("Directories", &M::Directories, &M::SetDirectories),
      List("Rules", &M::Rules, &M::SetRules),
      RootsOwn(Value("Left", &M::Left, &M::SetLeft, 0)),
      RootsOwn(Value("Top", &M::Top, &M::SetTop, 0)),
  };
  return properties;
}

template <>
std::span<const TStoredProperty<TbkDirectory>> StoredProperties<TbkDirectory>() {
  using D = TbkDirectory;
  static const TStoredProperty<D> properties[] = {
      Value("RuleName", &D::RuleName, &D::SetRuleName, ""),
      Value("Path", &D::Path, &D::SetPath, ""),
      Value("NeedArchive", &D::NeedArchive, &D::SetNeedArchive, true),
      Value("ArchiveFileName", &D::ArchiveFileName, &D::SetArchiveFileName, ""),
  };
  return properties;
}

template <>
std::span<const TStoredProperty<TbkRule>> StoredProperties<TbkRule>() {
  using R = TbkRule;
  static const TStoredProperty<R> properties[] = {
      Value("Name", &R::Name, &R::SetName, ""),
      Value("Caption", &R::Caption, &R::SetCaption, ""),
      Value("Category", &R::Category, &R::SetCategory, std::nullopt),
      // Read later: see DeferExtensions.
      List("Extensions", &R::Extensions, &R::SetExtensions),
  };
  return properties;
}

template <>
std::span<const TStoredProperty<TbkExtension>> StoredProperties<TbkExtension>() {
  using E = TbkExtension;
  static const TStoredProperty<E> properties[] = {
      Value("Ext", &E::Ext, &E::SetExt, ""),
      Value("Active", &E::Active, &E::SetActive, true),
      Value("Category1", &E::Category1, &E::SetCategory1, std::nullopt),
      // The mark of a number without a default, which no file holds.
      Value("TotalSize", &E::TotalSize, &E::SetTotalSize, INT32_MIN),
      Value("ProgramCaption", &E::ProgramCaption, &E::SetProgramCaption, ""),
  };
  return properties;
}

}  // namespace pw
