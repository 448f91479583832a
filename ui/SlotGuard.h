// Errors raised by a handler are shown where the handler is called, so that
// none unwinds through the toolkit's own frames (menus, buttons, shortcuts,
// signal delivery), which are not made for it. The application's notify()
// still catches what slips past, as a last resort.
#pragma once

#include <QObject>
#include <exception>
#include <functional>
#include <type_traits>

namespace pw {

void ShowApplicationError(const std::exception& error);

// Runs handler; an error it raises is shown in the application's error box
// and abandons the rest of the handler.
template <class F>
void Guarded(F&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowApplicationError(error);
  }
}

// Connects signal to handler (a member of receiver, or any callable, taking
// the signal's arguments or none) through Guarded.
template <class Sender, class Signal, class Receiver, class Handler>
QMetaObject::Connection ConnectGuarded(Sender* sender, Signal signal, Receiver* receiver,
                                       Handler handler) {
  return QObject::connect(sender, signal, receiver, [receiver, handler](auto... args) {
    Guarded([&] {
      if constexpr (std::is_invocable_v<Handler, Receiver*, decltype(args)...>) {
        std::invoke(handler, receiver, args...);
      } else if constexpr (std::is_invocable_v<Handler, Receiver*>) {
        std::invoke(handler, receiver);
      } else if constexpr (std::is_invocable_v<Handler, decltype(args)...>) {
        std::invoke(handler, args...);
      } else {
        handler();
      }
    });
  });
}

}  // namespace pw
