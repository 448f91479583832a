// Writing the settings document as JSON item by item, in the layout that
// nlohmann's dump(2) gives, so that a document of a million directories does
// not need a second, much larger copy of itself as a JSON tree.
#include <type_traits>
#include <vector>

#include "cli/SettingsJson.h"
#include "model/StoredProperties.h"
#include "platform/Errors.h"

namespace pw {

namespace {

class JsonStreamer {
 public:
  explicit JsonStreamer(std::ostream& out) : out_(out) {}

  void Begin(char open) {
    out_ << open;
    empty_.push_back(true);
  }

  void End(char close) {
    const bool empty = empty_.back();
    empty_.pop_back();
    if (!empty) NewLine();
    out_ << close;
  }

  void Key(const char* name) {
    Next();
    out_ << '"' << name << "\": ";
  }

  void Item() { Next(); }

  // A small value written whole, indented to where it stands.
  void Value(const Json& value) {
    const std::string text = value.dump(2);
    const std::string indent(2 * empty_.size(), ' ');
    for (const char c : text) {
      out_ << c;
      if (c == '\n') out_ << indent;
    }
  }

  template <class T>
  void Member(const char* name, const T& value) {
    Key(name);
    Value(Json(value));
  }

 private:
  void Next() {
    if (!empty_.back()) out_ << ',';
    empty_.back() = false;
    NewLine();
  }

  void NewLine() { out_ << '\n' << std::string(2 * empty_.size(), ' '); }

  std::ostream& out_;
  std::vector<bool> empty_;  // one per open object or array: nothing in it yet
};

template <class T>
Json ValueToJson(const T& value) {
  if constexpr (std::is_same_v<T, std::string>) {
    return TextToJson(value);
  } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, int32_t> ||
                       std::is_same_v<T, uint16_t>) {
    return value;
  } else if constexpr (std::is_same_v<T, TExtensionCategory>) {
    return CategoryName(value);
  } else if constexpr (std::is_same_v<T, TSchedule>) {
    return ScheduleToJson(value);
  } else if constexpr (std::is_same_v<T, TKeepRules>) {
    return KeepRulesToJson(value);
  } else if constexpr (std::is_same_v<T, TPasswordPlace>) {
    return PasswordPlaceToJson(value);
  } else {
    static_assert(kUnhandledStoredType<T>);
  }
}

// Every stored property of owner, in the table's order; a list as an array
// of objects.
template <class Owner>
void Members(JsonStreamer& json, const Owner& owner) {
  ForEachStoredProperty<Owner>([&](const auto& property, const auto& access) {
    if constexpr (kIsStoredList<std::decay_t<decltype(access)>>) {
      const auto& list = *(owner.*access.get)();
      json.Key(property.name);
      json.Begin('[');
      for (int i = 0; i < list.Count(); ++i) {
        json.Item();
        json.Begin('{');
        Members(json, *list.Items(i));
        json.End('}');
      }
      json.End(']');
    } else {
      const auto& value = (owner.*access.get)();
      // No member: no schedule, no keep rules.
      if constexpr (std::is_same_v<std::decay_t<decltype(value)>, TSchedule>) {
        if (!value.Set()) return;
      } else if constexpr (std::is_same_v<std::decay_t<decltype(value)>, TKeepRules>) {
        if (value.KeepsAll()) return;
      }
      if (!property.exportedAtDefault && access.streamDefault && value == *access.streamDefault) {
        return;
      }
      json.Key(property.name);
      json.Value(ValueToJson(value));
    }
  });
}

}  // namespace

void WriteDocumentJson(const TbkManager& m, std::ostream& out) {
  JsonStreamer json(out);
  json.Begin('{');
  json.Member("PacketwrightSettings", kJsonFormatVersion);
  Members(json, m);
  json.End('}');
  out << '\n';
  if (!out.flush()) throw EWriteError("Stream write error");
}

}  // namespace pw
