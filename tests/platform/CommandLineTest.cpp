#include <gtest/gtest.h>

#include "platform/CommandLine.h"

namespace pw {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitCommandLine("a -r  \"C:\\My Archives\\x\"\tb"),
            (Args{"a", "-r", "C:\\My Archives\\x", "b"}));
  EXPECT_EQ(SplitCommandLine("\"-xC:\\My Documents\\*.tmp\" C:\\D\\*.*"),
            (Args{"-xC:\\My Documents\\*.tmp", "C:\\D\\*.*"}));
  EXPECT_EQ(SplitCommandLine("x\"a b\"y"), (Args{"xa by"}));
  EXPECT_EQ(SplitCommandLine(""), Args{});
  EXPECT_EQ(SplitCommandLine("   "), Args{});
  EXPECT_EQ(SplitCommandLine("\"\" a"), (Args{"", "a"}));
  EXPECT_EQ(SplitCommandLine("\"unclosed a b"), (Args{"unclosed a b"}));
}

TEST(CommandLine, BackslashesBeforeQuotes) {
  EXPECT_EQ(SplitCommandLine("a\\\\\\\"b"), (Args{"a\\\"b"}));     // 3 then quote
  EXPECT_EQ(SplitCommandLine("\"a\\\\\" b"), (Args{"a\\", "b"}));  // 2 then closing quote
  EXPECT_EQ(SplitCommandLine("C:\\Dir\\ x"), (Args{"C:\\Dir\\", "x"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\MyArchives\\D_\" D:\\\\*.*"),
            (Args{"C:\\MyArchives\\D_", "D:\\\\*.*"}));
  EXPECT_EQ(SplitCommandLine("\"a\"\"b\""), (Args{"a\"b"}));
}

}  // namespace
}  // namespace pw
