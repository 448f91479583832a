#include "cli/SettingsJson.h"

#include <cassert>
#include <climits>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <streambuf>
#include <type_traits>
#include <variant>
#include <vector>

#include "archiver/ArchiveJob.h"
#include "model/StoredProperties.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

// ---- Reading ------------------------------------------------------------------
//
// The text is read as a stream of events and each value goes straight into
// the document: a tree of the whole text would take several times the memory
// of the document it describes, and freeing that tree needs memory again.
// A problem is named only once the text has been read to its end, so that a
// syntax error anywhere comes first, then a member given twice, then the
// document's shape (see TJsonReader::Fail).

// The objects of the document being filled.
struct TTargets {
  TbkManager* manager = nullptr;
  TbkDirectory* directory = nullptr;
  TbkRule* rule = nullptr;
  TbkExtension* extension = nullptr;
};

// What a level of nesting holds.
enum class TLevel : uint8_t {
  // The document's objects.
  kManager,
  kDirectory,
  kRule,
  kExtension,
  // One of its lists.
  kList,
  // A text as {"hex": "..."}.
  kHex,
  // A value read whole as a small tree (a schedule), and what it holds.
  kStruct,
  kStructPart,
  // Inside a value that is not read.
  kOtherObject,
  kOtherArray,
};

bool IsList(TLevel level) {
  return level == TLevel::kList;
}

bool IsDocumentObject(TLevel level) {
  return level <= TLevel::kExtension;
}

bool InStruct(TLevel level) {
  return level == TLevel::kStruct || level == TLevel::kStructPart;
}

// The level of each class of the document, and the object of that class
// being filled.
template <class C>
constexpr TLevel LevelOf() {
  if constexpr (std::is_same_v<C, TbkManager>) {
    return TLevel::kManager;
  } else if constexpr (std::is_same_v<C, TbkDirectory>) {
    return TLevel::kDirectory;
  } else if constexpr (std::is_same_v<C, TbkRule>) {
    return TLevel::kRule;
  } else {
    static_assert(std::is_same_v<C, TbkExtension>);
    return TLevel::kExtension;
  }
}

template <class C>
C*& Target(TTargets& t) {
  if constexpr (std::is_same_v<C, TbkManager>) {
    return t.manager;
  } else if constexpr (std::is_same_v<C, TbkDirectory>) {
    return t.directory;
  } else if constexpr (std::is_same_v<C, TbkRule>) {
    return t.rule;
  } else {
    static_assert(std::is_same_v<C, TbkExtension>);
    return t.extension;
  }
}

using TTextSetter = std::function<void(TTargets&, std::string&&)>;
using TFlagSetter = std::function<void(TTargets&, bool)>;
struct TIntegerSetter {
  long long low, high;
  std::function<void(TTargets&, long long)> set;
};
using TCategorySetter = std::function<void(TTargets&, TExtensionCategory)>;
struct TListOf {
  // Adds an item to the list and makes it the target of its level, which it
  // returns.
  std::function<TLevel(TTargets&)> addItem;
};

// A value that is an object of its own, given whole to set, which returns a
// problem's description or null.
struct TStructSetter {
  std::function<const char*(TTargets&, const Json&)> set;
  const char* expected;
};

struct TMember {
  const char* name;
  std::variant<TTextSetter, TFlagSetter, TIntegerSetter, TCategorySetter, TListOf, TStructSetter>
      value;
};

// The members of an object of class Owner: its stored properties, in the
// table's order.
template <class Owner>
std::vector<TMember> MembersOf() {
  std::vector<TMember> members;
  ForEachStoredProperty<Owner>([&](const auto& property, const auto& access) {
    using Access = std::decay_t<decltype(access)>;
    if constexpr (kIsStoredList<Access>) {
      using Item = typename Access::Item;
      members.push_back({property.name, TListOf{[get = access.get](TTargets& t) {
                           Target<Item>(t) = (Target<Owner>(t)->*get)()->Add();
                           return LevelOf<Item>();
                         }}});
    } else {
      using T = typename Access::Type;
      auto set = [setter = access.set](TTargets& t, auto&& v) {
        (Target<Owner>(t)->*setter)(static_cast<T>(std::forward<decltype(v)>(v)));
      };
      if constexpr (std::is_same_v<T, std::string>) {
        members.push_back({property.name, TTextSetter(set)});
      } else if constexpr (std::is_same_v<T, bool>) {
        members.push_back({property.name, TFlagSetter(set)});
      } else if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, uint16_t>) {
        members.push_back({property.name, TIntegerSetter{std::numeric_limits<T>::min(),
                                                         std::numeric_limits<T>::max(), set}});
      } else if constexpr (std::is_same_v<T, TExtensionCategory>) {
        members.push_back({property.name, TCategorySetter(set)});
      } else if constexpr (std::is_same_v<T, TSchedule> || std::is_same_v<T, TKeepRules>) {
        // Read whole from its JSON object, then checked there.
        constexpr bool kSchedule = std::is_same_v<T, TSchedule>;
        members.push_back(
            {property.name,
             TStructSetter{[set](TTargets& t, const Json& json) -> const char* {
                             T value;
                             const char* problem = nullptr;
                             if constexpr (kSchedule) {
                               problem = ScheduleFromJson(json, value);
                             } else {
                               problem = KeepRulesFromJson(json, value);
                             }
                             if (!problem) set(t, value);
                             return problem;
                           },
                           kSchedule ? "expected {\"At\": \"HH:MM\", \"Days\": [\"mon\", ...]}"
                                     : "expected {\"Last\": N, \"Daily\": N, \"Weekly\": N, "
                                       "\"Monthly\": N}"}});
      } else if constexpr (std::is_same_v<T, TPasswordPlace>) {
        members.push_back(
            {property.name,
             TStructSetter{[set](TTargets& t, const Json& json) -> const char* {
                             TPasswordPlace value;
                             const char* problem = PasswordPlaceFromJson(json, value);
                             if (!problem) set(t, value);
                             return problem;
                           },
                           "expected {\"KeptIn\": \"keyring\"} or {\"KeptIn\": \"file\", "
                           "\"File\": \"/path\"}"}});
      } else {
        static_assert(kUnhandledStoredType<T>);
      }
    }
  });
  // Each frame keeps the members it has met as bits of a 64-bit word.
  assert(members.size() <= 64);
  return members;
}

std::vector<TMember> ManagerMembers() {
  std::vector<TMember> members = {
      {"PacketwrightSettings",
       TIntegerSetter{kJsonFormatVersion, kJsonFormatVersion, [](TTargets&, long long) {}}}};
  for (TMember& member : MembersOf<TbkManager>()) members.push_back(std::move(member));
  return members;
}

// The members of an object at a level, in the order in which their problems
// are named; none for a value that is not read.
std::span<const TMember> Members(TLevel level) {
  static const std::vector<TMember> manager = ManagerMembers();
  static const std::vector<TMember> directory = MembersOf<TbkDirectory>();
  static const std::vector<TMember> rule = MembersOf<TbkRule>();
  static const std::vector<TMember> extension = MembersOf<TbkExtension>();
  // Only its name is used: the hex digits are turned into the text once the
  // object has ended.
  static const TMember hex[] = {{"hex", TTextSetter()}};
  switch (level) {
    case TLevel::kManager:
      return manager;
    case TLevel::kDirectory:
      return directory;
    case TLevel::kRule:
      return rule;
    case TLevel::kExtension:
      return extension;
    case TLevel::kHex:
      return hex;
    default:
      return {};
  }
}

const char* Expected(const TMember& member) {
  switch (member.value.index()) {
    case 0:
      return "expected a string or {\"hex\": ...}";
    case 1:
      return "expected true or false";
    case 2:
      return "expected an integer";
    case 3:
      return "expected \"ecInclude\" or \"ecExclude\"";
    case 5:
      return std::get<TStructSetter>(member.value).expected;
    default:
      return "expected an array";
  }
}

// The bytes of lower-case or upper-case hexadecimal pairs; a problem's
// description when there is one.
const char* FromHex(const std::string& hex, std::string& bytes) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.size() % 2) return "odd number of hexadecimal digits";
  bytes.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = nibble(hex[i]), low = nibble(hex[i + 1]);
    if (high < 0 || low < 0) return "not a hexadecimal digit";
    bytes += static_cast<char>(high * 16 + low);
  }
  return nullptr;
}

// One JSON value that is not an object or an array.
struct TScalar {
  enum TType : uint8_t { kNull, kBoolean, kSigned, kUnsigned, kFloat, kString } type = kNull;
  bool flag = false;
  long long integer = 0;
  unsigned long long natural = 0;
  std::string* text = nullptr;  // the parser's own, which may be taken
};

// The library's words without its label ("[json.exception.parse_error.101]")
// and with a syntax error's place first: " at line 1, column 11: unexpected
// end of input; ...", or ": number overflow parsing '1e999'".
std::string PlainSyntaxError(std::string what) {
  if (what.rfind("[json.exception.", 0) == 0) {
    const size_t end = what.find("] ");
    if (end != std::string::npos) what.erase(0, end + 2);
  }
  static const std::string kPlace = "parse error at ";
  if (what.rfind(kPlace, 0) != 0) return ": " + what;
  what.erase(0, kPlace.size());
  // "line 1, column 11: syntax error while parsing value - unexpected ..."
  const size_t colon = what.find(": "), dash = what.find(" - ");
  if (colon != std::string::npos && dash != std::string::npos && dash > colon) {
    what = what.substr(0, colon + 2) + what.substr(dash + 3);
  }
  return " at " + what;
}

class TJsonReader final : public nlohmann::json_sax<Json> {
 public:
  explicit TJsonReader(TbkManager& manager) { targets_.manager = &manager; }

  // Once the parse has ended: the failure to report, if any.
  void Check() const {
    if (!syntaxError_.empty()) {
      // Syntax errors and numbers beyond a double's range alike; a message
      // that quotes a runaway token is cut short.
      std::string what = PlainSyntaxError(syntaxError_);
      if (what.size() > 300) what = what.substr(0, 300) + "...";
      throw Exception("Invalid settings JSON" + what);
    }
    // The library would keep the last of two members of one name; a document
    // that says two things about one property is refused, as an unknown
    // member is.
    if (repeated_) {
      throw Exception("Invalid settings JSON: the member \"" + *repeated_ + "\" appears twice");
    }
    if (!problem_.empty()) throw Exception(problem_);
  }

  bool null() override { return Scalar(TScalar{}); }
  bool boolean(bool value) override {
    TScalar scalar;
    scalar.type = TScalar::kBoolean;
    scalar.flag = value;
    return Scalar(scalar);
  }
  bool number_integer(number_integer_t value) override {
    TScalar scalar;
    scalar.type = TScalar::kSigned;
    scalar.integer = value;
    return Scalar(scalar);
  }
  bool number_unsigned(number_unsigned_t value) override {
    TScalar scalar;
    scalar.type = TScalar::kUnsigned;
    scalar.natural = value;
    return Scalar(scalar);
  }
  bool number_float(number_float_t, const string_t&) override {
    TScalar scalar;
    scalar.type = TScalar::kFloat;
    return Scalar(scalar);
  }
  bool string(string_t& value) override {
    TScalar scalar;
    scalar.type = TScalar::kString;
    scalar.text = &value;
    return Scalar(scalar);
  }
  bool binary(binary_t&) override { return Scalar(TScalar{}); }  // not in JSON text

  bool start_object(std::size_t) override {
    TLevel next = TLevel::kOtherObject;
    if (frames_.empty()) {
      next = TLevel::kManager;
    } else if (InStruct(frames_.back().level)) {
      next = TLevel::kStructPart;
      structOpen_.push_back(&AddToStruct(Json::object()));
    } else if (TFrame& top = frames_.back(); IsList(top.level)) {
      ++top.item;
      next = StartItem();
    } else if (const TMember* member = Expecting()) {
      if (std::holds_alternative<TTextSetter>(member->value)) {
        next = TLevel::kHex;
        hex_.clear();
        hexWellFormed_ = true;
      } else if (std::holds_alternative<TStructSetter>(member->value)) {
        next = TLevel::kStruct;
        struct_ = Json::object();
        structOpen_ = {&struct_};
      } else {
        Fail(frames_.size() - 1, true, Expected(*member));
      }
    } else if (top.level == TLevel::kHex) {
      hexWellFormed_ = false;
    }
    frames_.emplace_back(next);
    return true;
  }

  bool key(string_t& name) override {
    TFrame& top = frames_.back();
    const std::span<const TMember> members = Members(top.level);
    top.member = -1;
    for (size_t i = 0; i < members.size(); ++i) {
      if (name == members[i].name) top.member = static_cast<int>(i);
    }
    bool repeated;
    if (top.member >= 0) {
      const uint64_t bit = uint64_t{1} << top.member;
      repeated = (top.seen & bit) != 0;
      top.seen |= bit;
    } else {
      if (!top.others) top.others = std::make_unique<std::set<std::string>>();
      repeated = !top.others->insert(name).second;
    }
    if (repeated && !repeated_) repeated_ = name;
    if (InStruct(top.level)) structKey_ = name;
    if (top.member < 0) {
      if (top.level == TLevel::kHex) hexWellFormed_ = false;
      if (IsDocumentObject(top.level)) Fail(frames_.size() - 1, false, "unknown member", &name);
    }
    return true;
  }

  bool end_object() override {
    if (frames_.back().level == TLevel::kHex) EndHex();
    EndStructPart();
    frames_.pop_back();
    return true;
  }

  bool start_array(std::size_t) override {
    TLevel next = TLevel::kOtherArray;
    if (frames_.empty()) {
      Fail(0, false, "expected an object");
    } else if (InStruct(frames_.back().level)) {
      next = TLevel::kStructPart;
      structOpen_.push_back(&AddToStruct(Json::array()));
    } else if (TFrame& top = frames_.back(); IsList(top.level)) {
      ++top.item;
      Fail(frames_.size(), false, "expected an object");
    } else if (const TMember* member = Expecting()) {
      if (std::holds_alternative<TListOf>(member->value)) {
        next = TLevel::kList;
      } else {
        Fail(frames_.size() - 1, true, Expected(*member));
      }
    } else if (top.level == TLevel::kHex) {
      hexWellFormed_ = false;
    }
    frames_.emplace_back(next);
    return true;
  }

  bool end_array() override {
    EndStructPart();
    frames_.pop_back();
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const Json::exception& e) override {
    syntaxError_ = e.what();
    return false;
  }

 private:
  struct TFrame {
    explicit TFrame(TLevel l) : level(l) {}
    TLevel level;
    int member = -1;      // an object's member whose value comes next, by its place
                          // in Members(level); -1 for one the level does not know
    long long item = -1;  // a list's item being read
    uint64_t seen = 0;    // an object's known members met so far, one bit each
    std::unique_ptr<std::set<std::string>> others;  // and the other names met
  };

  // The member of a document object whose value comes next; null when none
  // is being read.
  const TMember* Expecting() const {
    const TFrame& top = frames_.back();
    if (!IsDocumentObject(top.level) || top.member < 0) return nullptr;
    return &Members(top.level)[static_cast<size_t>(top.member)];
  }

  // Adds the item that a list's new object fills: the list is the value of
  // the current member of the object just below it.
  TLevel StartItem() {
    return std::get<TListOf>(MemberAt(frames_.size() - 2)->value).addItem(targets_);
  }

  bool Scalar(TScalar value) {
    if (frames_.empty()) {
      Fail(0, false, "expected an object");
      return true;
    }
    TFrame& top = frames_.back();
    if (IsList(top.level)) {
      ++top.item;
      Fail(frames_.size(), false, "expected an object");
    } else if (InStruct(top.level)) {
      AddToStruct(JsonOf(value));
    } else if (top.level == TLevel::kHex) {
      if (top.member == 0 && value.type == TScalar::kString) {
        hex_ = std::move(*value.text);
      } else {
        hexWellFormed_ = false;
      }
    } else if (const TMember* member = Expecting()) {
      Assign(*member, value);
    }
    return true;
  }

  void Assign(const TMember& member, TScalar& value) {
    const size_t depth = frames_.size() - 1;
    const bool text = value.type == TScalar::kString;
    if (const TTextSetter* set = std::get_if<TTextSetter>(&member.value); set && text) {
      (*set)(targets_, std::move(*value.text));
    } else if (const TFlagSetter* flag = std::get_if<TFlagSetter>(&member.value);
               flag && value.type == TScalar::kBoolean) {
      (*flag)(targets_, value.flag);
    } else if (const TIntegerSetter* integer = std::get_if<TIntegerSetter>(&member.value);
               integer && (value.type == TScalar::kSigned || value.type == TScalar::kUnsigned)) {
      // An unsigned number above the signed range would wrap round to a
      // negative one if read as signed.
      const bool tooLarge = value.type == TScalar::kUnsigned && value.natural > LLONG_MAX;
      const long long v =
          value.type == TScalar::kSigned ? value.integer : static_cast<long long>(value.natural);
      if (tooLarge || v < integer->low || v > integer->high) {
        Fail(depth, true, "out of range");
      } else {
        integer->set(targets_, v);
      }
    } else if (const TCategorySetter* category = std::get_if<TCategorySetter>(&member.value);
               category && text && (*value.text == "ecInclude" || *value.text == "ecExclude")) {
      (*category)(targets_, *value.text == "ecInclude" ? ecInclude : ecExclude);
    } else {
      Fail(depth, true, Expected(member));
    }
  }

  // A text's {"hex": "..."} has ended: exactly that one member, a string of
  // hexadecimal pairs, makes the text.
  void EndHex() {
    const TFrame& hex = frames_.back();
    const size_t owner = frames_.size() - 2;
    const TMember& member = *MemberAt(owner);
    std::string bytes;
    if (!hexWellFormed_ || !(hex.seen & 1u)) {
      Fail(owner, true, Expected(member));
    } else if (const char* problem = FromHex(hex_, bytes)) {
      Fail(owner, true, problem);
    } else {
      std::get<TTextSetter>(member.value)(targets_, std::move(bytes));
    }
    hex_ = std::string();
  }

  // Puts a value into the tree being read, in the open object (under the
  // last key) or array, and returns it there.
  Json& AddToStruct(Json value) {
    Json& open = *structOpen_.back();
    if (open.is_array()) {
      open.push_back(std::move(value));
      return open.back();
    }
    return open[structKey_] = std::move(value);
  }

  static Json JsonOf(const TScalar& value) {
    switch (value.type) {
      case TScalar::kBoolean:
        return value.flag;
      case TScalar::kSigned:
        return value.integer;
      case TScalar::kUnsigned:
        return value.natural;
      case TScalar::kFloat:
        return 0.5;  // no stored value takes one; only its kind matters
      case TScalar::kString:
        return std::move(*value.text);
      default:
        return nullptr;
    }
  }

  // An object or array inside a value read whole has ended; when it is the
  // value itself, it goes to its member's setter.
  void EndStructPart() {
    const TLevel level = frames_.back().level;
    if (level == TLevel::kStructPart) {
      structOpen_.pop_back();
    } else if (level == TLevel::kStruct) {
      const size_t owner = frames_.size() - 2;
      const TMember& member = *MemberAt(owner);
      if (const char* problem = std::get<TStructSetter>(member.value).set(targets_, struct_)) {
        Fail(owner, true, problem);
      }
      struct_ = Json();
      structOpen_.clear();
    }
  }

  const TMember* MemberAt(size_t depth) const {
    const TFrame& frame = frames_[depth];
    return &Members(frame.level)[static_cast<size_t>(frame.member)];
  }

  // A problem of the document's shape: the object at depth (for an item of a
  // list that is not an object, the depth just below the list) is wrong as a
  // whole, or, when atMember, the value of its current member is. Of several,
  // the one named must not depend on the order of the members in the text:
  // an object's unknown member names come before its values, its members in
  // the order of Members(), and the items of a list in turn. Each problem's
  // place is ranked so, and the lowest rank is kept.
  void Fail(size_t depth, bool atMember, const char* what, const std::string* name = nullptr) {
    rank_.clear();
    for (size_t i = 0; i < depth; ++i) {
      const TFrame& f = frames_[i];
      if (IsList(f.level)) {
        rank_.push_back(f.item);
      } else {
        rank_.push_back(1);
        rank_.push_back(f.member);
      }
    }
    if (atMember) {
      rank_.push_back(1);
      rank_.push_back(frames_[depth].member);
    } else {
      rank_.push_back(0);
    }
    if (!problem_.empty() && !(rank_ < problemRank_)) return;
    problemRank_.swap(rank_);
    std::string where = "$";
    for (size_t i = 0; i < depth + (atMember ? 1 : 0); ++i) {
      const TFrame& f = frames_[i];
      if (IsList(f.level)) {
        where += "[" + std::to_string(f.item) + "]";
      } else {
        where += std::string(".") + MemberAt(i)->name;
      }
    }
    problem_ = "Invalid settings JSON at " + where + ": " + what;
    if (name) problem_ += " \"" + *name + "\"";
  }

  TTargets targets_;
  std::vector<TFrame> frames_;  // one for each object or array open
  std::string hex_;             // the digits of the {"hex": ...} being read
  Json struct_;                 // a value read whole, so far
  std::vector<Json*> structOpen_;  // its objects and arrays open, outermost first
  std::string structKey_;          // the name of the member whose value comes next there
  bool hexWellFormed_ = true;   // and nothing but one string in it so far
  std::string syntaxError_;
  std::optional<std::string> repeated_;
  std::string problem_;
  std::vector<long long> problemRank_, rank_;
};

}  // namespace

Json TextToJson(const std::string& text) {
  if (IsValidUtf8(text)) return text;
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(text.size() * 2);
  for (const char c : text) {
    hex += digits[static_cast<unsigned char>(c) >> 4];
    hex += digits[static_cast<unsigned char>(c) & 15];
  }
  return Json{{"hex", hex}};
}

Json ScheduleToJson(const TSchedule& schedule) {
  Json days = Json::array();
  for (int day = 0; day < 7; ++day) {
    if (schedule.On(day)) days.push_back(kDayNames[day]);
  }
  return Json{{"At", ScheduleTimeText(schedule)}, {"Days", std::move(days)}};
}

const char* ScheduleFromJson(const Json& json, TSchedule& schedule) {
  if (!json.is_object()) return "expected an object";
  TSchedule read;
  for (const auto& [name, value] : json.items()) {
    if (name == "At") {
      const std::optional<int> minute =
          value.is_string() ? ParseScheduleTime(value.get_ref<const std::string&>()) : std::nullopt;
      if (!minute) return "\"At\" expected a time \"HH:MM\" from 00:00 to 23:59";
      read.minuteOfDay = *minute;
    } else if (name == "Days") {
      if (!value.is_array() || value.empty()) return "\"Days\" expected an array of day names";
      read.days = 0;
      for (const Json& day : value) {
        const std::optional<int> d =
            day.is_string() ? ParseDayName(day.get_ref<const std::string&>()) : std::nullopt;
        if (!d) return "\"Days\" expected \"mon\", \"tue\", \"wed\", \"thu\", \"fri\", \"sat\" or \"sun\"";
        if (read.On(*d)) return "\"Days\" names a day twice";
        read.days |= static_cast<uint8_t>(1u << *d);
      }
    } else {
      return "unknown member of the schedule";
    }
  }
  if (!read.Set()) return "the schedule has no \"At\"";
  schedule = read;
  return nullptr;
}

namespace {

struct TKeepMember {
  const char* name;
  int TKeepRules::*rule;
};
constexpr TKeepMember kKeepMembers[] = {{"Last", &TKeepRules::last},
                                        {"Daily", &TKeepRules::daily},
                                        {"Weekly", &TKeepRules::weekly},
                                        {"Monthly", &TKeepRules::monthly}};

}  // namespace

Json KeepRulesToJson(const TKeepRules& rules) {
  Json json = Json::object();
  for (const TKeepMember& member : kKeepMembers) {
    if (rules.*member.rule != 0) json[member.name] = rules.*member.rule;
  }
  return json;
}

const char* KeepRulesFromJson(const Json& json, TKeepRules& rules) {
  if (!json.is_object()) return "expected an object";
  TKeepRules read;
  for (const auto& [name, value] : json.items()) {
    const TKeepMember* member = nullptr;
    for (const TKeepMember& m : kKeepMembers) {
      if (name == m.name) member = &m;
    }
    if (member == nullptr) return "unknown member of the keep rules";
    if (!value.is_number_integer() || value.get<int64_t>() < 0 ||
        value.get<int64_t>() > kKeepMost) {
      return "a keep rule expected a whole number from 0 to 99999";
    }
    read.*member->rule = value.get<int>();
  }
  rules = read;
  return nullptr;
}

Json PasswordPlaceToJson(const TPasswordPlace& place) {
  switch (place.keptIn) {
    case TPasswordKeeping::pkKeyring:
      return Json{{"KeptIn", "keyring"}};
    case TPasswordKeeping::pkFile:
      return Json{{"KeptIn", "file"}, {"File", TextToJson(place.file)}};
    case TPasswordKeeping::pkNone:
      break;
  }
  return Json::object();
}

const char* PasswordPlaceFromJson(const Json& json, TPasswordPlace& place) {
  if (!json.is_object()) return "expected an object";
  TPasswordPlace read;
  bool keptIn = false;
  for (const auto& [name, value] : json.items()) {
    if (!value.is_string()) return "the password's place expected texts";
    const std::string& text = value.get_ref<const std::string&>();
    if (name == "KeptIn") {
      keptIn = true;
      if (text == "keyring") {
        read.keptIn = TPasswordKeeping::pkKeyring;
      } else if (text == "file") {
        read.keptIn = TPasswordKeeping::pkFile;
      } else {
        return "\"KeptIn\" expected \"keyring\" or \"file\"";
      }
    } else if (name == "File") {
      read.file = text;
    } else {
      return "unknown member of the password's place";
    }
  }
  if (!keptIn) return "the password's place has no \"KeptIn\"";
  if ((read.keptIn == TPasswordKeeping::pkFile) != !read.file.empty()) {
    return read.file.empty() ? "a password file needs its \"File\""
                             : "only a password file has a \"File\"";
  }
  place = read;
  return nullptr;
}

namespace {

template <class Input>
void Parse(Input&& input, TbkManager& manager) {
  try {
    TJsonReader reader(manager);
    Json::sax_parse(std::forward<Input>(input), &reader);
    reader.Check();
  } catch (const std::bad_alloc&) {
    // What was read is let go first: making the message needs memory too.
    manager.Directories()->Clear();
    manager.Rules()->Clear();
    throw Exception("Not enough memory to read the settings JSON");
  }
  // A directory whose job would always be refused is not let in, as the
  // directory dialog does not let it in: better told now than at every run.
  const TbkDirectories& directories = *manager.Directories();
  for (int i = 0; i < directories.Count(); ++i) {
    const std::string& path = directories.Items(i)->Path();
    const std::string problem = PathProblem(path);
    if (!problem.empty()) {
      throw Exception("Cannot import directory " + std::to_string(i + 1) + " \"" + path +
                      "\": " + problem);
    }
  }
}

}  // namespace

void ParseSettingsJson(const std::string& text, TbkManager& manager) {
  Parse(text, manager);
}

void ParseSettingsJson(std::istream& in, TbkManager& manager) {
  // The parser takes one character at a time; standard input, as the C
  // library shares it, would make each of them a call of its own.
  class TBuffered final : public std::streambuf {
   public:
    explicit TBuffered(std::streambuf& source) : source_(source) {}

   protected:
    int_type underflow() override {
      const std::streamsize n = source_.sgetn(buffer_, sizeof buffer_);
      if (n <= 0) return traits_type::eof();
      setg(buffer_, buffer_, buffer_ + n);
      return traits_type::to_int_type(buffer_[0]);
    }

   private:
    std::streambuf& source_;
    char buffer_[1 << 16];
  };
  TBuffered buffered(*in.rdbuf());
  std::istream stream(&buffered);
  Parse(stream, manager);
}

}  // namespace pw
