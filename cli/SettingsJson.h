// The settings document as JSON, for keeping it under version control and
// editing it with other tools.
//
// Every stored property appears, lists keep their order, and every text keeps
// every byte: a text that is valid UTF-8 is an ordinary JSON string, any other
// is an object {"hex": "..."} holding its bytes as lower-case hexadecimal
// pairs. Categories are "ecInclude" or "ecExclude". A schedule is
// {"At": "02:00", "Days": ["mon", "tue", ...]}, left out when there is none.
#pragma once

#include <nlohmann/json.hpp>
#include <istream>
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
// A schedule that is set as JSON; and back, or a problem's description
// (which leaves schedule as it was).
Json ScheduleToJson(const TSchedule& schedule);
const char* ScheduleFromJson(const Json& json, TSchedule& schedule);
// Keep rules as {"Last": N, "Daily": D, "Weekly": W, "Monthly": M}, only the
// rules that are not 0; and back (a member left out is 0), or a problem's
// description (which leaves rules as they were).
Json KeepRulesToJson(const TKeepRules& rules);
const char* KeepRulesFromJson(const Json& json, TKeepRules& rules);
// Where the password is kept as {"KeptIn": "keyring"} or {"KeptIn": "file",
// "File": "/path"}; and back, or a problem's description (which leaves place
// as it was).
Json PasswordPlaceToJson(const TPasswordPlace& place);
const char* PasswordPlaceFromJson(const Json& json, TPasswordPlace& place);
// Parses text and fills a freshly constructed manager; a property that is
// absent keeps its construction value. Every failure (bad syntax, a member
// unknown or given twice, a value of the wrong kind or out of range, too
// little memory, a directory path that cannot be archived in this system's
// path style) is an Exception with a one-line message once the message is made
// printable; a problem with a value names its place, such as
// $.Rules[0].Extensions[0].TotalSize. The text is never held as a tree, so
// that the memory needed is little more than the document's own.
void ParseSettingsJson(const std::string& text, TbkManager& manager);
// The same, reading the text from in as it goes.
void ParseSettingsJson(std::istream& in, TbkManager& manager);

}  // namespace pw
