// Files that several programs append to and read at once.
#include <gtest/gtest.h>

#include "platform/Streams.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

using namespace pw::test;
using TMode = TFileStream::TMode;

void Write(TFileStream& file, const std::string& bytes) {
  file.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

TEST(FileStream, AppendersWriteAtTheEndWhereverTheyStand) {
  TTempFolder temp("stream");
  const std::string name = ProgramPath(temp / "log");
  TFileStream first(name, TMode::fmAppend);  // made here
  TFileStream second(name, TMode::fmAppend);
  Write(first, "one\n");
  Write(second, "two\n");
  first.SetPosition(0);
  char byte = 0;
  EXPECT_EQ(first.Read(&byte, 1), 1);
  EXPECT_EQ(byte, 'o');
  Write(first, "three\n");
  first.Flush();

  // A reader meanwhile, and the file kept on the next opening.
  TFileStream reader(name, TMode::fmOpenReadShared);
  std::string text(64, '\0');
  text.resize(static_cast<size_t>(reader.Read(text.data(), 64)));
  EXPECT_EQ(text, "one\ntwo\nthree\n");
  second.Close();
  first.Close();
  TFileStream third(name, TMode::fmAppend);
  Write(third, "four\n");
  third.Close();
  EXPECT_EQ(ReadFile(temp / "log"), "one\ntwo\nthree\nfour\n");
}

// Opening the program's own settings file under another name is no change.
TEST(FileStream, TwoNamesOfOneFileAreTheSameFile) {
  TTempFolder temp("same");
  WriteFile(temp / "a.dat", "x");
  WriteFile(temp / "b.dat", "x");
  const std::string a = ProgramPath(temp / "a.dat");
  EXPECT_TRUE(SameFile(a, ProgramPath(temp / "." / "a.dat")));
  EXPECT_FALSE(SameFile(a, ProgramPath(temp / "b.dat"))) << "equal bytes, another file";
  EXPECT_FALSE(SameFile(a, ProgramPath(temp / "missing.dat")));
  if (!UnderWine()) {
    std::filesystem::create_symlink(temp / "a.dat", temp / "link.dat");
    EXPECT_TRUE(SameFile(ProgramPath(temp / "link.dat"), a));
  }
}

}  // namespace
}  // namespace pw
