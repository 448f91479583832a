// Every entry of the stored properties' tables reaches every path that they
// drive: the settings file (its masks read later), JSON, Assign, StoredEquals
// and the change marks. An entry that one of them leaves out fails here.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <type_traits>

#include "cli/SettingsJson.h"
#include "model/StoredProperties.h"
#include "platform/Streams.h"

namespace pw {

struct TbkRuleInspector {
  static bool MasksWait(const TbkRule& rule) { return rule.deferred_ != nullptr; }
};

namespace {

// A value unlike before; a text is a path that a job could archive.
template <class T>
T Changed(const T& before, const char* name) {
  if constexpr (std::is_same_v<T, std::string>) {
    return "/" + std::string(name);
  } else if constexpr (std::is_same_v<T, bool>) {
    return !before;
  } else if constexpr (std::is_same_v<T, TExtensionCategory>) {
    return before == ecInclude ? ecExclude : ecInclude;
  } else if constexpr (std::is_same_v<T, TSchedule>) {
    return TSchedule{before.minuteOfDay == 23 * 60 + 59 ? 0 : 23 * 60 + 59, 0b0010001};
  } else if constexpr (std::is_same_v<T, TKeepRules>) {
    return TKeepRules{before.last + 1, 7, 4, 12};
  } else if constexpr (std::is_same_v<T, TPasswordPlace>) {
    return TPasswordPlace{TPasswordKeeping::pkFile, before.file + "/" + name};
  } else {
    return static_cast<T>(before + 40000);
  }
}

// Every value changed, and one item in every list, filled the same way.
template <class Owner>
void FillEveryProperty(Owner& owner) {
  ForEachStoredProperty<Owner>([&](const auto& property, const auto& access) {
    if constexpr (kIsStoredList<std::decay_t<decltype(access)>>) {
      FillEveryProperty(*(owner.*access.get)()->Add());
    } else {
      const auto before = (owner.*access.get)();
      const auto value = Changed(before, property.name);
      EXPECT_NE(value, before) << property.name;
      if (access.streamDefault) {
        EXPECT_NE(value, *access.streamDefault) << property.name;
      }
      (owner.*access.set)(value);
    }
  });
}

template <class Owner>
void ExpectSame(const Owner& a, const Owner& b, const std::string& where) {
  ForEachStoredProperty<Owner>([&](const auto& property, const auto& access) {
    const std::string at = where + "." + property.name;
    if constexpr (kIsStoredList<std::decay_t<decltype(access)>>) {
      const auto& x = *(a.*access.get)();
      const auto& y = *(b.*access.get)();
      ASSERT_EQ(x.Count(), y.Count()) << at;
      for (int i = 0; i < x.Count(); ++i) {
        ExpectSame(*x.Items(i), *y.Items(i), at + "[" + std::to_string(i) + "]");
      }
    } else {
      EXPECT_EQ((a.*access.get)(), (b.*access.get)()) << at;
    }
  });
}

TEST(StoredProperties, EveryPropertyTravelsThroughTheSettingsFileAndJson) {
  TbkManager original;
  FillEveryProperty(original);

  TMemoryStream saved;
  original.SaveToStream(saved, false);
  TMemoryStream in(saved.Bytes());
  TbkManager fromFile;
  fromFile.LoadFromStream(in);
  EXPECT_TRUE(TbkRuleInspector::MasksWait(*fromFile.Rules()->Items(0)))
      << "the masks pass takes every mask property";
  ExpectSame(original, fromFile, "$");

  std::ostringstream json;
  WriteDocumentJson(original, json);
  TbkManager fromJson;
  ParseSettingsJson(json.str(), fromJson);
  ExpectSame(original, fromJson, "$");
}

template <class Owner>
std::unique_ptr<Owner> Fresh() {
  if constexpr (std::is_same_v<Owner, TbkManager>) {
    return std::make_unique<TbkManager>();
  } else {
    return std::make_unique<Owner>(nullptr);
  }
}

// One property at a time differs between two objects of Owner.
template <class Owner>
void CheckAssignAndCompare() {
  ForEachStoredProperty<Owner>([&](const auto& property, const auto& access) {
    using Access = std::decay_t<decltype(access)>;
    const auto source = Fresh<Owner>();
    const auto target = Fresh<Owner>();
    const std::string at = std::string(source->ClassName()) + "." + property.name;
    if constexpr (kIsStoredList<Access>) {
      FillEveryProperty(*(source.get()->*access.get)()->Add());
      CheckAssignAndCompare<typename Access::Item>();
    } else {
      (source.get()->*access.set)(Changed((source.get()->*access.get)(), property.name));
    }
    // StoredEquals sees the difference exactly when Assign copies it.
    constexpr bool kCompared = std::is_base_of_v<TModifiedCollectionItem, Owner>;
    if constexpr (kCompared) {
      EXPECT_NE(target->StoredEquals(*source), property.assigned) << at;
    }
    target->SetModified(false);
    target->Assign(source.get());
    EXPECT_EQ(target->GetModified(), property.assigned) << at;
    if (property.assigned) {
      ExpectSame(*source, *target, at);
      if constexpr (kCompared) {
        EXPECT_TRUE(target->StoredEquals(*source)) << at;
      }
      target->SetModified(false);
      target->Assign(source.get());
      EXPECT_FALSE(target->GetModified()) << at << ": only a real change marks";
    } else if constexpr (!kIsStoredList<Access>) {
      EXPECT_NE((target.get()->*access.get)(), (source.get()->*access.get)()) << at;
    }
  });
}

TEST(StoredProperties, AssignCopiesAndStoredEqualsComparesEachProperty) {
  CheckAssignAndCompare<TbkManager>();
}

}  // namespace
}  // namespace pw
