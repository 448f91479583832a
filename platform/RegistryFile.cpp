#include "platform/RegistryFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/Errors.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

[[noreturn]] void Malformed(int line, const std::string& what) {
  throw ERegistryError("Line " + std::to_string(line) + ": " + what);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string Trim(const std::string& s) {
  const size_t start = s.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  const size_t end = s.find_last_not_of(" \t");
  return s.substr(start, end - start + 1);
}

// The root of a key name, and the rest after its backslash. HKEY_CLASSES_ROOT
// is also reached through HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
bool SplitRoot(const std::string& name, TRegistryRoot& root, std::string& rest) {
  const size_t slash = name.find('\\');
  const std::string head = Lower(name.substr(0, slash));
  rest = slash == std::string::npos ? std::string() : name.substr(slash + 1);
  if (head == "hkey_local_machine" || head == "hklm") {
    root = TRegistryRoot::rrLocalMachine;
    const std::string classes = "software\\classes";
    const std::string lower = Lower(rest);
    if (lower == classes || lower.rfind(classes + "\\", 0) == 0) {
      root = TRegistryRoot::rrClassesRoot;
      rest = rest.size() > classes.size() ? rest.substr(classes.size() + 1) : std::string();
    }
    return true;
  }
  if (head == "hkey_classes_root" || head == "hkcr") {
    root = TRegistryRoot::rrClassesRoot;
    return true;
  }
  return false;  // other roots are read but not kept
}

std::vector<unsigned char> HexBytes(const std::string& list, int line) {
  std::vector<unsigned char> bytes;
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) {
    item = Trim(item);
    if (item.empty()) continue;
    if (item.size() > 2 || item.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      Malformed(line, "bad hexadecimal byte \"" + item + "\"");
    }
    bytes.push_back(static_cast<unsigned char>(std::stoi(item, nullptr, 16)));
  }
  return bytes;
}

// Reads a quoted string starting at s[i] == '"'; \\ and \" are its escapes.
std::string QuotedString(const std::string& s, size_t& i, int line) {
  std::string out;
  for (++i; i < s.size(); ++i) {
    if (s[i] == '\\') {
      if (++i >= s.size()) break;
      out += s[i];
    } else if (s[i] == '"') {
      ++i;
      return out;
    } else {
      out += s[i];
    }
  }
  Malformed(line, "unclosed string");
}

}  // namespace

std::string TRegistryFile::Normalize(const std::string& path) {
  std::string p = Lower(path);
  while (!p.empty() && p.back() == '\\') p.pop_back();
  return p;
}

TRegistryFile TRegistryFile::Parse(const std::string& contents) {
  TRegistryFile registry;
  std::string text = contents;
  bool utf16 = false;
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
      static_cast<unsigned char>(text[1]) == 0xFE) {
    // Version 5 files are written in UTF-16 (little-endian); the values
    // become the program's 8-bit texts.
    std::u16string units;
    units.reserve(text.size() / 2);
    for (size_t i = 2; i + 1 < text.size(); i += 2) {
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                            static_cast<unsigned char>(text[i + 1]) << 8));
    }
    text = Utf16ToLocal8Bit(units);
    utf16 = true;
  }
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);

  // Logical lines: a trailing backslash continues a line that holds a value.
  // Whether the line holds "=" is remembered, not searched for again at every
  // continuation, so that a long chain of them costs linear time.
  std::vector<std::pair<int, std::string>> lines;
  bool continues = false;
  size_t start = 0;
  int number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view raw(text.data() + start, end - start);
    start = end + 1;
    ++number;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (continues) {
      std::string& line = lines.back().second;
      line.pop_back();
      line += Trim(std::string(raw));
    } else {
      lines.emplace_back(number, std::string(raw));
    }
    const std::string& line = lines.back().second;
    continues =
        !line.empty() && line.back() == '\\' && (continues || line.find('=') != std::string::npos);
  }

  bool headerSeen = false;
  bool version5 = utf16;
  Key* current = nullptr;  // null inside a key of a root that is not kept
  bool inAnyKey = false;
  for (const auto& [line, content] : lines) {
    const std::string l = Trim(content);
    if (l.empty() || l[0] == ';') continue;
    if (!headerSeen) {
      if (l == "REGEDIT4") {
        version5 = false;
      } else if (l == "Windows Registry Editor Version 5.00") {
        version5 = true;
      } else {
        Malformed(line, "the file does not begin with a registry header");
      }
      headerSeen = true;
      continue;
    }
    if (l[0] == '[') {
      if (l.back() != ']') Malformed(line, "unclosed key name");
      std::string name = l.substr(1, l.size() - 2);
      const bool remove = !name.empty() && name[0] == '-';
      if (remove) name.erase(0, 1);
      TRegistryRoot root;
      std::string rest;
      inAnyKey = true;
      current = nullptr;
      if (!SplitRoot(name, root, rest)) continue;
      const auto id = std::make_pair(root, Normalize(rest));
      if (remove) {
        registry.keys_.erase(id);
      } else {
        current = &registry.keys_[id];
      }
      continue;
    }
    // A value line: @=... or "name"=...
    size_t i = 0;
    bool isDefault = false;
    if (l[0] == '@') {
      isDefault = true;
      i = 1;
    } else if (l[0] == '"') {
      QuotedString(l, i, line);
    } else {
      Malformed(line, "expected a key in brackets or a value");
    }
    while (i < l.size() && (l[i] == ' ' || l[i] == '\t')) ++i;
    if (i >= l.size() || l[i] != '=') Malformed(line, "expected \"=\"");
    const std::string data = Trim(l.substr(i + 1));
    if (!inAnyKey) Malformed(line, "a value before the first key");

    TRegistryValue value;
    value.line = line;
    bool removeValue = false;
    if (!data.empty() && data[0] == '"') {
      size_t k = 0;
      value.text = QuotedString(data, k, line);
      if (!Trim(data.substr(k)).empty()) Malformed(line, "text after the closing quote");
    } else if (data == "-") {
      removeValue = true;
    } else if (Lower(data).rfind("dword:", 0) == 0) {
      const std::string digits = data.substr(6);
      if (digits.empty() || digits.size() > 8 ||
          digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        Malformed(line, "bad dword value");
      }
      value.isText = false;
    } else if (Lower(data).rfind("hex(2):", 0) == 0) {
      const std::vector<unsigned char> bytes = HexBytes(data.substr(7), line);
      if (version5) {
        // UTF-16 units, read as the file's own UTF-16 is read: a pair of
        // surrogates is one character, a lone one "?".
        std::u16string units;
        for (size_t k = 0; k + 1 < bytes.size(); k += 2) {
          units.push_back(static_cast<char16_t>(bytes[k] | bytes[k + 1] << 8));
        }
        while (!units.empty() && units.back() == 0) units.pop_back();
        value.text = Utf16ToLocal8Bit(units);
      } else {
        value.text.assign(bytes.begin(), bytes.end());
        while (!value.text.empty() && value.text.back() == '\0') value.text.pop_back();
      }
    } else if (Lower(data).rfind("hex", 0) == 0) {
      const size_t colon = data.find(':');
      if (colon == std::string::npos) Malformed(line, "bad hexadecimal value");
      HexBytes(data.substr(colon + 1), line);
      value.isText = false;
    } else {
      Malformed(line, "unknown kind of value");
    }
    if (current && isDefault) {
      if (removeValue) {
        current->defaultValue.reset();
      } else {
        current->defaultValue = value;
      }
    }
  }
  return registry;
}

namespace {

// Says what is wrong with the file on standard error, and to the caller who asked.
void Report(const std::string& message, std::string* problem) {
  std::fprintf(stderr, "Packetwright: %s\n", message.c_str());
  if (problem) *problem += (problem->empty() ? "" : "\n") + message;
}

}  // namespace

TRegistryFile TRegistryFile::Load(const std::string& fileName, std::string* problem) {
  if (problem) problem->clear();
  std::error_code error;
  if (!std::filesystem::exists(fileName, error)) return {};
  std::string what;
  try {
    if (!std::filesystem::is_regular_file(fileName, error)) {
      what = "not a file";
    } else {
      std::ifstream in(fileName, std::ios::binary);
      std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!in.good() && !in.eof()) {
        what = "cannot be read";
      } else {
        TRegistryFile registry = Parse(contents);
        // A lookup that meets such a value finds nothing usable there and
        // says nothing; the user learns of it here, once for each reading.
        std::vector<int> notText;
        for (const auto& [id, key] : registry.keys_) {
          if (key.defaultValue && !key.defaultValue->isText) {
            notText.push_back(key.defaultValue->line);
          }
        }
        std::sort(notText.begin(), notText.end());
        for (int line : notText) {
          Report(fileName + ": Line " + std::to_string(line) + ": the default value is not text",
                 problem);
        }
        return registry;
      }
    }
  } catch (const ERegistryError& e) {
    what = e.Message();
  } catch (const std::exception&) {
    what = "cannot be read";  // a read error or too little memory for the file
  }
  Report(fileName + ": " + what + "; the file is ignored", problem);
  return {};
}

bool TRegistryFile::HasKey(TRegistryRoot root, const std::string& path) const {
  return keys_.count({root, Normalize(path)}) > 0;
}

namespace {

class FileKey final : public IRegistryKey {
 public:
  explicit FileKey(std::optional<TRegistryValue> value) : value_(std::move(value)) {}
  bool ReadDefaultValue(std::string& value) override {
    if (!value_) return false;
    if (!value_->isText) throw ERegistryError("Invalid data type for the default value");
    value = value_->text;
    return true;
  }

 private:
  std::optional<TRegistryValue> value_;
};

}  // namespace

std::unique_ptr<IRegistryKey> TRegistryFile::OpenKey(TRegistryRoot root, const std::string& path) {
  const auto found = keys_.find({root, Normalize(path)});
  if (found == keys_.end()) {
    // A root key always exists, with no default value unless the file gives one.
    if (Normalize(path).empty()) return std::make_unique<FileKey>(std::nullopt);
    return nullptr;
  }
  return std::make_unique<FileKey>(found->second.defaultValue);
}

TRegistryFile& TLiveRegistryFile::Current() {
  // A stat per lookup; the file is parsed again only when it has changed.
  std::error_code error;
  Stamp now;
  now.exists = std::filesystem::exists(fileName_, error);
  if (now.exists) {
    now.written = std::filesystem::last_write_time(fileName_, error);
    now.size = std::filesystem::file_size(fileName_, error);
    if (error) now.size = 0;  // not a file: Load says so, once per change
  }
  if (!read_ || *read_ != now) {
    file_ = now.exists ? TRegistryFile::Load(fileName_) : TRegistryFile();
    read_ = now;
  }
  return file_;
}

std::unique_ptr<IRegistryKey> TLiveRegistryFile::OpenKey(TRegistryRoot root,
                                                         const std::string& path) {
  return Current().OpenKey(root, path);
}

bool TLiveRegistryFile::HasKey(TRegistryRoot root, const std::string& path) {
  return Current().HasKey(root, path);
}

}  // namespace pw
