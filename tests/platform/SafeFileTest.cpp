#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/Errors.h"
#include "platform/SafeFile.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using namespace pw::test;

TEST(SafeFile, UncommittedWriteLeavesNoTrace) {
  const TTempFolder folder("safe");
  const fs::path target = folder / "a.dat";
  WriteFile(target, "old");
  {
    TSafeFileWriter writer(ProgramPath(target));
    EXPECT_FALSE(writer.WritesInPlace());
    writer.Stream().WriteBuffer("new", 3);
  }  // abandoned, as when writing fails
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 1);
  {
    TSafeFileWriter writer(ProgramPath(target));
    writer.Stream().WriteBuffer("new", 3);
    writer.Commit();
  }
  EXPECT_EQ(ReadFile(target), "new");
}

TEST(SafeFile, BackslashesSeparateDirectories) {
  const TTempFolder folder("slash");
  const std::string name = ProgramPath(folder.Path()) + "\\b.dat";
  {
    TSafeFileWriter writer(name);
    writer.Stream().WriteBuffer("x", 1);
    writer.Commit();
  }
  EXPECT_TRUE(fs::exists(folder / "b.dat"));
  EXPECT_TRUE(FileExists(name));
}

}  // namespace
}  // namespace pw
