// Finding the archivers and applying their standard sets, with a fake registry.
#include <gtest/gtest.h>

#include "archiver/ArchiverDetection.h"
#include "platform/RegistryFile.h"
#include "platform/fakes/Fakes.h"

namespace pw {
namespace {

using Value = fakes::FakeRegistry::Value;
const TRegistryRoot kMachine = TRegistryRoot::rrLocalMachine;
const TRegistryRoot kClasses = TRegistryRoot::rrClassesRoot;
const std::string kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

class DetectionTest : public ::testing::Test {
 protected:
  DetectionTest() : use(registry) {}
  ~DetectionTest() override { EXPECT_EQ(registry.openKeys, 0) << "a key was not released"; }
  fakes::FakeRegistry registry;
  ScopedOverride<IRegistry> use;
  TbkManager manager;
};

TEST_F(DetectionTest, WinRarSetIsAppliedThroughTheSetters) {
  registry.AddKey(kMachine, kAppPaths + "WinRAR.exe",
                  Value{"C:\\Program Files\\WinRAR\\WinRAR.exe"});
  manager.SetModified(false);
  EXPECT_TRUE(ApplyWinRarOptions(manager));
  EXPECT_EQ(manager.ArchiverExeFileName(), "C:\\Program Files\\WinRAR\\WinRAR.exe");
  EXPECT_EQ(manager.ArchiverParams(), "a -r");
  EXPECT_EQ(manager.ExcludeKey(), "-x");
  EXPECT_TRUE(manager.GetModified());
  // The same set again changes nothing.
  manager.SetModified(false);
  EXPECT_TRUE(ApplyArchiverOptions(manager, akWinRar));
  EXPECT_FALSE(manager.GetModified());
}

TEST_F(DetectionTest, WinZipSetAndTheValueAsStored) {
  registry.AddKey(kMachine, kAppPaths + "wzzip.exe",
                  Value{"\"%ProgramFiles%\\WinZip\\wzzip.exe\""});
  EXPECT_TRUE(ApplyArchiverOptions(manager, akWinZip));
  EXPECT_EQ(manager.ArchiverExeFileName(), "\"%ProgramFiles%\\WinZip\\wzzip.exe\"");
  EXPECT_EQ(manager.ArchiverParams(), "-a -p -r");
  EXPECT_EQ(manager.ExcludeKey(), "-x");
}

TEST_F(DetectionTest, KeyWithoutDefaultValueCountsAsFound) {
  registry.AddKey(kMachine, kAppPaths + "WinRAR.exe");
  std::string path = "untouched";
  EXPECT_TRUE(FindWinRar(path));
  EXPECT_EQ(path, "");
  manager.SetArchiverExeFileName("old.exe");
  EXPECT_TRUE(ApplyWinRarOptions(manager));
  EXPECT_EQ(manager.ArchiverExeFileName(), "");
}

TEST_F(DetectionTest, OnlyTheWinZipProgramIsNotTheCommandLine) {
  registry.AddKey(kMachine, kAppPaths + "winzip.exe", Value{"C:\\WinZip\\winzip32.exe"});
  std::string path;
  EXPECT_FALSE(FindWinZipCommandLine(path));
  EXPECT_TRUE(FindWinZip(path));
  EXPECT_EQ(path, "C:\\WinZip\\winzip32.exe");
  manager.SetModified(false);
  EXPECT_FALSE(ApplyWinZipOptions(manager));
  EXPECT_EQ(manager.ArchiverParams(), "");
  EXPECT_FALSE(manager.GetModified());
}

TEST_F(DetectionTest, NothingFoundLeavesEverythingAlone) {
  std::string exe = "e", params = "p", key = "k";
  EXPECT_FALSE(GetWinRarOptions(exe, params, key));
  EXPECT_FALSE(GetWinZipOptions(exe, params, key));
  EXPECT_EQ(exe + params + key, "epk");
}

TEST_F(DetectionTest, ANonTextDefaultValueIsNotFoundAndReleasesTheKey) {
  registry.AddKey(kMachine, kAppPaths + "WinRAR.exe", Value{"", false});
  registry.AddKey(kMachine, kAppPaths + "7zFM.exe", Value{"", false});
  std::string path = "kept";
  EXPECT_FALSE(FindWinRar(path));
  EXPECT_FALSE(Find7Zip(path));
  EXPECT_EQ(path, "kept");
  manager.SetArchiverExeFileName("old.exe");
  manager.SetModified(false);
  EXPECT_FALSE(ApplyWinRarOptions(manager));
  EXPECT_FALSE(ApplyArchiverOptions(manager, ak7Zip));
  EXPECT_EQ(manager.ArchiverExeFileName(), "old.exe");
  EXPECT_FALSE(manager.GetModified());
  // The fixture's destructor checks that no key stayed open.
}

TEST_F(DetectionTest, FileTypeDescriptionGoesThroughTheClassName) {
  registry.AddKey(kClasses, ".txt", Value{"txtfile"});
  registry.AddKey(kClasses, "txtfile", Value{"Text Document"});
  registry.AddKey(kClasses, ".orphan");  // no class name
  registry.AddKey(kClasses, ".broken", Value{"nothing"});
  std::string description = "stale";
  GetFileTypeDescription(".txt", description);
  EXPECT_EQ(description, "Text Document");
  GetFileTypeDescription(".orphan", description);
  EXPECT_EQ(description, "");
  GetFileTypeDescription(".broken", description);
  EXPECT_EQ(description, "");
  GetFileTypeDescription(".none", description);
  EXPECT_EQ(description, "");
  EXPECT_EQ(registry.opened.back(), "") << "an empty class name addresses the root key";
}

// The registry file beside the program, where a hand-written value may be
// of any kind: only text names a program.
TEST(RegistryFileDetection, ANumberOrBytesForAnArchiverIsNotFoundAndTheOthersAre) {
  auto key = [](const char* program) {
    return "[HKEY_LOCAL_MACHINE\\" + kAppPaths + program + "]\n";
  };
  TRegistryFile file = TRegistryFile::Parse(
      "REGEDIT4\n" + key("WinRAR.exe") + "@=dword:00000001\n" + key("wzzip.exe") +
      "@=hex:41,42,00\n" + key("7zFM.exe") + "@=\"/opt/7-zip/7zFM\"\n");
  ScopedOverride<IRegistry> use(file);
  std::string path = "kept";
  EXPECT_FALSE(FindWinRar(path));
  EXPECT_FALSE(FindWinZipCommandLine(path));
  EXPECT_EQ(path, "kept");
  TbkManager manager;
  EXPECT_FALSE(ApplyArchiverOptions(manager, akWinRar));
  EXPECT_TRUE(ApplyArchiverOptions(manager, ak7Zip));
  EXPECT_EQ(manager.ArchiverParams(), "a -r");
  EXPECT_EQ(manager.ExcludeKey(), "-x!");
}

}  // namespace
}  // namespace pw

namespace pw {
namespace {

TEST(RealRegistry, FileTypesComeFromTheDesktopsTypeDatabase) {
  std::string description;
  GetFileTypeDescription(".txt", description);
  EXPECT_FALSE(description.empty());
  std::string upper;
  GetFileTypeDescription(".TXT", upper);
  EXPECT_EQ(upper, description);
  GetFileTypeDescription(".no-such-type-here", description);
  EXPECT_EQ(description, "");
  std::string path = "kept";
  EXPECT_FALSE(FindWinRar(path)) << "no registry file beside the tests";
  EXPECT_EQ(path, "kept");
}

}  // namespace
}  // namespace pw
