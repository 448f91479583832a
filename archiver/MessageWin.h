// The small progress window that long operations show while they keep the
// user-interface thread busy. The window itself belongs to the user
// interface, which puts its factory in place at start-up with
// ScopedOverride<IMessageWinFactory>; without one, nothing is shown.
#pragma once

#include "platform/Services.h"

#include <memory>
#include <string>

namespace pw {

class IMessageWin {
 public:
  virtual ~IMessageWin() = default;  // destroying the window takes it off the screen
  // Sets the text, shows the window and brings the screen up to date at once.
  virtual void ShowText(const std::string& text) = 0;
};

class IMessageWinFactory {
 public:
  virtual ~IMessageWinFactory() = default;
  virtual std::unique_ptr<IMessageWin> CreateMessageWin() = 0;
};

// The implementation this build provides.
template <>
IMessageWinFactory& DefaultService<IMessageWinFactory>();

}  // namespace pw
