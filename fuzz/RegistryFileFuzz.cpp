// Feeds arbitrary bytes to the registry-file reader. Any input must end in a
// registry or an error of ours, in time linear in its size; the keys that the
// archiver detection asks for must then answer without failing otherwise.
#include <cstdint>
#include <string>

#include "platform/Errors.h"
#include "platform/RegistryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    pw::TRegistryFile registry =
        pw::TRegistryFile::Parse(std::string(reinterpret_cast<const char*>(data), size));
    for (const char* path :
         {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WinRAR.exe", ".txt", "", "x"}) {
      for (auto root : {pw::TRegistryRoot::rrLocalMachine, pw::TRegistryRoot::rrClassesRoot}) {
        if (auto key = registry.OpenKey(root, path)) {
          std::string value;
          key->ReadDefaultValue(value);
        }
      }
    }
  } catch (const pw::ERegistryError&) {
  }
  return 0;
}
