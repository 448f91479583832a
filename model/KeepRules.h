// Which runs' archives a prune keeps: the last N runs, and the newest run of
// each of the last D days, W ISO weeks and M months that have one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pw {

struct TKeepRules {
  int last = 0;
  int daily = 0;
  int weekly = 0;
  int monthly = 0;

  // All zero: every archive is kept, and a prune deletes nothing.
  bool KeepsAll() const { return last == 0 && daily == 0 && weekly == 0 && monthly == 0; }
  bool operator==(const TKeepRules&) const = default;
};

// The most of each rule: more than a century of nights.
inline constexpr int kKeepMost = 99999;

// "last 14, daily 7, weekly 4, monthly 12", each rule that is not 0 in that
// order; "" for none. The form the settings file keeps and the companion
// prints.
std::string KeepRulesText(const TKeepRules& rules);
// KeepRulesText's form back (the rules in any order, each once, from 0 to
// kKeepMost); "" keeps everything. None for anything else.
std::optional<TKeepRules> ParseKeepRules(std::string_view text);

}  // namespace pw
