#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/Errors.h"
#include "platform/SafeFile.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

TEST(SafeFile, UncommittedWriteLeavesNoTrace) {
  const fs::path folder = fs::temp_directory_path() / ("pw-safe-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const fs::path target = folder / "a.dat";
  std::ofstream(target) << "old";
  {
    TSafeFileWriter writer(target.string());
    EXPECT_FALSE(writer.WritesInPlace());
    writer.Stream().WriteBuffer("new", 3);
  }  // abandoned, as when writing fails
  std::ifstream in(target);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  {
    TSafeFileWriter writer(target.string());
    writer.Stream().WriteBuffer("new", 3);
    writer.Commit();
  }
  std::ifstream again(target);
  again >> text;
  EXPECT_EQ(text, "new");
  fs::remove_all(folder);
}

TEST(SafeFile, BackslashesSeparateDirectories) {
  const fs::path folder = fs::temp_directory_path() / ("pw-slash-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const std::string name = folder.string() + "\\b.dat";
  {
    TSafeFileWriter writer(name);
    writer.Stream().WriteBuffer("x", 1);
    writer.Commit();
  }
  EXPECT_TRUE(fs::exists(folder / "b.dat"));
  EXPECT_TRUE(FileExists(name));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace pw
