// Writing the settings document as JSON item by item, in the layout that
// nlohmann's dump(2) gives, so that a document of a million directories does
// not need a second, much larger copy of itself as a JSON tree.
#include <vector>

#include "cli/SettingsJson.h"
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

void Directory(JsonStreamer& json, const TbkDirectory& d) {
  json.Item();
  json.Begin('{');
  json.Member("RuleName", TextToJson(d.RuleName()));
  json.Member("Path", TextToJson(d.Path()));
  json.Member("NeedArchive", d.NeedArchive());
  json.Member("ArchiveFileName", TextToJson(d.ArchiveFileName()));
  json.End('}');
}

void Rule(JsonStreamer& json, const TbkRule& r) {
  json.Item();
  json.Begin('{');
  json.Member("Name", TextToJson(r.Name()));
  json.Member("Caption", TextToJson(r.Caption()));
  json.Member("Category", CategoryName(r.Category()));
  json.Key("Extensions");
  json.Begin('[');
  for (int k = 0; k < r.Extensions()->Count(); ++k) {
    const TbkExtension& e = *r.Extensions()->Items(k);
    json.Item();
    json.Begin('{');
    json.Member("Ext", TextToJson(e.Ext()));
    json.Member("Active", e.Active());
    json.Member("Category1", CategoryName(e.Category1()));
    json.Member("TotalSize", e.TotalSize());
    json.Member("ProgramCaption", TextToJson(e.ProgramCaption()));
    json.End('}');
  }
  json.End(']');
  json.End('}');
}

}  // namespace

void WriteDocumentJson(const TbkManager& m, std::ostream& out) {
  JsonStreamer json(out);
  json.Begin('{');
  json.Member("PacketwrightSettings", kJsonFormatVersion);
  json.Member("Tag", m.Tag());
  json.Member("OutputPath", TextToJson(m.OutputPath()));
  json.Member("ArchiverExeFileName", TextToJson(m.ArchiverExeFileName()));
  json.Member("ArchiverParams", TextToJson(m.ArchiverParams()));
  json.Member("SubDirNamePattern", TextToJson(m.SubDirNamePattern()));
  json.Member("ExcludeKey", TextToJson(m.ExcludeKey()));
  json.Key("Directories");
  json.Begin('[');
  for (int i = 0; i < m.Directories()->Count(); ++i) Directory(json, *m.Directories()->Items(i));
  json.End(']');
  json.Key("Rules");
  json.Begin('[');
  for (int i = 0; i < m.Rules()->Count(); ++i) Rule(json, *m.Rules()->Items(i));
  json.End(']');
  json.Member("Left", m.Left());
  json.Member("Top", m.Top());
  json.End('}');
  out << '\n';
  if (!out.flush()) throw EWriteError("Stream write error");
}

}  // namespace pw
