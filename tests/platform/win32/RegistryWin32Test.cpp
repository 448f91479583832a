// Archiver detection and file-type descriptions against the system registry.
// Each test makes its keys with the registry API and removes them again.
#include <windows.h>

#include <gtest/gtest.h>

#include "archiver/ArchiverDetection.h"
#include "platform/Errors.h"
#include "platform/Registry.h"

namespace pw {
namespace {

constexpr char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// A key made for one test; its value is written only when one is given.
class TTestKey {
 public:
  TTestKey(HKEY root, const std::string& path) : root_(root), path_(path) {
    ok_ = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                          nullptr) == ERROR_SUCCESS;
  }
  ~TTestKey() {
    if (!ok_) return;
    RegCloseKey(key_);
    RegDeleteTreeA(root_, path_.c_str());
  }
  bool Ok() const { return ok_; }
  void Set(DWORD type, const void* data, DWORD size) {
    RegSetValueExA(key_, nullptr, 0, type, static_cast<const BYTE*>(data), size);
  }
  void SetText(const std::string& text, DWORD type = REG_SZ) {
    Set(type, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }

 private:
  HKEY root_;
  std::string path_;
  HKEY key_ = nullptr;
  bool ok_ = false;
};

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

TEST(RegistryWin32, AppPathsWithAValueWithNoneAndWithAnEmptyOne) {
  TTestKey rar(HKEY_LOCAL_MACHINE, std::string(kAppPaths) + "WinRAR.exe");
  if (!rar.Ok()) GTEST_SKIP() << "needs the right to write under HKEY_LOCAL_MACHINE";
  rar.SetText("C:\\Program Files\\WinRAR\\WinRAR.exe");
  TTestKey wzzip(HKEY_LOCAL_MACHINE, std::string(kAppPaths) + "wzzip.exe");
  TTestKey winzip(HKEY_LOCAL_MACHINE, std::string(kAppPaths) + "winzip.exe");
  winzip.SetText("");

  std::string path;
  EXPECT_TRUE(FindWinRar(path));
  EXPECT_EQ(path, "C:\\Program Files\\WinRAR\\WinRAR.exe");
  path = "untouched";
  EXPECT_TRUE(FindWinZipCommandLine(path)) << "a key without a default value counts as found";
  EXPECT_EQ(path, "");
  path = "untouched";
  EXPECT_TRUE(FindWinZip(path));
  EXPECT_EQ(path, "");

  TbkManager manager;
  EXPECT_TRUE(ApplyWinRarOptions(manager));
  EXPECT_EQ(manager.ArchiverExeFileName(), "C:\\Program Files\\WinRAR\\WinRAR.exe");
  EXPECT_EQ(manager.ArchiverParams(), "a -r");
  EXPECT_EQ(manager.ExcludeKey(), "-x");
}

TEST(RegistryWin32, MissingKeysLeaveThePathAlone) {
  if (KeyExists(HKEY_LOCAL_MACHINE, std::string(kAppPaths) + "wzzip.exe")) {
    GTEST_SKIP() << "the WinZip command line is installed here";
  }
  std::string path = "untouched";
  EXPECT_FALSE(FindWinZipCommandLine(path));
  EXPECT_EQ(path, "untouched");
  TbkManager manager;
  manager.SetModified(false);
  EXPECT_FALSE(ApplyWinZipOptions(manager));
  EXPECT_FALSE(manager.GetModified());
}

TEST(RegistryWin32, ExpandableTextIsNotExpandedAndANumberIsNotFound) {
  TTestKey rar(HKEY_LOCAL_MACHINE, std::string(kAppPaths) + "WinRAR.exe");
  if (!rar.Ok()) GTEST_SKIP() << "needs the right to write under HKEY_LOCAL_MACHINE";
  rar.SetText("%ProgramFiles%\\WinRAR\\WinRAR.exe", REG_EXPAND_SZ);
  std::string path;
  EXPECT_TRUE(FindWinRar(path));
  EXPECT_EQ(path, "%ProgramFiles%\\WinRAR\\WinRAR.exe");

  const DWORD number = 7;
  rar.Set(REG_DWORD, &number, sizeof number);
  path = "kept";
  EXPECT_FALSE(FindWinRar(path));
  EXPECT_EQ(path, "kept");
  auto key = Get<IRegistry>().OpenKey(TRegistryRoot::rrLocalMachine,
                                      std::string(kAppPaths) + "WinRAR.exe");
  ASSERT_NE(key, nullptr);
  EXPECT_THROW(key->ReadDefaultValue(path), ERegistryError) << "the key itself still says why";
}

TEST(RegistryWin32, FileTypeDescriptionsThroughTheClassesRoot) {
  TTestKey ext(HKEY_CLASSES_ROOT, ".pwtest");
  if (!ext.Ok()) GTEST_SKIP() << "needs the right to write under HKEY_CLASSES_ROOT";
  ext.SetText("Packetwright.TestFile");
  TTestKey type(HKEY_CLASSES_ROOT, "Packetwright.TestFile");
  type.SetText("Packetwright Test File");
  TTestKey bare(HKEY_CLASSES_ROOT, ".pwbare");

  std::string description = "old";
  GetFileTypeDescription(".pwtest", description);
  EXPECT_EQ(description, "Packetwright Test File");
  GetFileTypeDescription(".pwbare", description);
  EXPECT_EQ(description, "") << "a key without a class name";
  GetFileTypeDescription(".pwnone", description);
  EXPECT_EQ(description, "");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".pwnone")) << "the lookup creates nothing";
}

}  // namespace
}  // namespace pw
