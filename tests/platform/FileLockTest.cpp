// The advisory lock of one archive's writer: two holders exclude each other
// in one process as in two, the file goes with the last holder, and a
// program started with the lock keeps it until it ends.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

TEST(FileLockTest, OneHolderAtATimeAndTheFileGoesWithIt) {
  const test::TTempFolder root("lock");
  const fs::path file = root / "archive.7z.lock";
  IFileSystem& files = Get<IFileSystem>();
  {
    const std::unique_ptr<IFileLock> first = files.TryLock(test::ProgramPath(file));
    ASSERT_TRUE(first);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(first->Path(), test::ProgramPath(file));
    EXPECT_FALSE(files.TryLock(test::ProgramPath(file))) << "a second holder in one process";
    // Another name is another lock.
    EXPECT_TRUE(files.TryLock(test::ProgramPath(root / "other.7z.lock")));
  }
  EXPECT_FALSE(fs::exists(file)) << "the last holder removes the file";
  // A stale file (left by a holder that died) is no hold.
  test::WriteFile(file, "");
  const std::unique_ptr<IFileLock> again = files.TryLock(test::ProgramPath(file));
  EXPECT_TRUE(again);
  // A file that cannot be made is an error, not a lock held elsewhere.
  EXPECT_THROW(files.TryLock(test::ProgramPath(root / "missing" / "a.lock")), EFCreateError);
}

#ifndef _WIN32
TEST(FileLockTest, AProgramStartedWithTheLockHoldsItUntilItEnds) {
  const test::TTempFolder root("lock");
  const std::string file = test::ProgramPath(root / "archive.7z.lock");
  const fs::path release = root / "release";
  IFileSystem& files = Get<IFileSystem>();
  std::unique_ptr<IFileLock> lock = files.TryLock(file);
  ASSERT_TRUE(lock);
  Get<IProcessRunner>().Start(
      "/bin/sh", {"-c", "while [ ! -e \"$1\" ]; do sleep 0.05; done", "sh", release.string()},
      "", lock.get());
  lock.reset();  // this process's hold was left to the program
  EXPECT_TRUE(fs::exists(file));
  EXPECT_FALSE(files.TryLock(file)) << "the program let go before it ended";
  test::WriteFile(release, "x");
  for (int i = 0; i < 200 && fs::exists(file); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_FALSE(fs::exists(file)) << "the file outlived the program";
  EXPECT_TRUE(files.TryLock(file));
}
#endif

}  // namespace
}  // namespace pw
