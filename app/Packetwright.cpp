// Program entry.
#include <cstdio>
#include <cstdlib>

#include "platform/Errors.h"
#include "platform/Process.h"
#include "platform/Services.h"
#include "ui/Application.h"
#include "ui/fmuBase.h"
#include "ui/fmuHoardkeeper.h"
#include "ui/fmuMessageWin.h"

namespace {

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
#ifdef _WIN32
  return true;
#else
  return false;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  pw::IgnoreFileSizeLimitSignal();
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "Packetwright is a window program and needs a graphical display, but none was "
                 "found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                 "Start it from a desktop session, or under a virtual display: xvfb-run %s\n",
                 argv[0]);
    return 1;
  }
  pw::TPacketwrightApplication app(argc, argv);
  pw::TMessageWinFactory progressWindows;
  pw::ScopedOverride<pw::IMessageWinFactory> useProgressWindows(progressWindows);

  pw::TfmHoardkeeper window;
  try {
    window.AfterConstruction();
  } catch (const pw::Exception& error) {
    pw::ShowStartupFailure(error);
    return 1;
  }
  window.show();
  pw::CentreOnScreen(&window);
  return app.exec();
}
