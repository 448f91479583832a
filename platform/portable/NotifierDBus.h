// The desktop's notifications over the user's session bus.
#pragma once

#include <memory>
#include <string>

#include "platform/Notifier.h"

namespace pw {

// The session bus as a systemd user service finds it: $DBUS_SESSION_BUS_ADDRESS,
// else the socket "bus" in $XDG_RUNTIME_DIR (or /run/user/<uid>) when it is
// there. Empty when there is none.
std::string SessionBusAddress();

// A notifier that waits at most timeoutMs for each answer of the desktop;
// the default service waits three seconds.
std::unique_ptr<INotifier> MakeSessionBusNotifier(int timeoutMs);

}  // namespace pw
