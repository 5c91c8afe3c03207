#include "workbench/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

void Draw(QPainter& p, IconKind kind, double s) {
  const QColor line(0xE6, 0xEE, 0xF5);
  p.setPen(QPen(line, s / 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  switch (kind) {
    case IconKind::Go: {
      QPainterPath path;
      path.moveTo(0.28 * s, 0.18 * s);
      path.lineTo(0.82 * s, 0.5 * s);
      path.lineTo(0.28 * s, 0.82 * s);
      path.closeSubpath();
      p.fillPath(path, QColor(0x3C, 0xC8, 0x5A));
      p.drawPath(path);
      break;
    }
    case IconKind::Stop:
      p.setBrush(QColor(0xE0, 0x40, 0x40));
      p.drawRoundedRect(QRectF(0.22 * s, 0.22 * s, 0.56 * s, 0.56 * s), s / 12, s / 12);
      break;
    case IconKind::Capture:
      p.setBrush(QColor(0x2F, 0x7F, 0xC8));
      p.drawRoundedRect(QRectF(0.1 * s, 0.28 * s, 0.8 * s, 0.56 * s), s / 10, s / 10);
      p.drawRect(QRectF(0.36 * s, 0.16 * s, 0.28 * s, 0.12 * s));
      p.setBrush(QColor(0x1B, 0x22, 0x2A));
      p.drawEllipse(QPointF(0.5 * s, 0.56 * s), 0.17 * s, 0.17 * s);
      break;
    case IconKind::Load: {
      p.setBrush(QColor(0xD8, 0xA8, 0x3C));
      QPainterPath folder;
      folder.moveTo(0.1 * s, 0.25 * s);
      folder.lineTo(0.4 * s, 0.25 * s);
      folder.lineTo(0.48 * s, 0.34 * s);
      folder.lineTo(0.9 * s, 0.34 * s);
      folder.lineTo(0.9 * s, 0.8 * s);
      folder.lineTo(0.1 * s, 0.8 * s);
      folder.closeSubpath();
      p.drawPath(folder);
      break;
    }
    case IconKind::Save:
      p.setBrush(QColor(0x2F, 0x7F, 0xC8));
      p.drawRoundedRect(QRectF(0.15 * s, 0.15 * s, 0.7 * s, 0.7 * s), s / 16, s / 16);
      p.setBrush(QColor(0xE6, 0xEE, 0xF5));
      p.drawRect(QRectF(0.3 * s, 0.15 * s, 0.4 * s, 0.22 * s));
      p.drawRect(QRectF(0.27 * s, 0.55 * s, 0.46 * s, 0.3 * s));
      break;
    case IconKind::Report:
      p.setBrush(QColor(0xF4, 0xF6, 0xF8));
      p.drawRect(QRectF(0.22 * s, 0.12 * s, 0.56 * s, 0.76 * s));
      p.setPen(QPen(QColor(0x2F, 0x7F, 0xC8), s / 16));
      for (double y : {0.3, 0.44, 0.58, 0.72}) p.drawLine(QPointF(0.32 * s, y * s), QPointF(0.68 * s, y * s));
      break;
    case IconKind::Edit:
      p.setBrush(Qt::NoBrush);
      for (double y : {0.28, 0.5, 0.72}) {
        p.drawLine(QPointF(0.34 * s, y * s), QPointF(0.86 * s, y * s));
        p.drawEllipse(QPointF(0.2 * s, y * s), s / 20, s / 20);
      }
      break;
    case IconKind::Dark:
      p.setBrush(QColor(0x1B, 0x22, 0x2A));
      p.drawEllipse(QPointF(0.5 * s, 0.5 * s), 0.34 * s, 0.34 * s);
      p.setBrush(QColor(0xE6, 0xEE, 0xF5));
      p.drawPie(QRectF(0.16 * s, 0.16 * s, 0.68 * s, 0.68 * s), 90 * 16, 180 * 16);
      break;
  }
}

}  // namespace

QIcon ProgramIcon(IconKind kind, int size) {
  QIcon icon;
  for (int scale : {1, 2}) {
    QPixmap pixmap(size * scale, size * scale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    Draw(p, kind, size * scale);
    p.end();
    pixmap.setDevicePixelRatio(scale);
    icon.addPixmap(pixmap);
  }
  return icon;
}
