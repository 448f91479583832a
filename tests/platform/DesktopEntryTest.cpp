#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/DesktopEntry.h"

namespace pw {
namespace {

using Command = std::vector<std::string>;

TEST(DesktopEntry, FileTakesThePlaceOfItsFieldCode) {
  EXPECT_EQ(DesktopEntryCommand("gedit %U", "/a b.bat"), (Command{"gedit", "/a b.bat"}));
  EXPECT_EQ(DesktopEntryCommand("kate -b %f --new", "x"), (Command{"kate", "-b", "x", "--new"}));
  EXPECT_EQ(DesktopEntryCommand("\"/opt/my editor/ed\" %i %c", "x"),
            (Command{"/opt/my editor/ed", "x"}));
  EXPECT_EQ(DesktopEntryCommand("ed 100%%", "x"), (Command{"ed", "100%", "x"}));
  EXPECT_EQ(DesktopEntryCommand("", "x"), Command{});
}

TEST(DesktopEntry, EntriesAreFoundInTheDataDirectories) {
  const auto root =
      std::filesystem::temp_directory_path() / ("pw-xdg-" + std::to_string(::getpid()));
  std::filesystem::create_directories(root / "applications");
  std::ofstream(root / "applications" / "ed.desktop")
      << "[Desktop Entry]\nName=Ed\nExec=ed --wait %F\n[Desktop Action new]\nExec=ed --new\n";
  const char* before = std::getenv("XDG_DATA_DIRS");
  const std::string saved = before ? before : "";
  ::setenv("XDG_DATA_HOME", (root / "none").c_str(), 1);
  ::setenv("XDG_DATA_DIRS", root.c_str(), 1);
  EXPECT_EQ(FindDesktopEntryExec("ed.desktop"), std::optional<std::string>("ed --wait %F"));
  EXPECT_EQ(FindDesktopEntryExec("missing.desktop"), std::nullopt);
  EXPECT_EQ(FindDesktopEntryExec("../applications/ed.desktop"), std::nullopt);
  EXPECT_EQ(FindDesktopEntryExec(""), std::nullopt);
  if (before) {
    ::setenv("XDG_DATA_DIRS", saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_DIRS");
  }
  ::unsetenv("XDG_DATA_HOME");
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace pw
