#include "platform/Notifier.h"
#include "platform/Services.h"

namespace pw {

namespace {

// Windows has no notification of ours yet: the window shows a line about the
// failed night at its next start instead.
class NoNotifier final : public INotifier {
 public:
  bool Notify(const std::string&, const std::string&, TNotificationUrgency) override {
    return false;
  }
};

}  // namespace

template <>
INotifier& DefaultService<INotifier>() {
  static NoNotifier instance;
  return instance;
}

}  // namespace pw
