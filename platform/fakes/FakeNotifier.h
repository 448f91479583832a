// A stand-in for the desktop's notifications, for tests. Put it in place with
// ScopedOverride<INotifier>.
#pragma once

#include <string>
#include <vector>

#include "platform/Notifier.h"

namespace pw::fakes {

struct NotificationCall {
  std::string summary, body;
  TNotificationUrgency urgency;
  bool operator==(const NotificationCall&) const = default;
};

// Records every notification and answers with delivered.
class FakeNotifier final : public INotifier {
 public:
  explicit FakeNotifier(bool delivered = true) : delivered(delivered) {}
  bool Notify(const std::string& summary, const std::string& body,
              TNotificationUrgency urgency) override {
    calls.push_back({summary, body, urgency});
    return delivered;
  }

  bool delivered;
  std::vector<NotificationCall> calls;
};

}  // namespace pw::fakes
