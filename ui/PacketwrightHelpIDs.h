// Help context numbers of the windows.
#pragma once

#include <string>

namespace pw {

inline constexpr int hcDirectoryDialog = 1;
inline constexpr int hcRuleDialog = 2;
inline constexpr int hcExtensionDialog = 3;
inline constexpr int hcMainWindow = 6;
inline constexpr int hcOptionsDialog = 12;
inline constexpr int hcClearOptionsDialog = 15;
inline constexpr int hcRulesWindow = 16;
inline constexpr int hcScheduleDialog = 17;
inline constexpr int hcPreviewWindow = 18;
inline constexpr int hcRunHistoryWindow = 19;
inline constexpr int hcRunAllAndWaitWindow = 20;
inline constexpr int hcVerifyWindow = 21;
inline constexpr int hcRestoreWindow = 22;

// The help file: Packetwright.html beside the program, as in the build folder
// and on Windows, else where an installation on Linux puts it,
// ../share/doc/packetwright/ from the program's folder. Beside the program
// when it is in neither place.
std::string HelpFileName(const std::string& programFolder);
std::string HelpFileName();

// Opens the topic of context in the program's help.
void ShowHelpTopic(int context);

}  // namespace pw
