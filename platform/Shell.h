// Asking the desktop to open or edit something, or to start a program.
#pragma once

#include "platform/Services.h"

#include <string>

namespace pw {

enum class TShowCommand { swShowNormal, swShowMinimized };

class IShell {
 public:
  virtual ~IShell() = default;
  // Returns at once; what became of the request is not reported.
  virtual void Execute(const std::string& verb, const std::string& file,
                       const std::string& parameters, const std::string& directory,
                       TShowCommand show) = 0;
};

// The implementation this build provides.
template <>
IShell& DefaultService<IShell>();

}  // namespace pw
