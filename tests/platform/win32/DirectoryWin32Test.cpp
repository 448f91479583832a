// The current directory and directory listings through the system.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/CurrentDirectory.h"
#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

using namespace pw::test;

// Puts the current directory back however the test ends.
class CurrentDirectoryTest : public ::testing::Test {
 protected:
  CurrentDirectoryTest() : previous_(Get<ICurrentDirectory>().Get()) {}
  ~CurrentDirectoryTest() override { SetCurrentDirectoryA(previous_.c_str()); }

  static int CodeOf(const std::string& path) {
    try {
      Get<ICurrentDirectory>().Check(path);
    } catch (const EInOutError& e) {
      return e.ErrorCode();
    }
    return 0;
  }

 private:
  std::string previous_;
};

TEST_F(CurrentDirectoryTest, CheckReportsTheSystemsCodes) {
  const TTempFolder temp("cd");
  WriteFile(temp / "file", "x");
  const std::string root = ProgramPath(temp.Path());
  EXPECT_EQ(CodeOf(root + "\\missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CodeOf(root + "\\missing\\below"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(CodeOf(root + "\\file"), ERROR_DIRECTORY);
  EXPECT_EQ(CodeOf(root + "\\bad<name"), ERROR_INVALID_NAME);
  EXPECT_EQ(InOutError(ERROR_PATH_NOT_FOUND).Message(), "Invalid filename");
  EXPECT_EQ(InOutError(ERROR_DIRECTORY).Message(), "I/O error 267");
  const std::string before = Get<ICurrentDirectory>().Get();
  EXPECT_EQ(CodeOf(root), 0);
  EXPECT_EQ(Get<ICurrentDirectory>().Get(), before) << "a check enters nothing";
}

TEST_F(CurrentDirectoryTest, GetReadsAFolderDeeperThanMaxPath) {
  const TTempFolder temp("deep");
  std::wstring deep = temp.Path().wstring();
  while (deep.size() <= MAX_PATH + 20) {
    deep += L"\\" + std::wstring(40, L'd');
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr)) << GetLastError();
  }
  if (!SetCurrentDirectoryW(deep.c_str())) {
    GTEST_SKIP() << "this system keeps the current directory below MAX_PATH";
  }
  EXPECT_EQ(Get<ICurrentDirectory>().Get(), ProgramPath(deep));
  SetCurrentDirectoryW(temp.Path().wstring().c_str());
}

TEST_F(CurrentDirectoryTest, ABareDriveListsAsItsRootNotItsCurrentFolder) {
  const TTempFolder temp("drive");
  const std::string inside = ProgramPath(temp.Path());
  const std::string drive = inside.substr(0, 2);
  ASSERT_EQ(drive[1], ':');
  ASSERT_TRUE(SetCurrentDirectoryA(inside.c_str()));

  IFileSystem& files = Get<IFileSystem>();
  TDirectoryListing bare, root, current;
  ASSERT_TRUE(files.ListDirectory(drive, bare));
  ASSERT_TRUE(files.ListDirectory(drive + "\\", root));
  ASSERT_TRUE(files.ListDirectory(inside, current));
  EXPECT_EQ(bare.identity, root.identity);
  EXPECT_NE(bare.identity, current.identity)
      << "a scan of the root would take the current folder as visited";
  EXPECT_EQ(bare.names, root.names);
}

}  // namespace
}  // namespace pw
