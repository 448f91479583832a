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

// The file types' commands as browsers and Wine register them.
TEST(CommandLine, AnAssociationsCommandTakesTheArgumentWhereItSays) {
  const std::string page = "file:///C:/Program Files/Packetwright/Packetwright.html#context-12";
  const TProgramCall browser = AssociationCall("\"C:\\windows\\winebrowser.exe\" \"%1\"", page);
  EXPECT_EQ(browser.program, "C:\\windows\\winebrowser.exe");
  EXPECT_EQ(browser.parameters, "\"" + page + "\"");
  const TProgramCall edge =
      AssociationCall("\"C:\\Program Files (x86)\\Edge\\msedge.exe\" --single-argument %1", page);
  EXPECT_EQ(edge.program, "C:\\Program Files (x86)\\Edge\\msedge.exe");
  EXPECT_EQ(edge.parameters, "--single-argument " + page);
  EXPECT_EQ(AssociationCall("app.exe -osint -url \"%L\" %*", page).parameters,
            "-osint -url \"" + page + "\"");
  EXPECT_EQ(AssociationCall("app.exe", page).parameters, "\"" + page + "\"");
  EXPECT_EQ(AssociationCall("  \"C:\\a b\\app.exe\"  /new", "x").parameters, "/new \"x\"");
  EXPECT_EQ(AssociationCall("", page).program, "");
}

TEST(QuoteWindowsArgument, EveryArgumentSplitsBackToItself) {
  for (const std::string arg :
       {"plain", "", "two words", "C:\\Program Files\\", "say \"hi\"", "a\\\\\"b", "tab\there",
        "trailing\\", "\\\\server\\share"}) {
    EXPECT_EQ(SplitCommandLine(QuoteWindowsArgument(arg) + " next"),
              (std::vector<std::string>{arg, "next"}))
        << arg;
  }
  EXPECT_EQ(QuoteWindowsArgument("plain"), "plain") << "left as it is";
}

}  // namespace
}  // namespace pw
