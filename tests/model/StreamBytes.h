// Helpers that spell settings streams the way a reader of the format does.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "model/HoardkeeperClasses.h"
#include "model/SettingsStream.h"
#include "platform/Streams.h"

namespace pw::test {

// Bytes from a text of hex pairs; blanks are ignored.
inline std::string Hex(const char* text) {
  std::string out;
  auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  for (const char* p = text; *p; ++p) {
    if (*p == ' ' || *p == '\n') continue;
    out.push_back(static_cast<char>(nibble(p[0]) * 16 + nibble(p[1])));
    ++p;
  }
  return out;
}

inline std::string Short(const std::string& text) {
  return std::string(1, static_cast<char>(text.size())) + text;
}

inline std::string Tag(TStreamTag tag) {
  return std::string(1, static_cast<char>(tag));
}

inline std::string Str(const std::string& text) {
  return Tag(stString) + Short(text);
}

inline std::string Ident(const std::string& name) {
  return Tag(stIdent) + Short(name);
}

// A whole stream around the given root property records.
inline std::string Document(const std::string& rootProperties) {
  return "TPF0" + Short("TbkManager") + Short("") + rootProperties + Tag(stEnd) + Tag(stEnd);
}

inline std::string Save(TbkManager& manager, bool clearModified = false) {
  TMemoryStream stream;
  manager.SaveToStream(stream, clearModified);
  return stream.Bytes();
}

inline void Load(TbkManager& manager, const std::string& bytes) {
  TMemoryStream stream(bytes);
  manager.LoadFromStream(stream);
}

// The document of the 301-byte example: one directory and one rule of two masks.
inline void FillExample(TbkManager& m) {
  m.SetArchiverParams("a -r");
  m.SetExcludeKey("-x");
  TbkDirectory* d = m.Directories()->Add();
  d->SetRuleName("Docs");
  d->SetPath("C:\\Data");
  d->SetArchiveFileName("Data");
  TbkRule* r = m.Rules()->Add();
  r->SetName("Docs");
  r->SetCategory(ecInclude);
  r->Extensions()->Add()->SetExt("*.doc");
  TbkExtension* tmp = r->Extensions()->Add();
  tmp->SetExt("*.tmp");
  tmp->SetActive(false);
}

}  // namespace pw::test
