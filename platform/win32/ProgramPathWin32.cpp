#include <windows.h>

#include "platform/ProgramPath.h"

namespace pw {

std::string ProgramDirectory() {
  char buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  std::string path(buffer, n);
  return path.substr(0, path.find_last_of("\\/:") + 1);
}

}  // namespace pw
