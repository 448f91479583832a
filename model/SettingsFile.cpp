// Writing the settings document as a property stream and reading one back
// into an existing manager.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "model/HoardkeeperClasses.h"
#include "model/SettingsStream.h"
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

// ---- Writing ----------------------------------------------------------------

class DocumentWriter {
 public:
  explicit DocumentWriter(TStream& stream) : out_(stream) {}

  void Write(const TbkManager& manager) {
    out_.WriteBytes(kSignature, sizeof kSignature);
    out_.WriteShortString(manager.ClassName());
    out_.WriteShortString("");
    if (manager.Tag() != 0) Integer("Tag", manager.Tag());
    Text("OutputPath", manager.OutputPath());
    Text("ArchiverExeFileName", manager.ArchiverExeFileName());
    Text("ArchiverParams", manager.ArchiverParams());
    Text("SubDirNamePattern", manager.SubDirNamePattern());
    Text("ExcludeKey", manager.ExcludeKey());
    Name("Directories");
    List(*manager.Directories(), [this](const TbkDirectory& d) { Directory(d); });
    Name("Rules");
    List(*manager.Rules(), [this](const TbkRule& r) { Rule(r); });
    if (manager.Left() != 0) Integer("Left", manager.Left());
    if (manager.Top() != 0) Integer("Top", manager.Top());
    out_.WriteTag(stEnd);
    out_.WriteTag(stEnd);
    out_.FlushBuffer();
  }

 private:
  void Name(const char* name) { out_.WriteShortString(name); }

  void Text(const char* name, const std::string& value) {
    if (value.empty()) return;
    Name(name);
    out_.WriteText(value);
  }

  void Integer(const char* name, int32_t value) {
    Name(name);
    out_.WriteInteger(value);
  }

  void False(const char* name, bool value) {
    if (value) return;
    Name(name);
    out_.WriteTag(stFalse);
  }

  void Category(const char* name, TExtensionCategory value) {
    Name(name);
    out_.WriteTag(stIdent);
    out_.WriteShortString(CategoryName(value));
  }

  template <class L, class WriteItem>
  void List(const L& list, WriteItem writeItem) {
    out_.WriteTag(stCollection);
    for (int i = 0; i < list.Count(); ++i) {
      out_.WriteTag(stList);
      writeItem(*list.Items(i));
      out_.WriteTag(stEnd);
    }
    out_.WriteTag(stEnd);
  }

  void Directory(const TbkDirectory& d) {
    Text("RuleName", d.RuleName());
    Text("Path", d.Path());
    False("NeedArchive", d.NeedArchive());
    Text("ArchiveFileName", d.ArchiveFileName());
  }

  void Rule(const TbkRule& r) {
    Text("Name", r.Name());
    Text("Caption", r.Caption());
    Category("Category", r.Category());
    Name("Extensions");
    List(*r.Extensions(), [this](const TbkExtension& e) { Extension(e); });
  }

  void Extension(const TbkExtension& e) {
    Text("Ext", e.Ext());
    False("Active", e.Active());
    Category("Category1", e.Category1());
    if (e.TotalSize() != INT32_MIN) Integer("TotalSize", e.TotalSize());
    Text("ProgramCaption", e.ProgramCaption());
  }

  TStreamWriter out_;
};

// ---- Reading ----------------------------------------------------------------

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
  if (!have(1) || *p++ != stCollection) return 0;
  any = false;
  for (;;) {
    if (!have(1)) return 0;
    if (*p == stEnd) break;
    if (*p++ != stList) return 0;
    any = true;
    for (;;) {
      if (!have(1)) return 0;
      if (*p == stEnd) break;
      std::string_view name;
      if (!shortString(name) || !have(1)) return 0;
      bool known;
      if (SameTextAscii(name, "Ext") || SameTextAscii(name, "ProgramCaption")) {
        known = textValue();
      } else if (SameTextAscii(name, "Active")) {
        known = *p == stFalse || *p == stTrue;
        ++p;
      } else if (SameTextAscii(name, "Category1")) {
        std::string_view ident;
        known = *p++ == stIdent && shortString(ident) &&
                (SameTextAscii(ident, "ecInclude") || SameTextAscii(ident, "ecExclude"));
      } else if (SameTextAscii(name, "TotalSize")) {
        const size_t width = *p == stInt8 ? 1 : *p == stInt16 ? 2 : *p == stInt32 ? 4 : 0;
        known = width != 0 && have(1 + width);
        p += known ? 1 + width : 0;
      } else {
        known = false;
      }
      if (!known) return 0;
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
    while (in_.PeekByte() != stEnd) {
      Property(manager.Name().empty() ? manager.ClassName() : manager.Name().c_str(),
               [&](std::string_view p) { return ManagerProperty(manager, p); });
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

  bool ManagerProperty(TbkManager& m, std::string_view p) {
    if (SameTextAscii(p, "OutputPath")) return m.SetOutputPath(Text()), true;
    if (SameTextAscii(p, "ArchiverExeFileName")) return m.SetArchiverExeFileName(Text()), true;
    if (SameTextAscii(p, "ArchiverParams")) return m.SetArchiverParams(Text()), true;
    if (SameTextAscii(p, "SubDirNamePattern")) return m.SetSubDirNamePattern(Text()), true;
    if (SameTextAscii(p, "ExcludeKey")) return m.SetExcludeKey(Text()), true;
    if (SameTextAscii(p, "Directories")) {
      return List(m.Directories(), [this](TbkDirectory* d) {
        Properties(d->ClassName(), [=, this](std::string_view q) { return DirectoryProperty(*d, q); });
      }), true;
    }
    if (SameTextAscii(p, "Rules")) {
      return List(m.Rules(), [this](TbkRule* r) {
        Properties(r->ClassName(), [=, this](std::string_view q) { return RuleProperty(*r, q); });
      }), true;
    }
    if (SameTextAscii(p, "Name")) return m.SetName(Text()), true;
    if (SameTextAscii(p, "Tag")) return m.SetTag(Integer()), true;
    if (SameTextAscii(p, "Left")) return m.SetLeft(static_cast<uint16_t>(Integer())), true;
    if (SameTextAscii(p, "Top")) return m.SetTop(static_cast<uint16_t>(Integer())), true;
    return false;
  }

  bool DirectoryProperty(TbkDirectory& d, std::string_view p) {
    if (SameTextAscii(p, "RuleName")) return d.SetRuleName(Text()), true;
    if (SameTextAscii(p, "Path")) return d.SetPath(Text()), true;
    if (SameTextAscii(p, "NeedArchive")) return d.SetNeedArchive(Boolean()), true;
    if (SameTextAscii(p, "ArchiveFileName")) return d.SetArchiveFileName(Text()), true;
    return false;
  }

  bool RuleProperty(TbkRule& r, std::string_view p) {
    if (SameTextAscii(p, "Name")) return r.SetName(Text()), true;
    if (SameTextAscii(p, "Caption")) return r.SetCaption(Text()), true;
    if (SameTextAscii(p, "Category")) return r.SetCategory(Category()), true;
    if (SameTextAscii(p, "Extensions")) return DeferMasks(r), true;
    return false;
  }

  // Reads a mask list value into masks.
  void Masks(TbkExtensions* masks) {
    List(masks, [this](TbkExtension* e) {
      Properties(e->ClassName(), [=, this](std::string_view q) { return MaskProperty(*e, q); });
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
      Masks(r.Extensions());
    }
  }

  bool MaskProperty(TbkExtension& e, std::string_view p) {
    if (SameTextAscii(p, "Ext")) return e.SetExt(Text()), true;
    if (SameTextAscii(p, "Active")) return e.SetActive(Boolean()), true;
    if (SameTextAscii(p, "Category1")) return e.SetCategory1(Category()), true;
    if (SameTextAscii(p, "TotalSize")) return e.SetTotalSize(Integer()), true;
    if (SameTextAscii(p, "ProgramCaption")) return e.SetProgramCaption(Text()), true;
    return false;
  }

  // A masks list value left in the bytes it was read from.
  class StoredMasks final : public TDeferredExtensions {
   public:
    StoredMasks(std::shared_ptr<const TStreamBytes> bytes, size_t begin, size_t end)
        : bytes_(std::move(bytes)), begin_(begin), end_(end) {}
    void Build(TbkExtensions& into) const override {
      TStreamReader in(bytes_, begin_, end_);
      DocumentReader(in).Masks(&into);
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
  TSafeFileWriter file(fileName);
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
