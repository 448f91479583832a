// Feeds arbitrary bytes to import's JSON reader. Any input must end in a
// document or an error of ours. A document that was read is exported and
// imported again: the second export must equal the first, and the settings
// stream of both documents must be the same bytes.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "cli/SettingsJson.h"
#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"
#include "platform/Streams.h"

namespace {

std::string Exported(const pw::TbkManager& manager) {
  std::ostringstream out;
  pw::WriteDocumentJson(manager, out);
  return out.str();
}

std::string Stream(pw::TbkManager& manager) {
  pw::TMemoryStream stream;
  manager.SaveToStream(stream, false);
  return stream.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pw::TbkManager first;
  try {
    pw::ParseSettingsJson(std::string(reinterpret_cast<const char*>(data), size), first);
  } catch (const pw::Exception&) {
    return 0;
  }
  const std::string json = Exported(first);
  pw::TbkManager second;
  pw::ParseSettingsJson(json, second);
  if (Exported(second) != json || Stream(first) != Stream(second)) std::abort();
  return 0;
}
