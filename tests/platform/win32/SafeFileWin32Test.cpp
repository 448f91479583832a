// The careful save against the system's own files: attributes, locks and the
// read-only attribute.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "platform/SafeFile.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

using namespace pw::test;

class SafeFileWin32 : public ::testing::Test {
 protected:
  SafeFileWin32() : temp_("safe32") {}

  int Entries() const {
    return static_cast<int>(
        std::distance(fs::directory_iterator(temp_.Path()), fs::directory_iterator()));
  }

  TTempFolder temp_;
};

TEST_F(SafeFileWin32, AReplacedFileKeepsItsAttributes) {
  // In a folder whose name is not ASCII, named in the ANSI code page.
  const fs::path folder = temp_.Path() / FromProgramPath(Local8Bit("B\xC3\xBCro"));
  fs::create_directories(folder);
  const std::string name = ProgramPath(folder / "a.dat");
  SaveFile(name, "old");
  ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  SaveFile(name, "new content");
  EXPECT_EQ(ReadFile(folder / "a.dat"), "new content");
  const DWORD attributes = GetFileAttributesA(name.c_str());
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN) << attributes;
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(SafeFileWin32, ALockedTargetCannotBeCreatedAndLeavesNothing) {
  const std::string name = ProgramPath(temp_ / "locked.dat");
  SaveFile(name, "old");
  HANDLE lock = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SaveFails(name, "new"), "Cannot create file " + name);
  CloseHandle(lock);
  EXPECT_EQ(ReadFile(temp_ / "locked.dat"), "old");
  EXPECT_EQ(Entries(), 1) << "no temporary file is left behind";
}

// Editors, virus scanners and backup programs read a file while sharing it;
// a save meanwhile replaces it, and the reader keeps the old text. A reader
// that does not let the file be renamed still stops the save before anything
// is written.
TEST_F(SafeFileWin32, AReaderHoldingTheFileDoesNotStopTheSave) {
  const std::string name = ProgramPath(temp_ / "read.dat");
  SaveFile(name, "old");
  HANDLE reader = CreateFileA(name.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  SaveFile(name, "new content");
  char buffer[16] = {};
  DWORD n = 0;
  EXPECT_TRUE(::ReadFile(reader, buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(std::string(buffer, n), "old");
  CloseHandle(reader);
  EXPECT_EQ(ReadFile(temp_ / "read.dat"), "new content");

  reader = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SaveFails(name, "newer"), "Cannot create file " + name);
  CloseHandle(reader);
  EXPECT_EQ(ReadFile(temp_ / "read.dat"), "new content");
  EXPECT_EQ(Entries(), 1);
}

TEST_F(SafeFileWin32, TheReadOnlyAttributeIsRespected) {
  const std::string name = ProgramPath(temp_ / "kept.dat");
  SaveFile(name, "old");
  ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(SaveFails(name, "new"), "Cannot create file " + name);
  EXPECT_EQ(ReadFile(temp_ / "kept.dat"), "old");
  EXPECT_EQ(Entries(), 1);
  SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
  SaveFile(name, "new");
  EXPECT_EQ(ReadFile(temp_ / "kept.dat"), "new");
}

TEST_F(SafeFileWin32, ANewFileAndAMissingFolder) {
  const std::string name = ProgramPath(temp_ / "fresh.dat");
  SaveFile(name, "x");
  EXPECT_EQ(ReadFile(temp_ / "fresh.dat"), "x");
  const std::string missing = ProgramPath(temp_ / "no" / "such.dat");
  EXPECT_EQ(SaveFails(missing, "x"), "Cannot create file " + missing);
  EXPECT_EQ(Entries(), 1);
}

}  // namespace
}  // namespace pw
