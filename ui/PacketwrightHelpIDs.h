// Help context numbers of the windows.
#pragma once

namespace pw {

inline constexpr int hcDirectoryDialog = 1;
inline constexpr int hcRuleDialog = 2;
inline constexpr int hcExtensionDialog = 3;
inline constexpr int hcMainWindow = 6;
inline constexpr int hcOptionsDialog = 12;
inline constexpr int hcClearOptionsDialog = 15;
inline constexpr int hcRulesWindow = 16;

// Opens the topic of context in the program's help, beside the program.
void ShowHelpTopic(int context);

}  // namespace pw
