// The pictures show their motifs, and a disabled command looks disabled.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>

#include "ui/Motifs.h"
#include "ui/fruExtensions.h"

namespace pw {
namespace {

QImage Normal(const QIcon& icon) {
  return icon.pixmap(16, 16, QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool Opaque(const QImage& image, int x, int y) {
  return image.pixelColor(x, y).alpha() > 200;
}

// Red, green or blue clearly above the other two.
bool Reddish(QColor c) {
  return c.red() > 150 && c.green() < 100 && c.blue() < 100;
}
bool Greenish(QColor c) {
  return c.green() > 120 && c.red() < 100 && c.blue() < 100;
}

TEST(Motifs, PlusMinusAndCrossAreWhatTheySay) {
  const QImage plus = Normal(PlusSign());
  EXPECT_TRUE(Greenish(plus.pixelColor(8, 8)));
  EXPECT_TRUE(Opaque(plus, 8, 3) && Opaque(plus, 3, 8) && Opaque(plus, 12, 8));
  EXPECT_FALSE(Opaque(plus, 3, 3)) << "nothing in the corners";

  const QImage minus = Normal(MinusSign());
  EXPECT_TRUE(Reddish(minus.pixelColor(8, 8)));
  EXPECT_FALSE(Opaque(minus, 8, 3));
  EXPECT_FALSE(Opaque(minus, 8, 12));

  const QImage cross = Normal(Cross());
  EXPECT_TRUE(Reddish(cross.pixelColor(8, 8)));
  EXPECT_TRUE(Opaque(cross, 4, 4) && Opaque(cross, 11, 4) && Opaque(cross, 4, 11));
  EXPECT_FALSE(Opaque(cross, 8, 3)) << "a cross, not a plus";
}

TEST(Motifs, TheClipboardCarriesAGreenTick) {
  const QImage clipboard = Normal(ClipboardWithTick());
  int green = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) green += Greenish(clipboard.pixelColor(x, y)) ? 1 : 0;
  }
  EXPECT_GE(green, 6);
  EXPECT_TRUE(Opaque(clipboard, 3, 14)) << "the board reaches the bottom";
}

TEST(Motifs, ADisabledCommandLooksDisabled) {
  TfrExtensions frame;  // no masks: Edit, Delete and Invert are disabled
  ASSERT_FALSE(frame.actEditExtension->isEnabled());
  for (QAction* a : {frame.actAddExtension, frame.actEditExtension, frame.actDeleteExtension,
                     frame.actInvert, frame.actExtractFromDirectory, frame.actClear}) {
    SCOPED_TRACE(a->text().toStdString());
    const QImage normal = Normal(a->icon());
    const QImage disabled =
        a->icon().pixmap(16, 16, QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32);
    long normalAlpha = 0, disabledAlpha = 0;
    bool grey = true;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const QColor c = disabled.pixelColor(x, y);
        normalAlpha += normal.pixelColor(x, y).alpha();
        disabledAlpha += c.alpha();
        if (c.alpha() > 0 && (c.red() != c.green() || c.green() != c.blue())) grey = false;
      }
    }
    EXPECT_GT(normalAlpha, 0);
    EXPECT_LT(disabledAlpha * 2, normalAlpha) << "faded";
    EXPECT_TRUE(grey);
  }
}

}  // namespace
}  // namespace pw
