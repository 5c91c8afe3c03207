// A two-position slide switch: on shows the "on" caption (the amplitude spectrum, "FFT"),
// off the "off" caption ("JEITA"). Checkable button: checked = on. Clicking anywhere flips it.
#pragma once

#include <QAbstractButton>
#include <QString>

class TModeSwitch : public QAbstractButton {
 public:
  TModeSwitch(const QString& onCaption, const QString& offCaption, QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }
  // Caption of the current position.
  QString Caption() const { return isChecked() ? onCaption_ : offCaption_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString onCaption_, offCaption_;
};
