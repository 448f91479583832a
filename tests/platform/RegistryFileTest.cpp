// The registry export format read into the portable registry.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/Errors.h"
#include "platform/RegistryFile.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

const TRegistryRoot kMachine = TRegistryRoot::rrLocalMachine;
const TRegistryRoot kClasses = TRegistryRoot::rrClassesRoot;

// The default value of a key: "<missing key>", "<no value>", "<not text>" or the text.
std::string Default(TRegistryFile& registry, TRegistryRoot root, const std::string& path) {
  auto key = registry.OpenKey(root, path);
  if (!key) return "<missing key>";
  std::string value;
  try {
    if (!key->ReadDefaultValue(value)) return "<no value>";
  } catch (const ERegistryError&) {
    return "<not text>";
  }
  return value;
}

std::string ParseError(const std::string& text) {
  try {
    TRegistryFile::Parse(text);
  } catch (const ERegistryError& e) {
    return e.Message();
  }
  return "no error";
}

TEST(RegistryFile, EveryKindOfValueInVersion5) {
  TRegistryFile r = TRegistryFile::Parse(
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
      "Paths\\WinRAR.exe]\r\n"
      "@=\"C:\\\\Program Files\\\\WinRAR\\\\WinRAR.exe\"\r\n"
      "\"Path\"=\"C:\\\\Program Files\\\\WinRAR\"\r\n"
      "\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quoted]\r\n"
      "@=\"say \\\"hi\\\"\"\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Expand]\r\n"
      "@=hex(2):25,00,50,00,46,00,25,00,5c,00,\\\r\n"
      "  78,00,00,00\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Smile]\r\n"
      "@=hex(2):3d,d8,00,de,41,00,3d,d8,00,00\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Number]\r\n"
      "@=dword:0000002a\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Binary]\r\n"
      "@=hex:01,02,ff\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Multi]\r\n"
      "@=hex(7):41,00,00,00,00,00\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty]\r\n"
      "[HKEY_CURRENT_USER\\Ignored]\r\n"
      "@=\"x\"\r\n");
  const std::string appPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  EXPECT_EQ(Default(r, kMachine, appPaths + "WinRAR.exe"), "C:\\Program Files\\WinRAR\\WinRAR.exe");
  EXPECT_EQ(Default(r, kMachine, appPaths + "winrar.EXE"), "C:\\Program Files\\WinRAR\\WinRAR.exe");
  EXPECT_EQ(Default(r, kMachine, "SOFTWARE\\Quoted"), "say \"hi\"");
  EXPECT_EQ(Default(r, kMachine, "SOFTWARE\\Expand"), "%PF%\\x");
  // A pair of surrogates is one character; a lone one is "?".
  EXPECT_EQ(Default(r, kMachine, "SOFTWARE\\Smile"), test::Local8Bit("\xF0\x9F\x98\x80") + "A?");
  EXPECT_EQ(Default(r, kMachine, "SOFTWARE\\Number"), "<not text>");
  EXPECT_EQ(Default(r, kMachine, "SOFTWARE\\Binary"), "<not text>");
  EXPECT_EQ(Default(r, kMachine, "SOFTWARE\\Multi"), "<not text>");
  EXPECT_EQ(Default(r, kMachine, "SOFTWARE\\Empty"), "<no value>");
  EXPECT_EQ(Default(r, kMachine, "SOFTWARE\\Missing"), "<missing key>");
  EXPECT_EQ(Default(r, kMachine, "Ignored"), "<missing key>");
}

TEST(RegistryFile, Regedit4WithLineFeedsAndClasses) {
  TRegistryFile r = TRegistryFile::Parse(
      "REGEDIT4\n"
      "[HKEY_CLASSES_ROOT\\.txt]\n"
      "@=\"txtfile\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\txtfile]\n"
      "@=\"Text Document\"\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Expand]\n"
      "@=hex(2):25,50,46,25,00\n"
      "[HKEY_CLASSES_ROOT\\.gone]\n"
      "@=\"x\"\n"
      "[-HKEY_CLASSES_ROOT\\.gone]\n"
      "[HKEY_CLASSES_ROOT\\.novalue]\n"
      "@=\"x\"\n"
      "@=-\n");
  EXPECT_EQ(Default(r, kClasses, ".txt"), "txtfile");
  EXPECT_EQ(Default(r, kClasses, "txtfile"), "Text Document");
  EXPECT_EQ(Default(r, kMachine, "SOFTWARE\\Expand"), "%PF%");
  EXPECT_EQ(Default(r, kClasses, ".gone"), "<missing key>");
  EXPECT_EQ(Default(r, kClasses, ".novalue"), "<no value>");
  EXPECT_EQ(Default(r, kClasses, ""), "<no value>") << "the root key always opens";
}

// A version 5 file as the registry editor exports it: UTF-16 with a
// byte-order mark, which the values leave as the program's 8-bit texts.
std::string ExportedUtf16(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST(RegistryFile, Utf16FileAsWrittenByTheExporter) {
  const std::u16string header = u"Windows Registry Editor Version 5.00\r\n[HKEY_CLASSES_ROOT\\";
  TRegistryFile r = TRegistryFile::Parse(ExportedUtf16(header + u".d]\r\n@=\"\u00E4\"\r\n"));
  EXPECT_EQ(Default(r, kClasses, ".d"), test::Local8Bit("\xC3\xA4"));
#ifndef _WIN32
  // A character beyond the first 65,536 comes as a pair of surrogates and
  // is one four-byte sequence in UTF-8, not two three-byte ones.
  r = TRegistryFile::Parse(ExportedUtf16(header + u".m]\r\n@=\"\U0001D538 7z\"\r\n"));
  EXPECT_EQ(Default(r, kClasses, ".m"), "\xF0\x9D\x94\xB8 7z");
  // A surrogate without its partner becomes "?", never bytes that no UTF-8
  // reader accepts.
  const std::u16string lone = header + u".l]\r\n@=\"a" + char16_t(0xD835) + u"b" +
                              char16_t(0xDD38) + u"\"\r\n";
  r = TRegistryFile::Parse(ExportedUtf16(lone));
  EXPECT_EQ(Default(r, kClasses, ".l"), "a?b?");
#endif
}

TEST(RegistryFile, MalformedFilesNameTheLine) {
  EXPECT_EQ(ParseError("[HKEY_CLASSES_ROOT\\.x]\n"),
            "Line 1: the file does not begin with a registry header");
  EXPECT_EQ(ParseError("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\.x\n"), "Line 3: unclosed key name");
  EXPECT_EQ(ParseError("REGEDIT4\n@=\"x\"\n"), "Line 2: a value before the first key");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\.x]\n@=\"open\n"), "Line 3: unclosed string");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\.x]\n@=dword:xyz\n"),
            "Line 3: bad dword value");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\.x]\n@=hex:1,zz\n"),
            "Line 3: bad hexadecimal byte \"zz\"");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\.x]\n@=what\n"),
            "Line 3: unknown kind of value");
  EXPECT_EQ(ParseError("REGEDIT4\n[HKEY_CLASSES_ROOT\\.x]\nnonsense\n"),
            "Line 3: expected a key in brackets or a value");
  EXPECT_EQ(ParseError(""), "no error");
}

TEST(RegistryFile, MalformedFileLoadsAsEmptyAndSaysSo) {
  const test::TTempFolder folder("reg");
  const std::filesystem::path file = folder / "a.reg";
  test::WriteFile(file, "REGEDIT4\n[HKEY_CLASSES_ROOT\\.x]\n@=\"x\"\nbroken\n");
  std::string problem;
  TRegistryFile r = TRegistryFile::Load(file.string(), &problem);
  EXPECT_EQ(Default(r, kClasses, ".x"), "<missing key>");
  EXPECT_NE(problem.find("Line 4"), std::string::npos) << problem;
  std::filesystem::remove(file);

  TRegistryFile none = TRegistryFile::Load(file.string(), &problem);
  EXPECT_EQ(Default(none, kClasses, ".x"), "<missing key>");
}

TEST(RegistryFile, AValueThatIsNotTextIsReportedOnceAndTheRestIsRead) {
  const test::TTempFolder folder("reg");
  const std::filesystem::path file = folder / "Packetwright.reg";
  const std::string appPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  auto key = [&](const std::string& path) { return "[HKEY_LOCAL_MACHINE\\" + path + "]\n"; };
  test::WriteFile(file, "REGEDIT4\n\n" + key(appPaths + "wzzip.exe") + "@=hex:41,42,00\n" +
                            key(appPaths + "WinRAR.exe") + "@=dword:00000001\n" +
                            key(appPaths + "7zFM.exe") + "@=\"/usr/lib/7zip/7zFM\"\n" +
                            key("SOFTWARE\\Replaced") + "@=dword:00000002\n" +
                            "@=\"text after all\"\n");
  std::string problem;
  TRegistryFile r = TRegistryFile::Load(file.string(), &problem);
  EXPECT_EQ(problem, file.string() + ": Line 4: the default value is not text\n" + file.string() +
                         ": Line 6: the default value is not text");
  EXPECT_EQ(Default(r, kMachine, appPaths + "WinRAR.exe"), "<not text>");
  EXPECT_EQ(Default(r, kMachine, appPaths + "7zFM.exe"), "/usr/lib/7zip/7zFM");
  EXPECT_EQ(Default(r, kMachine, "SOFTWARE\\Replaced"), "text after all");

  // The live file says it once, however often it is looked up, and again
  // only when it has been read again.
  TLiveRegistryFile live(file.string());
  testing::internal::CaptureStderr();
  for (int i = 0; i < 3; ++i) {
    EXPECT_NE(live.OpenKey(kMachine, appPaths + "WinRAR.exe"), nullptr);
    EXPECT_TRUE(live.HasKey(kMachine, appPaths + "7zFM.exe"));
  }
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "Packetwright: " + file.string() + ": Line 4: the default value is not text\n" +
                      "Packetwright: " + file.string() +
                      ": Line 6: the default value is not text\n");
}

TEST(RegistryFile, ALiveFileIsReadAgainWhenItChanges) {
  namespace fs = std::filesystem;
  const fs::path file =
      fs::temp_directory_path() / ("pw-live-" + std::to_string(::getpid()) + ".reg");
  const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WinRAR.exe";
  // Each write gets a later time, as a real edit a moment later would.
  auto write = [&](const std::string& contents, int second) {
    std::ofstream(file, std::ios::binary) << contents;
    fs::last_write_time(file, fs::file_time_type::clock::now() + std::chrono::seconds(second));
  };
  fs::remove(file);
  TLiveRegistryFile live(file.string());
  EXPECT_EQ(live.OpenKey(kMachine, key), nullptr) << "no file yet";

  write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + key + "]\n@=\"/usr/bin/rar\"\n", 1);
  ASSERT_NE(live.OpenKey(kMachine, key), nullptr) << "registered while running";
  std::string value;
  live.OpenKey(kMachine, key)->ReadDefaultValue(value);
  EXPECT_EQ(value, "/usr/bin/rar");

  write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n", 2);
  EXPECT_EQ(live.OpenKey(kMachine, key), nullptr) << "removed while running";
  EXPECT_TRUE(live.HasKey(kMachine, "SOFTWARE\\Other"));

  fs::remove(file);
  EXPECT_FALSE(live.HasKey(kMachine, "SOFTWARE\\Other")) << "the file is gone";
}

}  // namespace
}  // namespace pw

namespace pw {
namespace {

TEST(RegistryFile, AFileThatCannotBeReadIsIgnoredLikeAMalformedOne) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("pw-regdir-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::string problem;
  TRegistryFile r = TRegistryFile::Load(folder.string(), &problem);
  EXPECT_EQ(Default(r, kMachine, "SOFTWARE"), "<missing key>");
  EXPECT_EQ(problem, folder.string() + ": not a file; the file is ignored");
  std::filesystem::remove_all(folder);
}

TEST(RegistryFile, ALongChainOfContinuationsIsOneValue) {
  std::string text = "REGEDIT4\n[HKEY_CLASSES_ROOT\\.x]\n@=hex(2):";
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    text += "41,\\\n  ";
    expected += 'A';
  }
  text += "00\n[HKEY_CLASSES_ROOT\\.y]\n@=\"after\"\n";
  TRegistryFile r = TRegistryFile::Parse(text);
  EXPECT_EQ(Default(r, kClasses, ".x"), expected);
  EXPECT_EQ(Default(r, kClasses, ".y"), "after");
  // Only a line that holds a value continues.
  TRegistryFile comment =
      TRegistryFile::Parse("REGEDIT4\n; a note \\\n[HKEY_CLASSES_ROOT\\.z]\n@=\"z\"\n");
  EXPECT_EQ(Default(comment, kClasses, ".z"), "z");
}

}  // namespace
}  // namespace pw
