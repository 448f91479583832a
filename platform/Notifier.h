// Telling the user something through the desktop's notifications, as after a
// night in which a job failed.
#pragma once

#include <string>

#include "platform/Services.h"

namespace pw {

enum class TNotificationUrgency { Normal, Critical };

class INotifier {
 public:
  virtual ~INotifier() = default;
  // Shows summary (plain text) over body (shown as it is written) and says
  // whether the desktop took the notification. Never throws and prints
  // nothing; returns within a few seconds even when the desktop does not answer.
  virtual bool Notify(const std::string& summary, const std::string& body,
                      TNotificationUrgency urgency) = 0;
};

// The implementation this build provides.
template <>
INotifier& DefaultService<INotifier>();

}  // namespace pw
