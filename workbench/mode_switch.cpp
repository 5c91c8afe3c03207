#include "workbench/mode_switch.h"

#include <QPainter>
#include <QPainterPath>

TModeSwitch::TModeSwitch(const QString& onCaption, const QString& offCaption, QWidget* parent)
    : QAbstractButton(parent), onCaption_(onCaption), offCaption_(offCaption) {
  setCheckable(true);
  setChecked(true);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  setToolTip(QStringLiteral("Switch between the amplitude spectrum and the JEITA spectrum"));
}

QSize TModeSwitch::sizeHint() const {
  const QFontMetrics metrics(font());
  const int half = std::max(metrics.horizontalAdvance(onCaption_), metrics.horizontalAdvance(offCaption_)) + 18;
  return QSize(2 * half, metrics.height() + 8);
}

void TModeSwitch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing, true);
  const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const double radius = track.height() / 2;
  QPainterPath outline;
  outline.addRoundedRect(track, radius, radius);
  p.fillPath(outline, QColor(0x1E, 0x24, 0x2B));
  p.setPen(QPen(QColor(0x5F, 0x8F, 0xB8), 1));
  p.drawPath(outline);

  // The knob covers the half of the current position.
  const bool on = isChecked();
  QRectF knob = track.adjusted(2, 2, -2, -2);
  knob.setWidth(knob.width() / 2);
  if (!on) knob.moveLeft(track.center().x());
  QPainterPath knobPath;
  knobPath.addRoundedRect(knob, knob.height() / 2, knob.height() / 2);
  p.fillPath(knobPath, isEnabled() ? QColor(0x2F, 0x7F, 0xC8) : QColor(0x55, 0x5F, 0x69));

  QRectF left = track, right = track;
  left.setRight(track.center().x());
  right.setLeft(track.center().x());
  QFont f = font();
  f.setBold(true);
  p.setFont(f);
  p.setPen(on ? Qt::white : QColor(0x8C, 0x9B, 0xA8));
  p.drawText(left, Qt::AlignCenter, onCaption_);
  p.setPen(on ? QColor(0x8C, 0x9B, 0xA8) : Qt::white);
  p.drawText(right, Qt::AlignCenter, offCaption_);
}
