// Writing the settings document as a property stream and reading one back
// into an existing manager.
#include <cstdint>
#include <memory>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "model/HoardkeeperClasses.h"
#include "model/SettingsStream.h"
#include "model/StoredProperties.h"
#include "platform/Errors.h"
#include "platform/LocaleCompare.h"
#include "platform/SafeFile.h"
#include "platform/Streams.h"

namespace pw {

namespace {

constexpr char kSignature[4] = {'T', 'P', 'F', '0'};

[[noreturn]] void InvalidValue() {
  throw EReadError("Invalid property value");
}

// The names of Owner's stored properties in their table's order, each
// measured once.
template <class Owner>
const std::vector<std::string_view>& StoredNames() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> measured;
    for (const TStoredProperty<Owner>& property : StoredProperties<Owner>()) {
      measured.emplace_back(property.name);
    }
    return measured;
  }();
  return names;
}

template <class Owner>
std::string_view NameOf(const TStoredProperty<Owner>& property) {
  return StoredNames<Owner>()[static_cast<size_t>(&property - StoredProperties<Owner>().data())];
}

// ---- Writing ----------------------------------------------------------------

class DocumentWriter {
 public:
  explicit DocumentWriter(TStream& stream) : out_(stream) {}

  void Write(const TbkManager& manager) {
    out_.WriteBytes(kSignature, sizeof kSignature);
    out_.WriteShortString(manager.ClassName());
    out_.WriteShortString("");
    Properties(manager);
    out_.WriteTag(stEnd);
    out_.WriteTag(stEnd);
    out_.FlushBuffer();
  }

 private:
  // Every property of the table in its order, but a value equal to its
  // stream default.
  template <class Owner>
  void Properties(const Owner& owner) {
    ForEachStoredProperty<Owner>([&](const auto& property, const auto& access) {
      if constexpr (kIsStoredList<std::decay_t<decltype(access)>>) {
        out_.WriteShortString(NameOf(property));
        List(*(owner.*access.get)());
      } else {
        const auto& value = (owner.*access.get)();
        if (access.streamDefault && value == *access.streamDefault) return;
        out_.WriteShortString(NameOf(property));
        Value(value);
      }
    });
  }

  template <class T>
  void Value(const T& value) {
    if constexpr (std::is_same_v<T, std::string>) {
      out_.WriteText(value);
    } else if constexpr (std::is_same_v<T, bool>) {
      out_.WriteTag(value ? stTrue : stFalse);
    } else if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, uint16_t>) {
      out_.WriteInteger(value);
    } else if constexpr (std::is_same_v<T, TExtensionCategory>) {
      out_.WriteTag(stIdent);
      out_.WriteShortString(CategoryName(value));
    } else if constexpr (std::is_same_v<T, TSchedule>) {
      out_.WriteText(ScheduleText(value));
    } else if constexpr (std::is_same_v<T, TKeepRules>) {
      out_.WriteText(KeepRulesText(value));
    } else if constexpr (std::is_same_v<T, TPasswordPlace>) {
      out_.WriteText(PasswordPlaceText(value));
    } else {
      static_assert(kUnhandledStoredType<T>);
    }
  }

  template <class L>
  void List(const L& list) {
    out_.WriteTag(stCollection);
    for (int i = 0; i < list.Count(); ++i) {
      out_.WriteTag(stList);
      Properties(*list.Items(i));
      out_.WriteTag(stEnd);
    }
    out_.WriteTag(stEnd);
  }

  TStreamWriter out_;
};

// ---- Reading ----------------------------------------------------------------

// Owner's property of that name, letter case ignored; looked for at next
// first, then from the top. next moves past the one found.
template <class Owner>
const TStoredProperty<Owner>* FindStoredProperty(std::string_view name, size_t& next) {
  const std::span<const TStoredProperty<Owner>> properties = StoredProperties<Owner>();
  const std::vector<std::string_view>& names = StoredNames<Owner>();
  for (size_t k = 0; k < properties.size(); ++k) {
    const size_t i = (next + k) % properties.size();
    if (name.size() == names[i].size() && SameTextAscii(name, names[i])) {
      next = i + 1;
      return &properties[i];
    }
  }
  return nullptr;
}

// The length of the mask list value at the start of bytes, when it is a
// collection in the form this program writes: tags and names as the reader
// below accepts them, values of the one tag each that the writer uses. 0 for
// anything else, for data that ends first, and for every fault, which the
// reader then finds and names. any tells whether the list holds a mask.
size_t PassOverMasks(std::string_view bytes, bool& any) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint8_t* const end = p + bytes.size();
  auto have = [&](size_t n) { return static_cast<size_t>(end - p) >= n; };
  auto shortString = [&](std::string_view& text) {
    if (!have(1) || !have(size_t{1} + *p)) return false;
    text = std::string_view(reinterpret_cast<const char*>(p + 1), *p);
    p += 1 + *p;
    return true;
  };
  auto textValue = [&] {
    if (!have(1)) return false;
    if (*p == stString) {
      std::string_view text;
      return ++p, shortString(text);
    }
    if (*p != stLongString || !have(5)) return false;
    const uint32_t length = p[1] | p[2] << 8 | p[3] << 16 | uint32_t{p[4]} << 24;
    p += 5;
    if (length > INT32_MAX || !have(length)) return false;
    p += length;
    return true;
  };
  // A mask property's value in the one form the writer gives its type; a
  // mask that holds a list is read at once.
  auto value = [&]<class Access>(const Access&) {
    if constexpr (kIsStoredList<Access>) {
      return false;
    } else {
      using T = typename Access::Type;
      if constexpr (std::is_same_v<T, std::string>) {
        return textValue();
      } else if constexpr (std::is_same_v<T, bool>) {
        const bool flag = *p == stFalse || *p == stTrue;
        ++p;
        return flag;
      } else if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, uint16_t>) {
        const size_t width = *p == stInt8 ? 1 : *p == stInt16 ? 2 : *p == stInt32 ? 4 : 0;
        const bool integer = width != 0 && have(1 + width);
        p += integer ? 1 + width : 0;
        return integer;
      } else if constexpr (std::is_same_v<T, TExtensionCategory>) {
        std::string_view ident;
        return *p++ == stIdent && shortString(ident) &&
               (SameTextAscii(ident, "ecInclude") || SameTextAscii(ident, "ecExclude"));
      } else if constexpr (std::is_same_v<T, TSchedule> || std::is_same_v<T, TKeepRules> ||
                           std::is_same_v<T, TPasswordPlace>) {
        return false;  // no mask has one
      } else {
        static_assert(kUnhandledStoredType<T>);
      }
    }
  };
  if (!have(1) || *p++ != stCollection) return 0;
  any = false;
  for (;;) {
    if (!have(1)) return 0;
    if (*p == stEnd) break;
    if (*p++ != stList) return 0;
    any = true;
    size_t next = 0;
    for (;;) {
      if (!have(1)) return 0;
      if (*p == stEnd) break;
      std::string_view name;
      if (!shortString(name) || !have(1)) return 0;
      const TStoredProperty<TbkExtension>* property = FindStoredProperty<TbkExtension>(name, next);
      if (!property || !std::visit(value, property->access)) return 0;
    }
    ++p;  // the end of the mask
  }
  ++p;  // the end of the list
  return static_cast<size_t>(p - reinterpret_cast<const uint8_t*>(bytes.data()));
}

class DocumentReader {
 public:
  explicit DocumentReader(TStreamReader& in) : in_(in) {}

  void Read(TbkManager& manager) {
    if (in_.ReadBytes(sizeof kSignature) != std::string_view(kSignature, sizeof kSignature)) {
      throw EReadError("Invalid stream format");
    }
    if (in_.PeekByte() >= 0xF0) {
      const uint8_t flags = in_.ReadByte();
      if (flags & 2) Integer();
    }
    in_.ReadShortString();  // class name, not checked
    const std::string_view name = in_.ReadShortString();
    if (!name.empty()) manager.SetName(std::string(name));
    size_t next = 0;
    while (in_.PeekByte() != stEnd) {
      Property(manager.Name().empty() ? manager.ClassName() : manager.Name().c_str(),
               [&](std::string_view p) {
                 if (StoredProperty(manager, p, next)) return true;
                 // The root's name, which the header holds as well.
                 if (SameTextAscii(p, "Name")) return manager.SetName(Text()), true;
                 return false;
               });
    }
    in_.ReadByte();
    if (in_.ReadByte() != stEnd) {
      throw EReadError("A settings file holds no child objects, but this one does");
    }
  }

 private:
  // One property record: the name, then the value read by readValue, which
  // returns false when the object has no such property. The name is looked
  // at only before the value is read; an error's message takes it from the
  // reader again.
  template <class ReadValue>
  void Property(const char* objectName, ReadValue readValue) {
    const size_t at = in_.Offset() + 1;
    const std::string_view name = in_.ReadShortString();
    const size_t length = name.size();
    try {
      if (!readValue(name)) {
        SkipValue();
        throw EReadError("Property does not exist");
      }
    } catch (Exception& e) {
      e.SetMessage(std::string("Error reading ") + objectName + "." +
                   std::string(in_.BytesAt(at, length)) + ": " + e.Message());
      throw;
    }
  }

  template <class ReadValue>
  void Properties(const char* className, ReadValue readValue) {
    while (in_.PeekByte() != stEnd) Property(className, readValue);
    in_.ReadByte();
  }

  // Reads the value of owner's property p, when owner has one of that name.
  // next is where the table is looked at first: past the property found
  // last, which is where the next one stands in a file this program wrote.
  template <class Owner>
  bool StoredProperty(Owner& owner, std::string_view p, size_t& next) {
    const TStoredProperty<Owner>* property = FindStoredProperty<Owner>(p, next);
    if (!property) return false;
    std::visit([&](const auto& access) { Read(owner, access); }, property->access);
    return true;
  }

  template <class Owner, class Access>
  void Read(Owner& owner, const Access& access) {
    if constexpr (std::is_same_v<Access, TStoredList<TbkRule, TbkExtensions>>) {
      DeferMasks(owner);
    } else if constexpr (kIsStoredList<Access>) {
      Items((owner.*access.get)());
    } else {
      (owner.*access.set)(Value<typename Access::Type>());
    }
  }

  template <class T>
  T Value() {
    if constexpr (std::is_same_v<T, std::string>) {
      return Text();
    } else if constexpr (std::is_same_v<T, bool>) {
      return Boolean();
    } else if constexpr (std::is_same_v<T, int32_t>) {
      return Integer();
    } else if constexpr (std::is_same_v<T, uint16_t>) {
      return static_cast<uint16_t>(Integer());
    } else if constexpr (std::is_same_v<T, TExtensionCategory>) {
      return Category();
    } else if constexpr (std::is_same_v<T, TSchedule>) {
      const std::optional<TSchedule> schedule = ParseSchedule(TextView());
      if (!schedule) InvalidValue();
      return *schedule;
    } else if constexpr (std::is_same_v<T, TKeepRules>) {
      const std::optional<TKeepRules> rules = ParseKeepRules(TextView());
      if (!rules) InvalidValue();
      return *rules;
    } else if constexpr (std::is_same_v<T, TPasswordPlace>) {
      const std::optional<TPasswordPlace> place = ParsePasswordPlace(TextView());
      if (!place) InvalidValue();
      return *place;
    } else {
      static_assert(kUnhandledStoredType<T>);
    }
  }

  // Reads a list value into list, each item with its class's properties.
  template <class L>
  void Items(L* list) {
    List(list, [this](auto* item) {
      size_t next = 0;
      Properties(item->ClassName(),
                 [=, this, &next](std::string_view q) { return StoredProperty(*item, q, next); });
    });
  }

  // Masks in the form this program writes are only passed over now and built
  // when first used; any other form, faulty ones included, is read at once,
  // so that errors and what is read before them stay as they always were.
  void DeferMasks(TbkRule& r) {
    const size_t begin = in_.Offset();
    bool any = false;
    if (const size_t length = PassOverMasks(in_.Available(), any)) {
      in_.SkipBytes(length);
      if (any) r.DeferExtensions(std::make_unique<StoredMasks>(in_.Bytes(), begin, in_.Offset()));
    } else {
      Items(r.Extensions());
    }
  }

  // A masks list value left in the bytes it was read from.
  class StoredMasks final : public TDeferredExtensions {
   public:
    StoredMasks(std::shared_ptr<const TStreamBytes> bytes, size_t begin, size_t end)
        : bytes_(std::move(bytes)), begin_(begin), end_(end) {}
    void Build(TbkExtensions& into) const override {
      TStreamReader in(bytes_, begin_, end_);
      DocumentReader(in).Items(&into);
    }

   private:
    std::shared_ptr<const TStreamBytes> bytes_;
    size_t begin_;
    size_t end_;
  };

  // The view lasts until the next read.
  std::string_view TextView() {
    const uint8_t tag = in_.ReadByte();
    if (tag == stString) return in_.ReadShortString();
    if (tag != stLongString) InvalidValue();
    return in_.ReadBytes(LongStringLength());
  }

  std::string Text() { return std::string(TextView()); }

  // The four-byte length of a long string; a negative one is refused.
  uint64_t LongStringLength() {
    const int32_t length = in_.ReadIntegerPayload(stInt32);
    if (length < 0) InvalidValue();
    return static_cast<uint64_t>(length);
  }

  int32_t Integer() {
    const uint8_t tag = in_.ReadByte();
    if (!IsIntegerTag(tag)) InvalidValue();
    return in_.ReadIntegerPayload(tag);
  }

  // The name that a Boolean or enumeration value is given by.
  std::string_view IdentName() {
    switch (in_.ReadByte()) {
      case stIdent:
        return in_.ReadShortString();
      case stFalse:
        return "False";
      case stTrue:
        return "True";
      case stEnd:
        return "Null";
      case stNil:
        return "nil";
      default:
        InvalidValue();
    }
  }

  bool Boolean() {
    const std::string_view name = IdentName();
    if (SameTextAscii(name, "False")) return false;
    if (SameTextAscii(name, "True")) return true;
    InvalidValue();
  }

  TExtensionCategory Category() {
    const std::string_view name = IdentName();
    if (SameTextAscii(name, "ecInclude")) return ecInclude;
    if (SameTextAscii(name, "ecExclude")) return ecExclude;
    InvalidValue();
  }

  // A list value replaces the list's items only when it holds at least one.
  template <class L, class ReadItem>
  void List(L* list, ReadItem readItem) {
    const uint8_t tag = in_.ReadByte();
    if (tag == stIdent) in_.ReadShortString();
    if (tag == stIdent || tag == stNil || tag == stFalse || tag == stTrue || tag == stEnd) return;
    if (tag != stCollection) InvalidValue();
    if (in_.PeekByte() != stEnd) list->Clear();
    while (in_.PeekByte() != stEnd) {
      if (IsIntegerTag(in_.PeekByte())) Integer();
      auto* item = list->Add();
      if (in_.ReadByte() != stList) InvalidValue();
      readItem(item);
    }
    in_.ReadByte();
  }

  // Passes over one value of any tag of this format without recursing, so
  // that deeply nested input cannot exhaust the stack. A tag the format does
  // not know ends the skip; the caller fails anyway.
  void SkipValue() {
    enum class Frame { kValues, kItems, kProperties };
    std::vector<Frame> open;
    auto start = [&](uint8_t tag) {
      switch (tag) {
        case stInt8:
        case stInt16:
        case stInt32:
          in_.ReadIntegerPayload(tag);
          return true;
        case stString:
        case stIdent:
          in_.SkipBytes(in_.ReadByte());
          return true;
        case stLongString: {
          in_.SkipBytes(LongStringLength());
          return true;
        }
        case stEnd:
        case stFalse:
        case stTrue:
        case stNil:
          return true;
        case stList:
          open.push_back(Frame::kValues);
          return true;
        case stCollection:
          open.push_back(Frame::kItems);
          return true;
        default:
          return false;
      }
    };
    if (!start(in_.ReadByte())) return;
    while (!open.empty()) {
      if (in_.PeekByte() == stEnd) {
        in_.ReadByte();
        open.pop_back();
        continue;
      }
      switch (open.back()) {
        case Frame::kValues:
          if (!start(in_.ReadByte())) return;
          break;
        case Frame::kItems:
          if (IsIntegerTag(in_.PeekByte())) Integer();
          if (in_.ReadByte() != stList) InvalidValue();
          open.push_back(Frame::kProperties);
          break;
        case Frame::kProperties:
          in_.ReadShortString();
          if (!start(in_.ReadByte())) return;
          break;
      }
    }
  }

  TStreamReader& in_;
};

}  // namespace

void TbkManager::SaveToStream(TStream& stream, bool clearModified) {
  DocumentWriter(stream).Write(*this);
  if (clearModified) SetModified(false);
}

void TbkManager::SaveToFile(const std::string& fileName, bool clearModified) {
  // The owner's alone: the paths and the switches are nobody else's business.
  TSafeFileWriter file(fileName, true);
  SaveToStream(file.Stream(), false);
  file.Commit();
  if (clearModified) SetModified(false);
}

void TbkManager::LoadFromStream(TStream& stream) {
  TStreamReader in(stream);
  DocumentReader(in).Read(*this);
}

void TbkManager::LoadFromFile(const std::string& fileName) {
  if (!FileExists(fileName)) return;
  TFileStream file(fileName, TFileStream::TMode::fmOpenRead);
  LoadFromStream(file);
  SetModified(false);
}

}  // namespace pw
