// Finding the desktop's program for a kind of file from the freedesktop
// desktop entries, where the platform has no shell verbs of its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pw {

// The command of a desktop entry's Exec line with file put in place of its
// %f/%F/%u/%U code (or appended when it has none); other codes are dropped.
std::vector<std::string> DesktopEntryCommand(const std::string& exec, const std::string& file);

// The Exec line of the entry named id (such as "org.example.Editor.desktop"),
// looked up in $XDG_DATA_HOME and $XDG_DATA_DIRS.
std::optional<std::string> FindDesktopEntryExec(const std::string& id);

}  // namespace pw
