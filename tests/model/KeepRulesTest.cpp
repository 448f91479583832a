// The keep rules as the document keeps them: their text, their place in the
// settings file, and the archive test that follows them there.
#include <gtest/gtest.h>

#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "tests/model/StreamBytes.h"

namespace pw {
namespace {

using namespace pw::test;

TEST(KeepRulesText, TextAndParseGiveEachOtherBack) {
  EXPECT_EQ(KeepRulesText(TKeepRules{}), "");
  EXPECT_EQ(KeepRulesText(TKeepRules{14, 0, 4, 0}), "last 14, weekly 4");
  EXPECT_EQ(KeepRulesText(TKeepRules{0, 7, 0, 12}), "daily 7, monthly 12");
  for (const TKeepRules& rules :
       {TKeepRules{}, TKeepRules{1, 2, 3, 4}, TKeepRules{kKeepMost, 0, 0, 0}}) {
    EXPECT_EQ(ParseKeepRules(KeepRulesText(rules)), rules) << KeepRulesText(rules);
  }
  EXPECT_EQ(ParseKeepRules("monthly 3,last 2"), (TKeepRules{2, 0, 0, 3})) << "any order";
  EXPECT_EQ(ParseKeepRules("daily 0"), TKeepRules{});
  for (const char* bad : {"last", "last -1", "last 100000", "last 2, last 3", "hourly 4",
                          "last 2,", "last 2x", "Last 2", "last 2 daily 3"}) {
    EXPECT_EQ(ParseKeepRules(bad), std::nullopt) << bad;
  }
  EXPECT_TRUE(TKeepRules{}.KeepsAll());
  EXPECT_FALSE((TKeepRules{0, 0, 0, 1}).KeepsAll());
}

TEST(KeepRulesInTheSettingsFile, ComeAfterTheScheduleAndTravelBack) {
  TbkManager manager;
  manager.SetModified(false);
  manager.SetKeep(TKeepRules{3, 0, 0, 6});
  EXPECT_TRUE(manager.GetModified());
  manager.SetModified(false);
  manager.SetKeep(TKeepRules{3, 0, 0, 6});
  EXPECT_FALSE(manager.GetModified()) << "the same rules again are no change";
  manager.SetTestArchives(false);
  EXPECT_TRUE(manager.GetModified());

  const std::string bytes = Save(manager);
  EXPECT_EQ(bytes, Document(Short("OutputPath") + Str("C:\\MyArchives") + Short("Keep") +
                            Str("last 3, monthly 6") + Short("TestArchives") + Hex("08") +
                            Short("Directories") + Hex("0E 00") + Short("Rules") + Hex("0E 00")));
  TbkManager copy;
  Load(copy, bytes);
  EXPECT_EQ(copy.Keep(), manager.Keep());
  EXPECT_FALSE(copy.TestArchives());
}

TEST(KeepRulesInTheSettingsFile, ADocumentWithoutThemIsWrittenAsBefore) {
  TbkManager manager;
  EXPECT_TRUE(manager.TestArchives()) << "tests are on unless turned off";
  EXPECT_EQ(Save(manager), Document(Short("OutputPath") + Str("C:\\MyArchives") +
                                    Short("Directories") + Hex("0E 00") + Short("Rules") +
                                    Hex("0E 00")));
}

TEST(KeepRulesInTheSettingsFile, RulesThatAreNoneOfOursAreRefused) {
  for (const char* bad : {"last three", "weekly 4, weekly 4"}) {
    TbkManager manager;
    try {
      Load(manager, Document(Short("Keep") + Str(bad)));
      ADD_FAILURE() << bad << " was read";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Error reading TbkManager.Keep: Invalid property value") << bad;
    }
  }
}

}  // namespace
}  // namespace pw
