// The stored properties of the settings document, each described once: its
// name (in the settings file and in JSON), its type, the value the settings
// file leaves out, and how its class gets and sets it. The settings file's
// writer, reader and masks pass (SettingsFile.cpp), the JSON export and import
// (cli/), Assign and StoredEquals all walk these tables, in their order, which
// is the order in which the properties are written. The tables themselves are
// in StoredProperties.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "model/HoardkeeperClasses.h"

namespace pw {

// What the getter of a T returns.
template <class T>
using TStoredGet = std::conditional_t<std::is_class_v<T>, const T&, T>;

// A value of type T.
template <class Owner, class T>
struct TStoredValue {
  using Type = T;
  TStoredGet<T> (Owner::*get)() const;
  // The document's setters compare before they store, so that only a real
  // change marks the owner; the root's own Tag, Left and Top mark nothing.
  void (Owner::*set)(T);
  // The value that the settings file leaves out, a stored default (reading a
  // file without it leaves what the object holds); none: the value
  // is always written. Not the construction value: an empty OutputPath is left
  // out, a new manager holds C:\MyArchives.
  std::optional<T> streamDefault;
};

// A list whose items have the properties of their own class's table.
template <class Owner, class L>
struct TStoredList {
  using List = L;
  using Item = std::remove_pointer_t<decltype(std::declval<const L&>().Items(0))>;
  L* (Owner::*get)() const;
  void (Owner::*set)(const L*);  // assigns the items
};

// Every type of value that the tables know. Each path handles every one of
// them (see kUnhandledStoredType); a new type needs its form in each.
template <class Owner>
using TStoredAccess =
    std::variant<TStoredValue<Owner, std::string>, TStoredValue<Owner, bool>,
                 TStoredValue<Owner, int32_t>, TStoredValue<Owner, uint16_t>,
                 TStoredValue<Owner, TExtensionCategory>,
                 TStoredValue<Owner, TSchedule>, TStoredValue<Owner, TKeepRules>,
                 TStoredValue<Owner, TPasswordPlace>,
                 TStoredList<Owner, TbkDirectories>,
                 TStoredList<Owner, TbkRules>, TStoredList<Owner, TbkExtensions>>;

template <class Owner>
struct TStoredProperty {
  const char* name;
  TStoredAccess<Owner> access;
  // Whether Assign copies it and StoredEquals compares it: all but the root's
  // own Tag, Left and Top, which the file and JSON keep but Assign has always
  // left alone.
  bool assigned = true;
  // Whether the JSON export writes it at its stored default too: all but the
  // options that a document may well not use, which it leaves out then.
  bool exportedAtDefault = true;
};

// The properties of each class of the document, in the order written.
template <class Owner>
std::span<const TStoredProperty<Owner>> StoredProperties();
template <>
std::span<const TStoredProperty<TbkManager>> StoredProperties<TbkManager>();
template <>
std::span<const TStoredProperty<TbkDirectory>> StoredProperties<TbkDirectory>();
template <>
std::span<const TStoredProperty<TbkRule>> StoredProperties<TbkRule>();
template <>
std::span<const TStoredProperty<TbkExtension>> StoredProperties<TbkExtension>();

template <class Access>
inline constexpr bool kIsStoredList = false;
template <class Owner, class L>
inline constexpr bool kIsStoredList<TStoredList<Owner, L>> = true;

// For the last branch of a visitor's "if constexpr" chain over the types of
// value: a type that the visitor does not handle fails to compile.
template <class T>
inline constexpr bool kUnhandledStoredType = false;

// Calls visit(property, access) for each of Owner's properties in order,
// access being the TStoredValue or TStoredList the property holds.
template <class Owner, class Visit>
void ForEachStoredProperty(Visit&& visit) {
  for (const TStoredProperty<Owner>& property : StoredProperties<Owner>()) {
    std::visit([&](const auto& access) { visit(property, access); }, property.access);
  }
}

}  // namespace pw
