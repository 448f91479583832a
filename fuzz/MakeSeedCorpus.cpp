// Writes the fuzzers' starting points into the folder given, one subfolder
// per target: valid settings streams, their JSON, registry files and journal
// lines.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "archiver/Journal.h"
#include "cli/SettingsJson.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Streams.h"

namespace {

void Text(const std::string& folder, const std::string& name, const std::string& text) {
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/" + name, std::ios::binary) << text;
}

void Write(const std::string& folder, const std::string& name, pw::TbkManager& manager) {
  pw::TMemoryStream stream;
  manager.SaveToStream(stream, false);
  Text(folder + "/settings_reader_fuzz", name, stream.Bytes());
  std::ostringstream json;
  pw::WriteDocumentJson(manager, json);
  Text(folder + "/import_fuzz", name + ".json", json.str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  pw::TbkManager empty;
  Write(folder, "empty.dat", empty);

  pw::TbkManager full;
  full.SetArchiverExeFileName("C:\\Program Files\\WinRAR\\WinRAR.exe");
  full.SetArchiverParams("a -r");
  full.SetExcludeKey("-x");
  full.SetSubDirNamePattern("yyyy-mm-dd");
  for (int i = 0; i < 3; ++i) {
    pw::TbkDirectory* d = full.Directories()->Add();
    // A path that import takes in either style, so that the seed is read whole.
    d->SetPath("/work/" + std::to_string(i));
    d->SetRuleName("Rule" + std::to_string(i));
    d->SetNeedArchive(i != 1);
    d->SetArchiveFileName(std::string(i * 150, 'n'));
  }
  for (int i = 0; i < 2; ++i) {
    pw::TbkRule* r = full.Rules()->Add();
    r->SetName("Rule" + std::to_string(i));
    r->SetCaption("Caption");
    r->SetCategory(i ? pw::ecInclude : pw::ecExclude);
    const int sizes[] = {0, -1, 300, 70000, -2147483647};
    for (int size : sizes) {
      pw::TbkExtension* e = r->Extensions()->Add();
      e->SetExt("*.e" + std::to_string(size));
      e->SetActive(size % 2 == 0);
      e->SetTotalSize(size);
      e->SetProgramCaption("Type");
    }
  }
  Write(folder, "full.dat", full);

  const std::string registry = folder + "/registry_file_fuzz";
  Text(registry, "regedit4.reg",
       "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
       "App Paths\\WinRAR.exe]\r\n@=\"C:\\\\Program Files\\\\WinRAR\\\\WinRAR.exe\"\r\n"
       "\"Path\"=\"C:\\\\Program Files\\\\WinRAR\"\r\n\r\n[HKEY_CLASSES_ROOT\\.txt]\r\n"
       "@=\"txtfile\"\r\n[-HKEY_CLASSES_ROOT\\.old]\r\n; a comment\r\n");
  Text(registry, "version5.reg",
       "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\txtfile]\n"
       "@=hex(2):54,00,65,00,78,00,\\\n  74,00,00,00\n\"Size\"=dword:0000001f\n"
       "\"Data\"=hex:01,02,ff\n@=-\n[HKLM\\Software\\Classes\\.doc]\n@=\"Word\"\n");

  const std::string journal = folder + "/journal_fuzz";
  pw::TJournalRecord record;
  record.directory = "D:\\Work\\\"1\"\n";
  record.position = 2;
  record.archive = "D:\\Out\\2026-12-08\\Work_1.7z";
  record.started = "2026-12-08T02:30:00+01:00";
  Text(journal, "not-run.json", pw::JournalLine(record));
  record.ended = "2026-12-08T02:31:05+01:00";
  record.status = 0;
  record.bytes = 5000000000;
  Text(journal, "done.json", pw::JournalLine(record));
  record.directory = "/data/B\xC3\xBCro \x01";
  record.status = -1;
  record.bytes.reset();
  record.error = "exit";
  Text(journal, "failed.json", pw::JournalLine(record));
  return 0;
}
