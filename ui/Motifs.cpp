#include "ui/Motifs.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace pw {

namespace {

// A 16 by 16 picture from a drawing, with its normal and disabled looks.
QIcon Drawn(const std::function<void(QPainter&)>& draw) {
  QPixmap picture(16, 16);
  picture.fill(Qt::transparent);
  {
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
  }
  QIcon icon;
  icon.addPixmap(picture, QIcon::Normal);
  icon.addPixmap(DisabledLook(picture), QIcon::Disabled);
  return icon;
}

// A bar of the plus and minus signs: filled, with a darker outline.
void Bar(QPainter& p, const QRectF& rect, const QColor& colour) {
  p.setPen(QPen(colour.darker(160), 1));
  p.setBrush(colour);
  p.drawRoundedRect(rect, 1, 1);
}

}  // namespace

QPixmap DisabledLook(const QPixmap& picture) {
  QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int grey = 96 + qGray(line[x]) / 2;
      line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) * 2 / 5);
    }
  }
  return QPixmap::fromImage(image);
}

QIcon WithDisabledLook(const QIcon& icon) {
  const QPixmap picture = icon.pixmap(16, 16);
  QIcon result;
  result.addPixmap(picture, QIcon::Normal);
  result.addPixmap(DisabledLook(picture), QIcon::Disabled);
  return result;
}

QIcon PlusSign() {
  return Drawn([](QPainter& p) {
    const QColor green(40, 160, 40);
    Bar(p, QRectF(2.5, 6.5, 11, 3), green);
    Bar(p, QRectF(6.5, 2.5, 3, 11), green);
    p.setPen(Qt::NoPen);
    p.setBrush(green);
    p.drawRect(QRectF(3, 7, 10, 2));  // the crossing without the outline between
  });
}

QIcon MinusSign() {
  return Drawn([](QPainter& p) { Bar(p, QRectF(2.5, 6.5, 11, 3), QColor(200, 40, 40)); });
}

QIcon SheetOfPaper() {
  return Drawn([](QPainter& p) {
    QPainterPath sheet;
    sheet.moveTo(3.5, 1.5);
    sheet.lineTo(9.5, 1.5);
    sheet.lineTo(12.5, 4.5);
    sheet.lineTo(12.5, 14.5);
    sheet.lineTo(3.5, 14.5);
    sheet.closeSubpath();
    p.setPen(QPen(QColor(70, 70, 90), 1));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.drawLine(QPointF(9.5, 1.5), QPointF(9.5, 4.5));
    p.drawLine(QPointF(9.5, 4.5), QPointF(12.5, 4.5));
    p.setPen(QPen(QColor(60, 100, 200), 1));
    for (double y : {6.5, 8.5, 10.5, 12.5}) p.drawLine(QPointF(5, y), QPointF(11, y));
  });
}

QIcon FloppyDisk() {
  return Drawn([](QPainter& p) {
    p.setPen(QPen(QColor(20, 30, 80), 1));
    p.setBrush(QColor(50, 80, 170));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(QColor(225, 225, 225));
    p.drawRect(QRectF(4.5, 1.5, 7, 5));  // the shutter
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 9.5, 9, 5));  // the label
  });
}

QIcon OpenFolder() {
  return Drawn([](QPainter& p) {
    p.setPen(QPen(QColor(140, 100, 20), 1));
    p.setBrush(QColor(230, 190, 80));
    p.drawRect(QRectF(1.5, 3.5, 11, 10));
    QPainterPath flap;
    flap.moveTo(3.5, 7.5);
    flap.lineTo(15.5, 7.5);
    flap.lineTo(12.5, 13.5);
    flap.lineTo(1.5, 13.5);
    flap.closeSubpath();
    p.setBrush(QColor(250, 220, 120));
    p.drawPath(flap);
  });
}

QIcon ClipboardWithTick() {
  return Drawn([](QPainter& p) {
    p.setPen(QPen(QColor(110, 70, 30), 1));
    p.setBrush(QColor(190, 140, 80));
    p.drawRoundedRect(QRectF(2.5, 2.5, 11, 13), 1, 1);
    p.setPen(QPen(QColor(120, 120, 120), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 4.5, 7, 9));
    p.setBrush(QColor(150, 150, 150));
    p.drawRoundedRect(QRectF(5.5, 1.5, 5, 3), 1, 1);  // the clip
    p.setPen(QPen(QColor(20, 140, 20), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(5.5, 9), QPointF(7.5, 11.5), QPointF(11, 6.5)}));
  });
}

QIcon Cross() {
  return Drawn([](QPainter& p) {
    p.setPen(QPen(QColor(200, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
  });
}

}  // namespace pw
