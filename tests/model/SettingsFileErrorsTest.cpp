// Every failure of reading and saving, its message, and what it leaves behind.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <csignal>
#include <filesystem>
#include <fstream>

#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "tests/model/StreamBytes.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

using namespace pw::test;
namespace fs = std::filesystem;

std::string LoadError(TbkManager& manager, const std::string& bytes) {
  try {
    Load(manager, bytes);
  } catch (const EReadError& e) {
    return e.Message();
  }
  return "no error";
}

std::string LoadError(const std::string& bytes) {
  TbkManager manager;
  return LoadError(manager, bytes);
}

TEST(ReadFailures, SignatureAndEmptyData) {
  EXPECT_EQ(LoadError(""), "Stream read error");
  EXPECT_EQ(LoadError("TPF"), "Stream read error");
  EXPECT_EQ(LoadError("TPF1" + Short("TbkManager") + Hex("00 00 00")), "Invalid stream format");
  TbkManager manager;
  manager.SetModified(false);
  LoadError(manager, "XXXX");
  EXPECT_FALSE(manager.GetModified());
}

TEST(ReadFailures, UnknownPropertyIsNamedWithItsObject) {
  EXPECT_EQ(LoadError(Document(Short("Colour") + Str("red"))),
            "Error reading TbkManager.Colour: Property does not exist");
  // The root's own name takes the place of its class name.
  std::string named = Document(Short("Colour") + Tag(stFalse));
  named.replace(15, 1, Short("Settings"));
  EXPECT_EQ(LoadError(named), "Error reading Settings.Colour: Property does not exist");
  // Nested values are passed over first.
  EXPECT_EQ(LoadError(Document(Short("Colour") + Hex("0E 01 01 41 01 02 07 00 00 00 00"))),
            "Error reading TbkManager.Colour: Property does not exist");
}

TEST(ReadFailures, WrappingNestsPerLevel) {
  const std::string bytes =
      Document(Short("Rules") + Tag(stCollection) + Tag(stList) + Short("Extensions") +
               Tag(stCollection) + Tag(stList) + Short("Size") + Hex("02 00") + Tag(stEnd) +
               Tag(stEnd) + Tag(stEnd) + Tag(stEnd));
  EXPECT_EQ(LoadError(bytes),
            "Error reading TbkManager.Rules: Error reading TbkRule.Extensions: "
            "Error reading TbkExtension.Size: Property does not exist");
  EXPECT_EQ(LoadError(Document(Short("Directories") + Tag(stCollection) + Tag(stList) +
                               Short("NeedArchive") + Ident("Maybe") + Tag(stEnd) + Tag(stEnd))),
            "Error reading TbkManager.Directories: Error reading TbkDirectory.NeedArchive: "
            "Invalid property value");
}

TEST(ReadFailures, ValuesOfTheWrongKind) {
  const std::string invalid = ": Invalid property value";
  EXPECT_EQ(LoadError(Document(Short("OutputPath") + Hex("02 05"))),
            "Error reading TbkManager.OutputPath" + invalid);
  EXPECT_EQ(LoadError(Document(Short("Tag") + Str("5"))), "Error reading TbkManager.Tag" + invalid);
  EXPECT_EQ(LoadError(Document(Short("Directories") + Str("x"))),
            "Error reading TbkManager.Directories" + invalid);
  // A list item must begin with stList.
  EXPECT_EQ(LoadError(Document(Short("Directories") + Tag(stCollection) + Tag(stString))),
            "Error reading TbkManager.Directories" + invalid);
  // An enumeration does not take the Boolean names, and stEnd names Null.
  const std::string rule = Short("Rules") + Tag(stCollection) + Tag(stList) + Short("Category");
  EXPECT_EQ(LoadError(Document(rule + Tag(stFalse) + Tag(stEnd) + Tag(stEnd))),
            "Error reading TbkManager.Rules: Error reading TbkRule.Category" + invalid);
  EXPECT_EQ(LoadError(Document(rule + Tag(stEnd) + Tag(stEnd) + Tag(stEnd))),
            "Error reading TbkManager.Rules: Error reading TbkRule.Category" + invalid);
  // A negative long-string length.
  EXPECT_EQ(LoadError(Document(Short("OutputPath") + Hex("0C FF FF FF FF"))),
            "Error reading TbkManager.OutputPath" + invalid);
}

TEST(ReadFailures, LengthsPastTheDataEndTheRead) {
  // Claims two gigabytes but holds three bytes: must fail without allocating them.
  EXPECT_EQ(LoadError(Document(Short("OutputPath") + Hex("0C FF FF FF 7F") + "abc")),
            "Error reading TbkManager.OutputPath: Stream read error");
  EXPECT_EQ(LoadError(Document(Short("Colour") + Hex("0C FF FF FF 7F") + "abc")),
            "Error reading TbkManager.Colour: Stream read error");
}

TEST(ReadFailures, ChildObjectsAreRefused) {
  std::string bytes = Document("");
  bytes.back() = '\x01';
  EXPECT_EQ(LoadError(bytes), "A settings file holds no child objects, but this one does");
}

TEST(ReadFailures, DeepNestingInAnUnknownValueDoesNotExhaustTheStack) {
  std::string deep = Short("Colour");
  for (int i = 0; i < 200000; ++i) deep += Tag(stList);
  EXPECT_EQ(LoadError(Document(deep)), "Error reading TbkManager.Colour: Stream read error");
}

TEST(ReadFailures, EveryTruncationOfTheExampleFailsCleanly) {
  TbkManager example;
  FillExample(example);
  const std::string bytes = Save(example);
  for (size_t length = 0; length < bytes.size(); ++length) {
    TbkManager manager;
    const std::string message = LoadError(manager, bytes.substr(0, length));
    EXPECT_TRUE(message.size() >= 17 &&
                message.compare(message.size() - 17, 17, "Stream read error") == 0)
        << length << ": " << message;
  }
}

TEST(ReadFailures, PartialReadStaysAppliedAndMarked) {
  TbkManager manager;
  manager.Rules()->Add()->SetName("Old");
  manager.SetModified(false);
  const std::string bytes =
      Document(Short("ExcludeKey") + Str("-y") + Short("Rules") + Tag(stCollection) + Tag(stList) +
               Short("Name") + Str("New") + Short("Bogus") + Tag(stNil));
  EXPECT_NE(LoadError(manager, bytes), "no error");
  EXPECT_EQ(manager.ExcludeKey(), "-y");
  ASSERT_EQ(manager.Rules()->Count(), 1);
  EXPECT_EQ(manager.Rules()->Items(0)->Name(), "New");
  EXPECT_TRUE(manager.GetModified());
}

// ---- Files ------------------------------------------------------------------

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp = std::make_unique<test::TTempFolder>("settings");
    folder = temp->Path();
  }
  void TearDown() override { temp.reset(); }
  static std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::unique_ptr<test::TTempFolder> temp;
  fs::path folder;
};

TEST_F(SettingsFileTest, MissingFileChangesNothing) {
  TbkManager manager;
  manager.SetExcludeKey("-x");
  manager.LoadFromFile((folder / "none.dat").string());
  EXPECT_EQ(manager.ExcludeKey(), "-x");
  EXPECT_TRUE(manager.GetModified());
}

TEST_F(SettingsFileTest, SaveThenLoadLeavesTheDocumentClean) {
  const std::string name = (folder / "Packetwright.dat").string();
  TbkManager original;
  FillExample(original);
  original.SaveToFile(name, false);
  EXPECT_TRUE(original.GetModified());
  EXPECT_EQ(Contents(name), Save(original));
  original.SaveToFile(name, true);
  EXPECT_FALSE(original.GetModified());

  TbkManager loaded;
  loaded.LoadFromFile(name);
  EXPECT_FALSE(loaded.GetModified());
  EXPECT_EQ(Save(loaded), Save(original));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
      << "no temporary file is left behind";
}

TEST_F(SettingsFileTest, EmptyFileIsAReadError) {
  const std::string name = (folder / "empty.dat").string();
  std::ofstream(name).close();
  TbkManager manager;
  try {
    manager.LoadFromFile(name);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
}

#ifndef _WIN32
TEST_F(SettingsFileTest, UnreadableFileCannotBeOpened) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string name = (folder / "locked.dat").string();
  std::ofstream(name) << "TPF0";
  fs::permissions(name, fs::perms::none);
  TbkManager manager;
  try {
    manager.LoadFromFile(name);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file " + name);
  }
}
#endif

TEST_F(SettingsFileTest, SaveIntoAMissingFolderCannotCreate) {
  const std::string name = (folder / "no" / "such.dat").string();
  TbkManager manager;
  manager.SetExcludeKey("-x");
  try {
    manager.SaveToFile(name, true);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file " + name);
  }
  EXPECT_TRUE(manager.GetModified());
}

// File size limits, POSIX permissions and symbolic links; the Windows
// counterparts are tested against the system's own services.
#ifndef _WIN32
TEST_F(SettingsFileTest, FailedSaveKeepsTheOldFileByteForByte) {
  const std::string name = (folder / "Packetwright.dat").string();
  TbkManager old;
  FillExample(old);
  old.SaveToFile(name, true);
  const std::string before = Contents(name);
  fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  // A file size limit makes the disk "full" part-way through the new file.
  TbkManager bigger;
  FillExample(bigger);
  for (int i = 0; i < 2000; ++i)
    bigger.Directories()->Add()->SetPath("C:\\Data\\" + std::to_string(i));
  {
    rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    auto* previous = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 8192;
    ::setrlimit(RLIMIT_FSIZE, &small);
    try {
      bigger.SaveToFile(name, true);
      ADD_FAILURE() << "the save did not fail";
    } catch (const EWriteError& e) {
      EXPECT_EQ(e.Message(), "Stream write error");
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);
  }
  EXPECT_EQ(Contents(name), before);
  EXPECT_TRUE(bigger.GetModified());
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

  // A folder that takes no new files: the save falls back to writing in place,
  // which still works for a writable file; a read-only file then fails whole.
  if (::geteuid() != 0) {
    fs::permissions(name, fs::perms::owner_read);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(bigger.SaveToFile(name, true), EFCreateError);
    EXPECT_EQ(Contents(name), before);
    fs::permissions(folder, fs::perms::owner_all);
    fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  }

  // A save that succeeds keeps the file's permissions.
  bigger.SaveToFile(name, true);
  EXPECT_EQ(fs::status(name).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Contents(name), Save(bigger));
}

TEST_F(SettingsFileTest, ALinkIsWrittenThroughInPlace) {
  const fs::path real = folder / "real.dat";
  const fs::path link = folder / "link.dat";
  std::ofstream(real) << "old";
  fs::create_symlink(real, link);
  TbkManager manager;
  manager.SaveToFile(link.string(), true);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Contents(real), Save(manager));
}
#endif

}  // namespace
}  // namespace pw
