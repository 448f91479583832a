// The user-interface tests run headless, inside the program's own application object.
#include <gtest/gtest.h>

#include "tests/ui/OffscreenFonts.h"
#include "ui/Application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  pw::TPacketwrightApplication app(argc, argv);
  pw::test::UseInstalledFonts();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
