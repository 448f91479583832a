// What the real 7-Zip does with a password on its standard input, which its
// manual does not say and on which a password kept out of every command line
// relies: `a` with a bare -p reads the first line and asks nothing more; `t`,
// `l` and `x` without -p read it there too (a bare -p would mean an empty
// one); and the end of the input, with no password, is exit status 255.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <string>

#include "archiver/PosixScripts.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32
// The exit status of a shell command; -1 when it did not end by itself.
int Status(const std::string& command) {
  const int raw = std::system(command.c_str());
  return raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

TEST(SevenZipPassword, IsReadFromStandardInputByEachCommand) {
#ifdef _WIN32
  GTEST_SKIP() << "the real 7-Zip of these tests is Linux's 7zz";
#else
  if (Status("command -v 7zz >/dev/null") != 0) GTEST_SKIP() << "7zz is not installed";
  const test::TTempFolder temp("pw-7z-password");
  test::WriteFile(temp / "a.txt", "the letter\n");
  const std::string archive = QuotePosixWord((temp / "enc.7z").string());
  const std::string quiet = " -bso0 -bse0 -bsp0 ";
  const auto seven = [&](const std::string& input, const std::string& command) {
    return Status("printf '" + input + "' | 7zz " + command + quiet + archive);
  };
  // Two lines: only the first is the password, and nothing asks again.
  ASSERT_EQ(Status("printf 'Secret 123\\nother\\n' | 7zz a -p -mhe=on" + quiet + archive + " " +
                   QuotePosixWord((temp / "a.txt").string())),
            0);
  EXPECT_EQ(test::ReadFile(temp / "enc.7z").find("the letter"), std::string::npos)
      << "the archive is encrypted";
  EXPECT_EQ(seven("Secret 123\\n", "t"), 0);
  EXPECT_EQ(seven("Secret 123\\n", "l -slt"), 0);
  EXPECT_EQ(seven("Wrong\\n", "t"), 2) << "a wrong password fails the test";
  EXPECT_EQ(seven("Secret 123\\n", "t -p"), 2) << "a bare -p is an empty password for t";
  EXPECT_EQ(Status("7zz t" + quiet + archive + " </dev/null"), 255)
      << "no password at all: 'Break signaled'";
  const fs::path out = temp / "out";
  EXPECT_EQ(seven("Secret 123\\n", "x -o" + QuotePosixWord(out.string())), 0);
  EXPECT_EQ(test::ReadFile(out / "a.txt"), "the letter\n");
#endif
}

}  // namespace
}  // namespace pw
