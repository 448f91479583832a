#include "cli/SettingsJson.h"

#include <climits>

#include "archiver/ArchiveJob.h"
#include "platform/Errors.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

[[noreturn]] void Invalid(const std::string& where, const std::string& what) {
  throw Exception("Invalid settings JSON at " + where + ": " + what);
}

// Reads the members of one object, refusing any it does not know.
class Reader {
 public:
  Reader(const Json& object, std::string where) : object_(object), where_(std::move(where)) {
    if (!object_.is_object()) Invalid(where_, "expected an object");
  }

  void Known(std::initializer_list<const char*> names) const {
    for (const auto& [key, value] : object_.items()) {
      bool found = false;
      for (const char* name : names) found = found || key == name;
      if (!found) Invalid(where_, "unknown member \"" + key + "\"");
    }
  }

  template <class Set>
  void Text(const char* name, Set set) const {
    const Json* v = Find(name);
    if (!v) return;
    if (v->is_string()) {
      set(v->get<std::string>());
      return;
    }
    if (v->is_object() && v->size() == 1 && v->contains("hex") && (*v)["hex"].is_string()) {
      set(FromHex((*v)["hex"].get<std::string>(), Where(name)));
      return;
    }
    Invalid(Where(name), "expected a string or {\"hex\": ...}");
  }

  template <class Set>
  void Boolean(const char* name, Set set) const {
    const Json* v = Find(name);
    if (!v) return;
    if (!v->is_boolean()) Invalid(Where(name), "expected true or false");
    set(v->get<bool>());
  }

  template <class Set>
  void Integer(const char* name, long long low, long long high, Set set) const {
    const Json* v = Find(name);
    if (!v) return;
    if (!v->is_number_integer()) Invalid(Where(name), "expected an integer");
    // An unsigned number above the signed range would wrap round to a
    // negative one if read as signed.
    const bool tooLarge = v->is_number_unsigned() && v->get<unsigned long long>() > LLONG_MAX;
    const long long value = tooLarge ? 0 : v->get<long long>();
    if (tooLarge || value < low || value > high) Invalid(Where(name), "out of range");
    set(value);
  }

  template <class Set>
  void Category(const char* name, Set set) const {
    const Json* v = Find(name);
    if (!v) return;
    if (*v == "ecInclude") {
      set(ecInclude);
    } else if (*v == "ecExclude") {
      set(ecExclude);
    } else {
      Invalid(Where(name), "expected \"ecInclude\" or \"ecExclude\"");
    }
  }

  template <class ReadItem>
  void List(const char* name, ReadItem readItem) const {
    const Json* v = Find(name);
    if (!v) return;
    if (!v->is_array()) Invalid(Where(name), "expected an array");
    for (size_t i = 0; i < v->size(); ++i) {
      readItem(Reader((*v)[i], Where(name) + "[" + std::to_string(i) + "]"));
    }
  }

 private:
  const Json* Find(const char* name) const {
    const auto found = object_.find(name);
    return found == object_.end() ? nullptr : &*found;
  }
  std::string Where(const char* name) const { return where_ + "." + name; }

  static std::string FromHex(const std::string& hex, const std::string& where) {
    auto nibble = [&](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      Invalid(where, "not a hexadecimal digit");
    };
    if (hex.size() % 2) Invalid(where, "odd number of hexadecimal digits");
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
      bytes += static_cast<char>(nibble(hex[i]) * 16 + nibble(hex[i + 1]));
    }
    return bytes;
  }

  const Json& object_;
  std::string where_;
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

void JsonToDocument(const Json& json, TbkManager& m) {
  const Reader root(json, "$");
  root.Known({"PacketwrightSettings", "Tag", "OutputPath", "ArchiverExeFileName", "ArchiverParams",
              "SubDirNamePattern", "ExcludeKey", "Directories", "Rules", "Left", "Top"});
  root.Integer("PacketwrightSettings", kJsonFormatVersion, kJsonFormatVersion, [](long long) {});
  root.Integer("Tag", INT32_MIN, INT32_MAX,
               [&](long long v) { m.SetTag(static_cast<int32_t>(v)); });
  root.Text("OutputPath", [&](std::string v) { m.SetOutputPath(std::move(v)); });
  root.Text("ArchiverExeFileName", [&](std::string v) { m.SetArchiverExeFileName(std::move(v)); });
  root.Text("ArchiverParams", [&](std::string v) { m.SetArchiverParams(std::move(v)); });
  root.Text("SubDirNamePattern", [&](std::string v) { m.SetSubDirNamePattern(std::move(v)); });
  root.Text("ExcludeKey", [&](std::string v) { m.SetExcludeKey(std::move(v)); });
  root.List("Directories", [&](const Reader& item) {
    item.Known({"RuleName", "Path", "NeedArchive", "ArchiveFileName"});
    TbkDirectory* d = m.Directories()->Add();
    item.Text("RuleName", [&](std::string v) { d->SetRuleName(std::move(v)); });
    item.Text("Path", [&](std::string v) { d->SetPath(std::move(v)); });
    item.Boolean("NeedArchive", [&](bool v) { d->SetNeedArchive(v); });
    item.Text("ArchiveFileName", [&](std::string v) { d->SetArchiveFileName(std::move(v)); });
  });
  root.List("Rules", [&](const Reader& item) {
    item.Known({"Name", "Caption", "Category", "Extensions"});
    TbkRule* r = m.Rules()->Add();
    item.Text("Name", [&](std::string v) { r->SetName(std::move(v)); });
    item.Text("Caption", [&](std::string v) { r->SetCaption(std::move(v)); });
    item.Category("Category", [&](TExtensionCategory v) { r->SetCategory(v); });
    item.List("Extensions", [&](const Reader& mask) {
      mask.Known({"Ext", "Active", "Category1", "TotalSize", "ProgramCaption"});
      TbkExtension* e = r->Extensions()->Add();
      mask.Text("Ext", [&](std::string v) { e->SetExt(std::move(v)); });
      mask.Boolean("Active", [&](bool v) { e->SetActive(v); });
      mask.Category("Category1", [&](TExtensionCategory v) { e->SetCategory1(v); });
      mask.Integer("TotalSize", INT32_MIN, INT32_MAX,
                   [&](long long v) { e->SetTotalSize(static_cast<int32_t>(v)); });
      mask.Text("ProgramCaption", [&](std::string v) { e->SetProgramCaption(std::move(v)); });
    });
  });
  root.Integer("Left", 0, 65535, [&](long long v) { m.SetLeft(static_cast<uint16_t>(v)); });
  root.Integer("Top", 0, 65535, [&](long long v) { m.SetTop(static_cast<uint16_t>(v)); });
}

void ParseSettingsJson(const std::string& text, TbkManager& manager) {
  Json json;
  try {
    json = Json::parse(text);
  } catch (const Json::exception& e) {
    // Syntax errors and numbers beyond a double's range alike; a message
    // that quotes a runaway token is cut short.
    std::string what = e.what();
    if (what.size() > 300) what = what.substr(0, 300) + "...";
    throw Exception("Invalid settings JSON: " + what);
  } catch (const std::bad_alloc&) {
    throw Exception("Not enough memory to read the settings JSON");
  }
  JsonToDocument(json, manager);
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

}  // namespace pw
