#include "model/KeepRules.h"

#include <array>
#include <charconv>

namespace pw {

namespace {

constexpr std::array<const char*, 4> kRuleNames = {"last", "daily", "weekly", "monthly"};

std::array<int TKeepRules::*, 4> RuleMembers() {
  return {&TKeepRules::last, &TKeepRules::daily, &TKeepRules::weekly, &TKeepRules::monthly};
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::string KeepRulesText(const TKeepRules& rules) {
  std::string text;
  const auto members = RuleMembers();
  for (size_t i = 0; i < members.size(); ++i) {
    const int value = rules.*members[i];
    if (value == 0) continue;
    if (!text.empty()) text += ", ";
    text += kRuleNames[i];
    text += ' ';
    text += std::to_string(value);
  }
  return text;
}

std::optional<TKeepRules> ParseKeepRules(std::string_view text) {
  TKeepRules rules;
  if (Trimmed(text).empty()) return rules;
  const auto members = RuleMembers();
  std::array<bool, 4> seen{};
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view part = Trimmed(text.substr(0, comma));
    const size_t space = part.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view name = part.substr(0, space);
    const std::string_view number = Trimmed(part.substr(space + 1));
    size_t rule = 0;
    while (rule < kRuleNames.size() && name != kRuleNames[rule]) ++rule;
    if (rule == kRuleNames.size() || seen[rule]) return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size() || value < 0 ||
        value > kKeepMost) {
      return std::nullopt;
    }
    seen[rule] = true;
    rules.*members[rule] = value;
    if (comma == std::string_view::npos) return rules;
    text.remove_prefix(comma + 1);
  }
}

}  // namespace pw
