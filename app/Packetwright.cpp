// Program entry. The window is not built yet: for now the program loads the
// settings file beside it and says what it holds.
#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QDir>

#include "model/HoardkeeperClasses.h"
#include "platform/Errors.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::string fileName =
      QDir(QCoreApplication::applicationDirPath()).filePath("Packetwright.dat").toStdString();
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland)) {
    std::fprintf(stderr,
                 "Packetwright: no graphical display (DISPLAY and WAYLAND_DISPLAY are not set); "
                 "the window needs one.\n");
  }
  pw::TbkManager manager;
  try {
    manager.LoadFromFile(fileName);
  } catch (const pw::Exception& e) {
    std::fprintf(stderr, "Packetwright: %s\n", e.Message().c_str());
    return 1;
  }
  std::printf(
      "Packetwright: the window is not built yet. Settings file %s: %d directories, %d rules, "
      "output folder %s.\n",
      fileName.c_str(), manager.Directories()->Count(), manager.Rules()->Count(),
      manager.OutputPath().c_str());
  return 0;
}
