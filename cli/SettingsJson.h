// The settings document as JSON, for keeping it under version control and
// editing it with other tools.
//
// Every stored property appears, lists keep their order, and every text keeps
// every byte: a text that is valid UTF-8 is an ordinary JSON string, any other
// is an object {"hex": "..."} holding its bytes as lower-case hexadecimal
// pairs. Categories are "ecInclude" or "ecExclude".
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "model/HoardkeeperClasses.h"

namespace pw {

using Json = nlohmann::ordered_json;

inline constexpr int kJsonFormatVersion = 1;

// The document as JSON, laid out as nlohmann's dump(2) lays out a tree, and a
// line end; written item by item, so that a large document is never held
// twice in memory.
// Fails with "Stream write error" when out refuses it.
void WriteDocumentJson(const TbkManager& manager, std::ostream& out);
// A text as JSON: a string when it is valid UTF-8, else {"hex": "..."}.
Json TextToJson(const std::string& text);
// Fills a freshly constructed manager; a property that is absent keeps its
// construction value. Fails with an Exception naming the offending place.
void JsonToDocument(const Json& json, TbkManager& manager);
// Parses text and fills manager; every failure (bad syntax, a number out of
// range, too little memory, a directory path that cannot be archived in this
// system's path style) is an Exception with a one-line message once the
// message is made printable.
void ParseSettingsJson(const std::string& text, TbkManager& manager);

}  // namespace pw
