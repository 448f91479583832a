// Where the settings file is looked for and where a first save puts it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/SettingsLocation.h"
#include "platform/fakes/Fakes.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

// A program folder and a user folder inside one temporary folder; neither
// holds a settings file until a case puts one there.
class SettingsLocationTest : public ::testing::Test {
 protected:
  SettingsLocationTest() : temp("settings-location"), use(places) {
    fs::create_directories(temp / "bin");
    places.programFolder = Folder(temp / "bin");
    places.userFolder = Folder(temp / "home" / ".config" / "Packetwright");
  }

  static std::string Folder(const fs::path& path) {
    return test::ProgramPath(path) + static_cast<char>(fs::path::preferred_separator);
  }
  void Put(const std::string& folder) {
    fs::create_directories(test::FromProgramPath(folder));
    test::WriteFile(test::FromProgramPath(folder + kSettingsFileName), "TPF0");
  }

  test::TTempFolder temp;
  fakes::FakeSettingsPlaces places;
  ScopedOverride<ISettingsPlaces> use;
};

TEST_F(SettingsLocationTest, AFileBesideTheProgramWinsOverTheUsersWhetherWritableOrNot) {
  Put(places.programFolder);
  Put(places.userFolder);
  EXPECT_EQ(SettingsFileName(), places.programFolder + kSettingsFileName);
  places.readOnly = {places.programFolder};
  EXPECT_EQ(SettingsFileName(), places.programFolder + kSettingsFileName)
      << "an installation that keeps its settings beside the program keeps them there";
  EXPECT_EQ(SettingsFolder(), places.programFolder);
}

TEST_F(SettingsLocationTest, TheUsersFileIsUsedWhenNoneIsBesideTheProgram) {
  Put(places.userFolder);
  EXPECT_EQ(SettingsFileName(), places.userFolder + kSettingsFileName)
      << "even where the program's folder is writable";
  EXPECT_EQ(SettingsFolder(), places.userFolder);
}

TEST_F(SettingsLocationTest, ANewFileGoesBesideAWritableProgramElseIntoTheUsersFolder) {
  EXPECT_EQ(SettingsFileName(), places.programFolder + kSettingsFileName);
  places.readOnly = {places.programFolder};
  EXPECT_EQ(SettingsFileName(), places.userFolder + kSettingsFileName);
  EXPECT_FALSE(fs::exists(temp / "home")) << "finding the name makes no folder";
  places.userFolder.clear();  // a system that names no user folder
  EXPECT_EQ(SettingsFileName(), places.programFolder + kSettingsFileName);
}

TEST(XdgUserFolder, AnAbsoluteXdgConfigHomeElseTheHomeFoldersConfig) {
  EXPECT_EQ(XdgUserFolder("/cfg", "/home/ann"), "/cfg/Packetwright/");
  EXPECT_EQ(XdgUserFolder("/cfg/", "/home/ann"), "/cfg/Packetwright/");
  EXPECT_EQ(XdgUserFolder(nullptr, "/home/ann"), "/home/ann/.config/Packetwright/");
  EXPECT_EQ(XdgUserFolder("", "/home/ann"), "/home/ann/.config/Packetwright/");
  EXPECT_EQ(XdgUserFolder("cfg", "/home/ann"), "/home/ann/.config/Packetwright/")
      << "a relative value is passed over";
  EXPECT_EQ(XdgUserFolder("./cfg", "/home/ann/"), "/home/ann/.config/Packetwright/");
  EXPECT_EQ(XdgUserFolder(nullptr, "/"), "/.config/Packetwright/");
  EXPECT_EQ(XdgUserFolder(nullptr, ""), "");
  EXPECT_EQ(XdgUserFolder("cfg", "home"), "");
}

#ifndef _WIN32
TEST(PosixSettingsPlaces, TheUserFolderFollowsXdgConfigHomeAndHome) {
  const ISettingsPlaces& places = DefaultService<ISettingsPlaces>();
  const test::TScopedEnvironment home("HOME", "/home/ann");
  {
    const test::TScopedEnvironment xdg("XDG_CONFIG_HOME", "/srv/cfg");
    EXPECT_EQ(places.UserFolder(), "/srv/cfg/Packetwright/");
  }
  {
    const test::TScopedEnvironment xdg("XDG_CONFIG_HOME", "relative");
    EXPECT_EQ(places.UserFolder(), "/home/ann/.config/Packetwright/");
  }
  const test::TScopedEnvironment xdg("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(places.UserFolder(), "/home/ann/.config/Packetwright/");
  EXPECT_EQ(places.ProgramFolder().back(), '/');
}

TEST(PosixSettingsPlaces, FilesCanBeMadeInAnExistingFolderOnly) {
  const test::TTempFolder temp("settings-places");
  const ISettingsPlaces& places = DefaultService<ISettingsPlaces>();
  EXPECT_TRUE(places.CanCreateFilesIn(temp.Path().string() + "/"));
  EXPECT_FALSE(places.CanCreateFilesIn(temp.Path().string() + "/missing/"));
}
#else
TEST(Win32SettingsPlaces, TheUserFolderIsInTheRoamingApplicationData) {
  const ISettingsPlaces& places = DefaultService<ISettingsPlaces>();
  const char* appData = std::getenv("APPDATA");
  ASSERT_NE(appData, nullptr);
  EXPECT_EQ(places.UserFolder(), std::string(appData) + "\\Packetwright\\");
  EXPECT_EQ(places.ProgramFolder().back(), '\\');
}

TEST(Win32SettingsPlaces, FilesCanBeMadeInAnExistingFolderAndTheTrialLeavesNothing) {
  const test::TTempFolder temp("settings-places");
  const ISettingsPlaces& places = DefaultService<ISettingsPlaces>();
  EXPECT_TRUE(places.CanCreateFilesIn(test::ProgramPath(temp.Path()) + "\\"));
  EXPECT_TRUE(fs::is_empty(temp.Path()));
  EXPECT_FALSE(places.CanCreateFilesIn(test::ProgramPath(temp / "missing") + "\\"));
}
#endif

}  // namespace
}  // namespace pw
