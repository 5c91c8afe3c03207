#include "workbench/display_text.h"

#include <QLocale>
#include <QString>

char DisplayDecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  return point.size() == 1 && point[0].unicode() < 128 ? static_cast<char>(point[0].unicode()) : '.';
}
