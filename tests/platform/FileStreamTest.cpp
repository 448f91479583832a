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

}  // namespace
}  // namespace pw
