// The JSON form of the settings document: streamed export, refusing input
// that cannot be represented, and texts made safe for a terminal.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/SettingsJson.h"
#include "cli/TerminalText.h"
#include "platform/Errors.h"
#include "platform/fakes/FakeProcesses.h"

namespace pw {
namespace {

std::string ParseFailure(const std::string& text) {
  TbkManager m;
  try {
    ParseSettingsJson(text, m);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no failure";
}

// The whole document as one JSON tree: what the streamed export must print.
Json DocumentToJson(const TbkManager& m) {
  Json directories = Json::array();
  for (int i = 0; i < m.Directories()->Count(); ++i) {
    const TbkDirectory& d = *m.Directories()->Items(i);
    directories.push_back({{"RuleName", TextToJson(d.RuleName())},
                           {"Path", TextToJson(d.Path())},
                           {"NeedArchive", d.NeedArchive()},
                           {"ArchiveFileName", TextToJson(d.ArchiveFileName())}});
  }
  Json rules = Json::array();
  for (int i = 0; i < m.Rules()->Count(); ++i) {
    const TbkRule& r = *m.Rules()->Items(i);
    Json masks = Json::array();
    for (int k = 0; k < r.Extensions()->Count(); ++k) {
      const TbkExtension& e = *r.Extensions()->Items(k);
      masks.push_back({{"Ext", TextToJson(e.Ext())},
                       {"Active", e.Active()},
                       {"Category1", CategoryName(e.Category1())},
                       {"TotalSize", e.TotalSize()},
                       {"ProgramCaption", TextToJson(e.ProgramCaption())}});
    }
    rules.push_back({{"Name", TextToJson(r.Name())},
                     {"Caption", TextToJson(r.Caption())},
                     {"Category", CategoryName(r.Category())},
                     {"Extensions", masks}});
  }
  Json json = {{"PacketwrightSettings", kJsonFormatVersion},
               {"Tag", m.Tag()},
               {"OutputPath", TextToJson(m.OutputPath())},
               {"ArchiverExeFileName", TextToJson(m.ArchiverExeFileName())},
               {"ArchiverParams", TextToJson(m.ArchiverParams())},
               {"SubDirNamePattern", TextToJson(m.SubDirNamePattern())},
               {"ExcludeKey", TextToJson(m.ExcludeKey())}};
  if (m.Schedule().Set()) json["Schedule"] = ScheduleToJson(m.Schedule());
  if (!m.Keep().KeepsAll()) json["Keep"] = KeepRulesToJson(m.Keep());
  json["TestArchives"] = m.TestArchives();
  json["Directories"] = directories;
  json["Rules"] = rules;
  json["Left"] = m.Left();
  json["Top"] = m.Top();
  return json;
}

TEST(SettingsJson, StreamedExportIsTheDumpOfTheWholeTree) {
  TbkManager m;
  for (int round = 0; round < 3; ++round) {
    std::ostringstream streamed;
    WriteDocumentJson(m, streamed);
    EXPECT_EQ(streamed.str(), DocumentToJson(m).dump(2) + "\n") << "round " << round;
    // Each round adds what the last did not have: lists, hex texts, masks.
    m.SetArchiverParams("a \"-r\"\t\xFF");
    TbkDirectory* d = m.Directories()->Add();
    d->SetPath("D:\\B\xFCro");
    d->SetNeedArchive(round % 2 == 0);
    TbkRule* r = m.Rules()->Add();
    r->SetName("R" + std::to_string(round));
    if (round > 0) r->Extensions()->Add()->SetExt("*.doc");
    if (round > 1) r->Extensions()->Add()->SetProgramCaption("\x80");
    m.SetLeft(static_cast<uint16_t>(round * 100));
    m.SetKeep(TKeepRules{round + 1, 0, 0, round});
    m.SetTestArchives(round % 2 == 1);
  }
}

TEST(SettingsJson, AFailingOutputIsAWriteError) {
  TbkManager m;
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  try {
    WriteDocumentJson(m, out);
    FAIL() << "no error";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Stream write error");
  }
}

TEST(SettingsJson, NumbersThatDoNotFitAreRefusedNotWrapped) {
  EXPECT_EQ(ParseFailure("{\"Tag\":1e999}").rfind("Invalid settings JSON: ", 0), 0u);
  EXPECT_EQ(
      ParseFailure("{\"Tag\":" + std::string(10001, '9') + "}").rfind("Invalid settings JSON: ", 0),
      0u);
  EXPECT_EQ(ParseFailure("{\"Rules\":[{\"Extensions\":[{\"TotalSize\":18446744073709551615}]}]}"),
            "Invalid settings JSON at $.Rules[0].Extensions[0].TotalSize: out of range");
  EXPECT_EQ(ParseFailure("{\"Tag\":9223372036854775808}"),
            "Invalid settings JSON at $.Tag: out of range");
  EXPECT_EQ(ParseFailure("{\"Tag\":2147483648}"), "Invalid settings JSON at $.Tag: out of range");
  EXPECT_EQ(ParseFailure("{\"Tag\":-2147483648, \"Left\": 65535}"), "no failure");
}

TEST(SettingsJson, TheWindowPlaceTakesSixteenBitsUnsigned) {
  for (const std::string member : {"Left", "Top"}) {
    const std::string out = "Invalid settings JSON at $." + member + ": out of range";
    EXPECT_EQ(ParseFailure("{\"" + member + "\": 0}"), "no failure");
    EXPECT_EQ(ParseFailure("{\"" + member + "\": 65535}"), "no failure");
    EXPECT_EQ(ParseFailure("{\"" + member + "\": 65536}"), out);
    EXPECT_EQ(ParseFailure("{\"" + member + "\": -1}"), out);
  }
}

TEST(SettingsJson, AMemberGivenTwiceIsRefusedNamingIt) {
  EXPECT_EQ(ParseFailure("{\"OutputPath\": \"/a\", \"OutputPath\": \"/b\"}"),
            "Invalid settings JSON: the member \"OutputPath\" appears twice");
  EXPECT_EQ(ParseFailure("{\"Directories\": [{\"Path\": \"/a\", \"NeedArchive\": true, "
                         "\"NeedArchive\": false}]}"),
            "Invalid settings JSON: the member \"NeedArchive\" appears twice");
  EXPECT_EQ(ParseFailure("{\"\": 1, \"\": 2}"),
            "Invalid settings JSON: the member \"\" appears twice");
  // One name in two objects is no repeat.
  EXPECT_EQ(ParseFailure("{\"Directories\": [{\"Path\": \"/a\"}, {\"Path\": \"/b\"}], "
                         "\"Rules\": [{\"Name\": \"x\", \"Extensions\": [{\"Ext\": \"*.a\"}]}]}"),
            "no failure");
}

TEST(SettingsJson, AWrongValueIsNamedWithItsPlaceAndWhatWasExpected) {
  const std::string at = "Invalid settings JSON at $";
  const std::string text = ": expected a string or {\"hex\": ...}";
  const std::pair<const char*, std::string> cases[] = {
      {"[]", at + ": expected an object"},
      {"{\"Tag\": \"1\"}", at + ".Tag: expected an integer"},
      {"{\"Tag\": 1.0}", at + ".Tag: expected an integer"},
      {"{\"Left\": 65536}", at + ".Left: out of range"},
      {"{\"Top\": -1}", at + ".Top: out of range"},
      {"{\"PacketwrightSettings\": 2}", at + ".PacketwrightSettings: out of range"},
      {"{\"OutputPath\": 5}", at + ".OutputPath" + text},
      {"{\"OutputPath\": null}", at + ".OutputPath" + text},
      {"{\"OutputPath\": [\"a\"]}", at + ".OutputPath" + text},
      {"{\"OutputPath\": {}}", at + ".OutputPath" + text},
      {"{\"OutputPath\": {\"hex\": 61}}", at + ".OutputPath" + text},
      {"{\"OutputPath\": {\"hex\": \"61\", \"x\": 1}}", at + ".OutputPath" + text},
      {"{\"OutputPath\": {\"x\": 1, \"hex\": \"61\"}}", at + ".OutputPath" + text},
      {"{\"OutputPath\": {\"hex\": \"616\"}}",
       at + ".OutputPath: odd number of hexadecimal digits"},
      {"{\"OutputPath\": {\"hex\": \"6g\"}}", at + ".OutputPath: not a hexadecimal digit"},
      {"{\"Directories\": {}}", at + ".Directories: expected an array"},
      {"{\"Directories\": [{\"Path\": \"/a\"}, 1]}", at + ".Directories[1]: expected an object"},
      {"{\"Directories\": [[]]}", at + ".Directories[0]: expected an object"},
      {"{\"Directories\": [{\"NeedArchive\": 1}]}",
       at + ".Directories[0].NeedArchive: expected true or false"},
      {"{\"Directories\": [{\"Path\": {\"hex\": \"2f\"}, \"RuleName\": false}]}",
       at + ".Directories[0].RuleName" + text},
      {"{\"Rules\": [{\"Category\": \"ecOther\"}]}",
       at + ".Rules[0].Category: expected \"ecInclude\" or \"ecExclude\""},
      {"{\"Rules\": [{\"Extensions\": [{}, {\"Category1\": 0}]}]}",
       at + ".Rules[0].Extensions[1].Category1: expected \"ecInclude\" or \"ecExclude\""},
      {"{\"Rules\": [{\"Extensions\": [{\"Active\": \"true\"}]}]}",
       at + ".Rules[0].Extensions[0].Active: expected true or false"},
      {"{\"Rules\": [{\"Extensions\": {\"Ext\": \"*.a\"}}]}",
       at + ".Rules[0].Extensions: expected an array"},
      // A schedule is read whole, nested values and all, then checked.
      {"{\"Schedule\": \"02:00\"}",
       at + ".Schedule: expected {\"At\": \"HH:MM\", \"Days\": [\"mon\", ...]}"},
      {"{\"Schedule\": [\"02:00\"]}",
       at + ".Schedule: expected {\"At\": \"HH:MM\", \"Days\": [\"mon\", ...]}"},
      {"{\"Schedule\": {\"At\": \"24:00\"}}",
       at + ".Schedule: \"At\" expected a time \"HH:MM\" from 00:00 to 23:59"},
      {"{\"Schedule\": {\"Days\": [\"mon\"]}}", at + ".Schedule: the schedule has no \"At\""},
      {"{\"Schedule\": {\"At\": \"2:00\", \"Days\": []}}",
       at + ".Schedule: \"Days\" expected an array of day names"},
      {"{\"Schedule\": {\"At\": \"2:00\", \"Days\": [\"mon\", {\"x\": [1, [2]]}]}}",
       at + ".Schedule: \"Days\" expected \"mon\", \"tue\", \"wed\", \"thu\", \"fri\", \"sat\" or \"sun\""},
      {"{\"Schedule\": {\"At\": \"2:00\", \"Days\": [\"fri\", \"FRI\"]}}",
       at + ".Schedule: \"Days\" names a day twice"},
      {"{\"Schedule\": {\"At\": \"2:00\", \"When\": {\"a\": [[]]}}}",
       at + ".Schedule: unknown member of the schedule"},
      {"{\"Keep\": 14}",
       at + ".Keep: expected {\"Last\": N, \"Daily\": N, \"Weekly\": N, \"Monthly\": N}"},
      {"{\"Keep\": {\"Last\": -1}}",
       at + ".Keep: a keep rule expected a whole number from 0 to 99999"},
      {"{\"Keep\": {\"Daily\": 1.5}}",
       at + ".Keep: a keep rule expected a whole number from 0 to 99999"},
      {"{\"Keep\": {\"Yearly\": 1}}", at + ".Keep: unknown member of the keep rules"},
      {"{\"TestArchives\": 0}", at + ".TestArchives: expected true or false"},
  };
  for (const auto& [json, message] : cases) EXPECT_EQ(ParseFailure(json), message) << json;

  TbkManager m;
  ParseSettingsJson("{\"OutputPath\": {\"hex\": \"4142ff\"}, \"Rules\": [{\"Category\": "
                    "\"ecInclude\", \"Extensions\": [{\"Ext\": {\"hex\": \"\"}, \"TotalSize\": "
                    "-5}]}]}",
                    m);
  EXPECT_EQ(m.OutputPath(), "AB\xFF");
  ASSERT_EQ(m.Rules()->Count(), 1);
  EXPECT_EQ(m.Rules()->Items(0)->Category(), ecInclude);
  ASSERT_EQ(m.Rules()->Items(0)->Extensions()->Count(), 1);
  EXPECT_EQ(m.Rules()->Items(0)->Extensions()->Items(0)->TotalSize(), -5);

  // What follows a schedule is read as usual.
  TbkManager scheduled;
  ParseSettingsJson("{\"Schedule\": {\"Days\": [\"sun\", \"Sat\"], \"At\": \"7:05\"}, "
                    "\"ExcludeKey\": \"-x\"}",
                    scheduled);
  EXPECT_EQ(scheduled.Schedule(), (TSchedule{7 * 60 + 5, 0b1100000}));
  EXPECT_EQ(scheduled.ExcludeKey(), "-x");

  // Keep rules left out are 0; the archive test stays on unless turned off.
  TbkManager kept;
  ParseSettingsJson("{\"Keep\": {\"Monthly\": 6, \"Last\": 3}}", kept);
  EXPECT_EQ(kept.Keep(), (TKeepRules{3, 0, 0, 6}));
  EXPECT_TRUE(kept.TestArchives());
  ParseSettingsJson("{\"Keep\": {}, \"TestArchives\": false}", kept);
  EXPECT_TRUE(kept.Keep().KeepsAll());
  EXPECT_FALSE(kept.TestArchives());
}

// Only where the password is kept travels, and a document that encrypts
// nothing exports as it did before the option was there.
TEST(SettingsJson, ThePasswordsPlaceAndNoMoreTravelsAndIsLeftOutWhenUnused) {
  EXPECT_EQ(ParseFailure("{\"Password\": {\"KeptIn\": \"file\"}}"),
            "Invalid settings JSON at $.Password: a password file needs its \"File\"");
  EXPECT_EQ(ParseFailure("{\"Password\": {\"KeptIn\": \"safe\"}}"),
            "Invalid settings JSON at $.Password: \"KeptIn\" expected \"keyring\" or \"file\"");
  EXPECT_EQ(ParseFailure("{\"Password\": {\"KeptIn\": \"keyring\", \"Password\": \"x\"}}"),
            "Invalid settings JSON at $.Password: unknown member of the password's place");
  TbkManager m;
  ParseSettingsJson("{\"Password\": {\"KeptIn\": \"file\", \"File\": \"/home/u/.pw\"}, "
                    "\"EncryptNames\": true}",
                    m);
  EXPECT_EQ(m.Password(), (TPasswordPlace{TPasswordKeeping::pkFile, "/home/u/.pw"}));
  EXPECT_TRUE(m.EncryptNames());
  std::ostringstream out;
  WriteDocumentJson(m, out);
  EXPECT_NE(out.str().find("  \"Password\": {\n    \"KeptIn\": \"file\",\n    \"File\": "
                           "\"/home/u/.pw\"\n  },\n  \"EncryptNames\": true,\n"),
            std::string::npos)
      << out.str();

  const TbkManager plain;
  std::ostringstream before;
  WriteDocumentJson(plain, before);
  EXPECT_EQ(before.str().find("Password"), std::string::npos);
  EXPECT_EQ(before.str().find("EncryptNames"), std::string::npos);
}

// Of several problems, a syntax error anywhere comes first, then a member
// given twice, then the document's shape: an object's unknown members before
// its values, the manager's members in their own order whatever the
// document's, and the items of a list one after the other.
TEST(SettingsJson, OfSeveralProblemsTheSameOneIsAlwaysNamed) {
  EXPECT_EQ(ParseFailure("{\"Colour\": 1, "),
            "Invalid settings JSON at line 1, column 15: unexpected end of input; expected string "
            "literal");
  EXPECT_EQ(ParseFailure("{\"Tag\": \"x\", \"Left\": 1, \"Left\": 2}"),
            "Invalid settings JSON: the member \"Left\" appears twice");
  EXPECT_EQ(ParseFailure("{\"Colour\": {\"a\": [{\"b\": 1, \"b\": 2}]}}"),
            "Invalid settings JSON: the member \"b\" appears twice");
  EXPECT_EQ(ParseFailure("{\"A\": 1, \"A\": 2, \"B\": 1, \"B\": 2}"),
            "Invalid settings JSON: the member \"A\" appears twice");
  const std::string at = "Invalid settings JSON at $";
  EXPECT_EQ(ParseFailure("{\"Tag\": \"x\", \"Colour\": 1, \"Shade\": 2}"),
            at + ": unknown member \"Colour\"");
  EXPECT_EQ(ParseFailure("{\"Directories\": [{\"Path\": 1}], \"Colour\": 1}"),
            at + ": unknown member \"Colour\"");
  EXPECT_EQ(ParseFailure("{\"Top\": -1, \"Tag\": \"x\"}"), at + ".Tag: expected an integer");
  EXPECT_EQ(ParseFailure("{\"Rules\": [{\"Colour\": 1}], \"Directories\": [{\"Path\": 1}]}"),
            at + ".Directories[0].Path: expected a string or {\"hex\": ...}");
  EXPECT_EQ(ParseFailure("{\"Directories\": [{\"NeedArchive\": 1, \"Colour\": 1}]}"),
            at + ".Directories[0]: unknown member \"Colour\"");
  EXPECT_EQ(ParseFailure("{\"Directories\": [{\"NeedArchive\": 1, \"Path\": 2}, {\"X\": 1}]}"),
            at + ".Directories[0].Path: expected a string or {\"hex\": ...}");
  EXPECT_EQ(
      ParseFailure("{\"Rules\": [{\"Extensions\": [{\"TotalSize\": 1e3}], \"Category\": 1}]}"),
      at + ".Rules[0].Category: expected \"ecInclude\" or \"ecExclude\"");
  EXPECT_EQ(ParseFailure("{\"Directories\": [{\"Path\": \"docs\"}], \"Left\": -1}"),
            at + ".Left: out of range")
      << "a path is checked once the document is read";
}

std::string ImportingPath(const std::string& pathJson) {
  return ParseFailure("{\"Directories\": [{\"Path\": \"/ok\"}, {\"Path\": " + pathJson + "}]}");
}

TEST(SettingsJson, APathNoJobCouldArchiveIsRefused) {
  fakes::FixedPathStyle posix(TPathStyle::psPosix);
  const ScopedOverride<IPathStyle> usePosix(posix);
  const std::string control = "The directory's path holds a control character";
  const std::string second = "Cannot import directory 2 \"";
  EXPECT_EQ(ImportingPath("\"/a\\u0000b\""),
            second + "/a" + std::string(1, '\0') + "b\": " + control);
  EXPECT_EQ(ImportingPath("\"/a\\nb\""), second + "/a\nb\": " + control);
  EXPECT_EQ(ImportingPath("{\"hex\": \"2f610d\"}"), second + "/a\r\": " + control);
  EXPECT_EQ(ImportingPath("\"/a\\u007f\""), second + "/a\x7F\": " + control);
  EXPECT_EQ(ImportingPath("\"\""), second + "\": The directory's path is empty");
  EXPECT_EQ(ParseFailure("{\"Directories\": [{\"NeedArchive\": false}]}"),
            "Cannot import directory 1 \"\": The directory's path is empty")
      << "a directory without a path has an empty one";
  const std::string relative = "\": The directory's path is not absolute";
  EXPECT_EQ(ImportingPath("\"docs\""), second + "docs" + relative);
  EXPECT_EQ(ImportingPath("\"C:\\\\Data\""), second + "C:\\Data" + relative);
  EXPECT_EQ(ImportingPath("\"~docs\""), second + "~docs" + relative) << "only ~/ is the home";
#ifndef _WIN32  // a Windows home folder is no POSIX path
  EXPECT_EQ(ImportingPath("\"~/docs\""), "no failure");
#endif
  EXPECT_EQ(ParseFailure("{\"Directories\": [{\"Path\": \"docs\", \"Colour\": 1}]}"),
            "Invalid settings JSON at $.Directories[0]: unknown member \"Colour\"")
      << "the document's shape is checked first";
}

TEST(SettingsJson, TheWindowsStyleTakesARelativePathButNoControlCharacter) {
  fakes::FixedPathStyle windows(TPathStyle::psWindows);
  const ScopedOverride<IPathStyle> useWindows(windows);
  EXPECT_EQ(ImportingPath("\"C:\\\\Data\""), "no failure");
  EXPECT_EQ(ImportingPath("\"docs\""), "no failure");
  EXPECT_EQ(ImportingPath("\"C:\\\\a\\tb\""),
            "Cannot import directory 2 \"C:\\a\tb\": The directory's path holds a control "
            "character");
}

TEST(TerminalText, ControlBytesAreShownAsEscapes) {
  EXPECT_EQ(Printable("\x1B[2Jroot"), "\\x1B[2Jroot");
  EXPECT_EQ(Printable(std::string("a\0b\tc\x7F\r\n", 8)), "a\\x00b\\x09c\\x7F\\x0D\\x0A");
  EXPECT_EQ(Printable("C:\\B\xFCro \xC3\xA4 ~"), "C:\\B\xFCro \xC3\xA4 ~");
  // C1 controls as UTF-8 and as lone bytes, and text that reads backwards.
  EXPECT_EQ(Printable("a\xC2\x9B" "2Jb\x9B" "2J\xC2\xA0"), "a\\xC2\\x9B2Jb\\x9B2J\xC2\xA0");
  EXPECT_EQ(Printable("txt.\xE2\x80\xAE" "exe \xE2\x81\xA6x\xE2\x81\xA9 \xE2\x80\x94"),
            "txt.\\xE2\\x80\\xAEexe \\xE2\\x81\\xA6x\\xE2\\x81\\xA9 \xE2\x80\x94");
  // A sequence cut short is taken byte by byte.
  EXPECT_EQ(Printable("\xE2\x80"), "\xE2\\x80");
}

}  // namespace
}  // namespace pw
