// Feeds one arbitrary line to the journal's reader twice: as it stands, and
// behind a space, which only the general JSON reading takes. Both readings
// must agree, record for record. A record that was read must come back alike
// from the line the journal would write for it.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archiver/Journal.h"

namespace {

const std::string& FileName() {
  static const std::string name =
      (std::filesystem::temp_directory_path() / ("pw-journal-fuzz-" + std::to_string(::getpid())))
          .string();
  return name;
}

std::vector<pw::TJournalRecord> Read(const std::string& text) {
  std::ofstream(FileName(), std::ios::binary | std::ios::trunc) << text;
  std::vector<pw::TJournalRecord> records = pw::ReadJournal(FileName());
  std::filesystem::remove(FileName());
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.substr(0, line.find('\n'));
  const std::vector<pw::TJournalRecord> records = Read(line + "\n " + line + "\n");
  if (records.empty()) return 0;
  if (records.size() != 2 || !(records[0] == records[1])) std::abort();
  const std::vector<pw::TJournalRecord> again = Read(pw::JournalLine(records[0]));
  if (again.size() != 1 || !(again[0] == records[0])) std::abort();
  return 0;
}
