// The settings stream byte for byte, its round trips and how reading merges
// into the document already held.
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "model/HoardkeeperClasses.h"
#include "tests/model/StreamBytes.h"

namespace pw {
namespace {

using namespace pw::test;

const char* const kExample301 =
    "54 50 46 30 0A 54 62 6B 4D 61 6E 61 67 65 72 00"
    "0A 4F 75 74 70 75 74 50 61 74 68 06 0D 43 3A 5C 4D 79 41 72 63 68 69 76 65 73"
    "0E 41 72 63 68 69 76 65 72 50 61 72 61 6D 73 06 04 61 20 2D 72"
    "0A 45 78 63 6C 75 64 65 4B 65 79 06 02 2D 78"
    "0B 44 69 72 65 63 74 6F 72 69 65 73 0E 01"
    "08 52 75 6C 65 4E 61 6D 65 06 04 44 6F 63 73"
    "04 50 61 74 68 06 07 43 3A 5C 44 61 74 61"
    "0F 41 72 63 68 69 76 65 46 69 6C 65 4E 61 6D 65 06 04 44 61 74 61 00 00"
    "05 52 75 6C 65 73 0E 01 04 4E 61 6D 65 06 04 44 6F 63 73"
    "08 43 61 74 65 67 6F 72 79 07 09 65 63 49 6E 63 6C 75 64 65"
    "0A 45 78 74 65 6E 73 69 6F 6E 73 0E 01"
    "03 45 78 74 06 05 2A 2E 64 6F 63"
    "09 43 61 74 65 67 6F 72 79 31 07 09 65 63 45 78 63 6C 75 64 65"
    "09 54 6F 74 61 6C 53 69 7A 65 02 00 00 01"
    "03 45 78 74 06 05 2A 2E 74 6D 70 06 41 63 74 69 76 65 08"
    "09 43 61 74 65 67 6F 72 79 31 07 09 65 63 45 78 63 6C 75 64 65"
    "09 54 6F 74 61 6C 53 69 7A 65 02 00 00 00 00 00 00 00";

TEST(Writing, FreshManagerGivesTheSixtySixBytes) {
  TbkManager manager;
  const std::string expected = "TPF0" + Short("TbkManager") + Hex("00") + Short("OutputPath") +
                               Str("C:\\MyArchives") + Short("Directories") + Hex("0E 00") +
                               Short("Rules") + Hex("0E 00 00 00");
  ASSERT_EQ(expected.size(), 66u);
  EXPECT_EQ(Save(manager), expected);
}

TEST(Writing, ExampleDocumentGivesTheThreeHundredOneBytes) {
  TbkManager manager;
  FillExample(manager);
  const std::string expected = Hex(kExample301);
  ASSERT_EQ(expected.size(), 301u);
  EXPECT_EQ(Save(manager), expected);
}

TEST(Writing, ClearModifiedClearsEveryFlagOnlyWhenAsked) {
  TbkManager manager;
  FillExample(manager);
  Save(manager, false);
  EXPECT_TRUE(manager.GetModified());
  Save(manager, true);
  EXPECT_FALSE(manager.GetModified());
  EXPECT_FALSE(manager.Rules()->Items(0)->Extensions()->Items(1)->GetModified());
}

// The bytes that one mask's TotalSize turns into.
std::string TotalSizeBytes(int32_t value) {
  TbkManager manager;
  manager.Rules()->Add()->Extensions()->Add()->SetTotalSize(value);
  const std::string bytes = Save(manager);
  const std::string name = Short("TotalSize");
  const size_t at = bytes.find(name);
  if (at == std::string::npos) return "absent";
  // The value runs up to the stEnd that closes the mask.
  const size_t start = at + name.size();
  const size_t length = bytes[start] == stInt8 ? 2 : bytes[start] == stInt16 ? 3 : 5;
  return bytes.substr(start, length);
}

TEST(Writing, IntegersTakeTheSmallestTag) {
  EXPECT_EQ(TotalSizeBytes(0), Hex("02 00"));
  EXPECT_EQ(TotalSizeBytes(200), Hex("03 C8 00"));
  EXPECT_EQ(TotalSizeBytes(-1), Hex("02 FF"));
  EXPECT_EQ(TotalSizeBytes(-129), Hex("03 7F FF"));
  EXPECT_EQ(TotalSizeBytes(70000), Hex("04 70 11 01 00"));
  EXPECT_EQ(TotalSizeBytes(127), Hex("02 7F"));
  EXPECT_EQ(TotalSizeBytes(128), Hex("03 80 00"));
  EXPECT_EQ(TotalSizeBytes(-128), Hex("02 80"));
  EXPECT_EQ(TotalSizeBytes(32767), Hex("03 FF 7F"));
  EXPECT_EQ(TotalSizeBytes(-32768), Hex("03 00 80"));
  EXPECT_EQ(TotalSizeBytes(32768), Hex("04 00 80 00 00"));
  EXPECT_EQ(TotalSizeBytes(-32769), Hex("04 FF 7F FF FF"));
  EXPECT_EQ(TotalSizeBytes(INT32_MAX), Hex("04 FF FF FF 7F"));
  EXPECT_EQ(TotalSizeBytes(INT32_MIN + 1), Hex("04 01 00 00 80"));
  EXPECT_EQ(TotalSizeBytes(INT32_MIN), "absent");
}

TEST(Writing, LongTextsUseTheFourByteLength) {
  TbkManager manager;
  manager.Directories()->Add()->SetPath(std::string(300, 'p'));
  const std::string bytes = Save(manager);
  EXPECT_NE(bytes.find(Short("Path") + Hex("0C 2C 01 00 00") + std::string(300, 'p')),
            std::string::npos);

  TbkManager edge;
  edge.SetOutputPath(std::string(255, 'a'));
  edge.SetArchiverParams(std::string(256, 'b'));
  const std::string edgeBytes = Save(edge);
  EXPECT_NE(edgeBytes.find(Hex("06 FF") + std::string(255, 'a')), std::string::npos);
  EXPECT_NE(edgeBytes.find(Hex("0C 00 01 00 00") + std::string(256, 'b')), std::string::npos);
}

TEST(Writing, RootTagAndPositionAreWrittenWhenSet) {
  TbkManager manager;
  Load(manager, Document(Short("Tag") + Hex("02 05") + Short("Left") + Hex("04 40 9C 00 00") +
                         Short("Top") + Hex("02 03")));
  EXPECT_EQ(manager.Tag(), 5);
  EXPECT_EQ(manager.Left(), 40000);
  const std::string bytes = Save(manager);
  EXPECT_EQ(bytes.substr(16, 6), Short("Tag") + Hex("02 05"));
  EXPECT_NE(bytes.find(Short("Rules") + Hex("0E 00") + Short("Left") + Hex("04 40 9C 00 00") +
                       Short("Top") + Hex("02 03") + Hex("00 00")),
            std::string::npos);
}

TEST(Writing, OutputTravelsInFullBlocks) {
  class CountingStream : public TStream {
   public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override {
      writes.push_back(count);
      return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
    std::vector<int64_t> writes;
  } stream;
  TbkManager manager;
  for (int i = 0; i < 500; ++i) manager.Directories()->Add()->SetPath("C:\\Some\\Path");
  manager.SaveToStream(stream, false);
  ASSERT_GT(stream.writes.size(), 1u);
  for (size_t i = 0; i + 1 < stream.writes.size(); ++i) EXPECT_EQ(stream.writes[i], 4096);
  EXPECT_LE(stream.writes.back(), 4096);
}

// ---- Round trips ------------------------------------------------------------

TEST(RoundTrip, EveryStoredValueComesBack) {
  std::mt19937 random(12345);
  auto text = [&](size_t length) {
    std::string s(length, '\0');
    for (char& c : s) c = static_cast<char>(1 + random() % 255);
    return s;
  };
  const size_t lengths[] = {0, 1, 255, 256, 300};
  const int32_t sizes[] = {0,      127,    128,       -128,          -129, 32767, 32768,
                           -32768, -32769, INT32_MAX, INT32_MIN + 1, -1,   1};
  TbkManager original;
  original.SetOutputPath(text(256));
  original.SetArchiverExeFileName(text(255));
  original.SetArchiverParams(text(1));
  original.SetSubDirNamePattern(text(300));
  original.SetExcludeKey("-x");
  for (size_t length : lengths) {
    TbkDirectory* d = original.Directories()->Add();
    d->SetRuleName(text(length));
    d->SetPath(text(length));
    d->SetNeedArchive(length % 2 == 0);
    d->SetArchiveFileName(text(length));
    TbkRule* r = original.Rules()->Add();
    r->SetName(text(length));
    r->SetCaption(text(length));
    r->SetCategory(length % 2 ? ecInclude : ecExclude);
    for (int32_t size : sizes) {
      TbkExtension* e = r->Extensions()->Add();
      e->SetExt(text(length));
      e->SetActive(size % 2 == 0);
      e->SetCategory1(size % 3 ? ecInclude : ecExclude);
      e->SetTotalSize(size);
      e->SetProgramCaption(text(length));
    }
  }
  const std::string bytes = Save(original);
  TbkManager copy;
  Load(copy, bytes);
  EXPECT_EQ(Save(copy), bytes);
  EXPECT_EQ(copy.SubDirNamePattern(), original.SubDirNamePattern());
  EXPECT_EQ(copy.Rules()->Items(4)->Extensions()->Items(9)->TotalSize(), INT32_MAX);
  EXPECT_FALSE(copy.Directories()->Items(1)->NeedArchive());
  EXPECT_TRUE(copy.Directories()->Items(0)->NeedArchive());
}

TEST(RoundTrip, LowestIntegerReadsBackAsTheConstructionValue) {
  TbkManager original;
  original.Rules()->Add()->Extensions()->Add()->SetTotalSize(INT32_MIN);
  TbkManager copy;
  Load(copy, Save(original));
  EXPECT_EQ(copy.Rules()->Items(0)->Extensions()->Items(0)->TotalSize(), 0);
}

TEST(RoundTrip, EmptyOutputPathComesBackAsDefault) {
  TbkManager original;
  original.SetOutputPath("");
  TbkManager copy;
  Load(copy, Save(original));
  EXPECT_EQ(copy.OutputPath(), "C:\\MyArchives");
}

// ---- What the reader accepts beyond what the writer writes -------------------

TEST(Reading, NamesAndEnumerationsIgnoreAsciiCase) {
  TbkManager manager;
  Load(manager,
       Document(Short("outputpath") + Str("D:\\Out") + Short("RULES") + Tag(stCollection) +
                Tag(stList) + Short("category") + Ident("ECINCLUDE") + Tag(stEnd) + Tag(stList) +
                Short("Category") + Ident("ecexclude") + Short("extensions") + Tag(stCollection) +
                Tag(stList) + Short("ACTIVE") + Ident("false") + Tag(stEnd) + Tag(stList) +
                Short("Active") + Tag(stTrue) + Tag(stEnd) + Tag(stEnd) + Tag(stEnd) + Tag(stEnd)));
  EXPECT_EQ(manager.OutputPath(), "D:\\Out");
  ASSERT_EQ(manager.Rules()->Count(), 2);
  EXPECT_EQ(manager.Rules()->Items(0)->Category(), ecInclude);
  EXPECT_EQ(manager.Rules()->Items(1)->Category(), ecExclude);
  EXPECT_FALSE(manager.Rules()->Items(1)->Extensions()->Items(0)->Active());
  EXPECT_TRUE(manager.Rules()->Items(1)->Extensions()->Items(1)->Active());
}

TEST(Reading, HeaderExtrasAreAccepted) {
  TbkManager manager;
  std::string bytes = Document(Short("ExcludeKey") + Str("-x"));
  bytes.replace(4, 11, Short("TSomethingElse"));  // another class name
  bytes.insert(4, Hex("F2 03 10 27"));            // flags byte with an integer after it
  Load(manager, bytes);
  EXPECT_EQ(manager.ExcludeKey(), "-x");

  TbkManager named;
  std::string withName = Document("");
  withName.replace(15, 1, Short("Settings"));
  Load(named, withName);
  EXPECT_EQ(named.Name(), "Settings");
}

TEST(Reading, IntegerBeforeAnItemIsSkipped) {
  TbkManager manager;
  Load(manager, Document(Short("Directories") + Tag(stCollection) + Hex("03 10 00") + Tag(stList) +
                         Short("Path") + Str("C:\\A") + Tag(stEnd) + Hex("02 01") + Tag(stList) +
                         Tag(stEnd) + Tag(stEnd)));
  ASSERT_EQ(manager.Directories()->Count(), 2);
  EXPECT_EQ(manager.Directories()->Items(0)->Path(), "C:\\A");
}

TEST(Reading, NamesInPlaceOfAListLeaveItAlone) {
  for (const std::string& value :
       {Tag(stNil), Ident("Whatever"), Tag(stFalse), Tag(stTrue), Tag(stEnd), Hex("0E 00")}) {
    TbkManager manager;
    manager.Directories()->Add()->SetPath("kept");
    Load(manager, Document(Short("Directories") + value + Short("ExcludeKey") + Str("-x")));
    ASSERT_EQ(manager.Directories()->Count(), 1);
    EXPECT_EQ(manager.Directories()->Items(0)->Path(), "kept");
    EXPECT_EQ(manager.ExcludeKey(), "-x");
  }
}

TEST(Reading, MergesIntoWhatTheManagerHolds) {
  TbkManager manager;
  manager.SetArchiverParams("kept");
  manager.Rules()->Add()->SetName("Old");
  manager.Rules()->Add()->SetName("Older");
  TbkManager fresh;
  Load(manager, Save(fresh));  // empty lists, no ArchiverParams
  EXPECT_EQ(manager.ArchiverParams(), "kept");
  EXPECT_EQ(manager.Rules()->Count(), 2);

  TbkManager two;
  two.Rules()->Add()->SetName("A");
  two.Rules()->Add()->SetName("B");
  Load(manager, Save(two));
  ASSERT_EQ(manager.Rules()->Count(), 2);
  EXPECT_EQ(manager.Rules()->Items(0)->Name(), "A");
  EXPECT_EQ(manager.Rules()->Items(1)->Manager(), &manager);
}

TEST(Reading, PositionEndsJustAfterTheLastByteUsed) {
  TbkManager source;
  for (int i = 0; i < 300; ++i) source.Directories()->Add()->SetPath("C:\\D" + std::to_string(i));
  const std::string bytes = Save(source);
  ASSERT_GT(bytes.size(), 4096u);
  TMemoryStream stream(bytes + "trailing bytes");
  TbkManager target;
  target.LoadFromStream(stream);
  EXPECT_EQ(stream.Position(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(target.Directories()->Count(), 300);
}

}  // namespace
}  // namespace pw
