// The settings document as JSON, for keeping it under version control and
// editing it with other tools.
//
// Every stored property appears, lists keep their order, and every text keeps
// every byte: a text that is valid UTF-8 is an ordinary JSON string, any other
// is an object {"hex": "..."} holding its bytes as lower-case hexadecimal
// pairs. Categories are "ecInclude" or "ecExclude".
#pragma once

#include <nlohmann/json.hpp>

#include "model/HoardkeeperClasses.h"

namespace pw {

using Json = nlohmann::ordered_json;

inline constexpr int kJsonFormatVersion = 1;

Json DocumentToJson(const TbkManager& manager);
// Fills a freshly constructed manager; a property that is absent keeps its
// construction value. Fails with an Exception naming the offending place.
void JsonToDocument(const Json& json, TbkManager& manager);

}  // namespace pw
