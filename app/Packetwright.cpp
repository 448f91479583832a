// Program entry.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Errors.h"
#include "platform/Process.h"
#include "platform/Services.h"
#include "platform/Streams.h"
#include "ui/Application.h"
#include "ui/PacketwrightHelpIDs.h"
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

bool HasOption(int argc, char** argv, const char* option) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], option) == 0) return true;
  }
  return false;
}

// --save-and-quit: starts as usual without showing the window or asking for
// anything, saves the settings file where the window would, prints that file
// and the help file, and ends: 0 when both are there. A check that an
// installation can keep its settings, for scripts and for the install test.
int SaveAndQuit(pw::TfmHoardkeeper& window) {
  window.executeArchiverFound = [](pw::TArchiverKind&) { return false; };
  try {
    window.AfterConstruction();
    window.actSaveExecute();
  } catch (const pw::Exception& error) {
    // No box that nobody would answer.
    std::fprintf(stderr, "Packetwright: %s: %s\n", window.GetSettingsFileName().c_str(),
                 error.Message().c_str());
    return 1;
  }
  const std::string help = pw::HelpFileName();
  std::printf("Settings file: %s\nHelp: %s\n", window.GetSettingsFileName().c_str(), help.c_str());
  if (!pw::FileExists(help)) {
    std::fprintf(stderr, "Packetwright: the help file is missing: %s\n", help.c_str());
    return 1;
  }
  return 0;
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
  // The desktop shows the window under its menu entry, with the entry's icon.
  QGuiApplication::setDesktopFileName("packetwright");
  pw::TMessageWinFactory progressWindows;
  pw::ScopedOverride<pw::IMessageWinFactory> useProgressWindows(progressWindows);

  pw::TfmHoardkeeper window;
  try {
    if (HasOption(argc, argv, "--save-and-quit")) return SaveAndQuit(window);
    window.AfterConstruction();
  } catch (const pw::Exception& error) {
    pw::ShowStartupFailure(error);
    return 1;
  }
  window.show();
  pw::CentreOnScreen(&window);
  return app.exec();
}
