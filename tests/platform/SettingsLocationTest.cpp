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

// Installed, the program keeps its settings in the user's folder whatever its
// own folder holds or allows; root may write beside /usr/bin/Packetwright,
// and a file made there would become every user's.
TEST_F(SettingsLocationTest, AnInstalledProgramUsesTheUsersFolderOnly) {
  places.installed = true;
  EXPECT_EQ(SettingsFileName(), places.userFolder + kSettingsFileName)
      << "a first save goes to the user's folder, though the program's is writable";
  EXPECT_FALSE(fs::exists(temp / "home")) << "finding the name makes no folder";
  Put(places.programFolder);
  EXPECT_EQ(SettingsFileName(), places.userFolder + kSettingsFileName)
      << "a file beside an installed program is not read";
  Put(places.userFolder);
  EXPECT_EQ(SettingsFolder(), places.userFolder);
  places.installed = false;
  EXPECT_EQ(SettingsFileName(), places.programFolder + kSettingsFileName)
      << "a portable copy still prefers the file beside it";
}

// A real folder tree of each kind, as an installation and a build lay them out.
TEST(RunsFromInstalledLayout, TellsAnInstalledFolderFromABuildOrAnUnpackedZip) {
  const test::TTempFolder temp("installed-layout");
  const auto folder = [](const fs::path& path) {
    return test::ProgramPath(path) + static_cast<char>(fs::path::preferred_separator);
  };
  fs::create_directories(temp / "portable");
  test::WriteFile(temp / "portable" / "Packetwright.html", "<html>");
  EXPECT_FALSE(RunsFromInstalledLayout(folder(temp / "portable")))
      << "the help beside the program is a build folder's or a zip's";
#ifdef _WIN32
  test::WriteFile(temp / "portable" / kUninstallerName, "MZ");
  EXPECT_TRUE(RunsFromInstalledLayout(folder(temp / "portable")));
#else
  fs::create_directories(temp / "prefix" / "bin");
  fs::create_directories(temp / "prefix" / "share" / "doc" / "packetwright");
  EXPECT_FALSE(RunsFromInstalledLayout(folder(temp / "prefix" / "bin")))
      << "an empty documentation folder is no installed help";
  test::WriteFile(temp / "prefix" / "share" / "doc" / "packetwright" / "Packetwright.html",
                  "<html>");
  EXPECT_TRUE(RunsFromInstalledLayout(folder(temp / "prefix" / "bin")));
#endif
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
