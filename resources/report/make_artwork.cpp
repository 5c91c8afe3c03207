// Draws the report artwork shipped in this folder: the logo, the information and parameter
// boxes, the section bullet and the features box, each at exactly the size of the page
// rectangle it is stretched into, so the page draws them unscaled. The boxes carry the row
// shading the page writes its texts on (245 and 235 grey, white memo lines), so the opaque
// text backgrounds merge with them.
//
//   cmake --build <build> --target quivra_report_artwork
//   QT_QPA_PLATFORM=offscreen <build>/report/quivra_report_artwork resources/report
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>

namespace {

const QColor kBorder(176, 184, 190);
const QColor kRule(214, 218, 222);
const QColor kLight(245, 245, 245);
const QColor kShade(235, 235, 235);
const QColor kBrand(0, 92, 120);     // deep teal
const QColor kBrandDark(20, 38, 60); // navy

QImage Blank(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::white);
  return image;
}

void Border(QPainter& p, int w, int h) {
  p.setPen(QPen(kBorder, 2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(1, 1, w - 2, h - 2));
}

// Box_info (page 80,340 - 1000,720): inspector (245), model (235), light source (245), then
// the two memo lines on white with a writing rule under each.
QImage InfoBox() {
  const int w = 920, h = 380;
  QImage image = Blank(w, h);
  QPainter p(&image);
  p.fillRect(0, 0, w, 76, kLight);
  p.fillRect(0, 76, w, 76, kShade);
  p.fillRect(0, 152, w, 76, kLight);
  p.setPen(QPen(kRule, 1));
  p.drawLine(0, 228, w, 228);
  // Writing rules under the memo lines (text cells at 242..290 and 318..366).
  p.setPen(QPen(kRule, 1, Qt::DotLine));
  p.drawLine(180, 296, w - 20, 296);
  p.drawLine(180, 372, w - 20, 372);
  Border(p, w, h);
  return image;
}

// Box_para (page 1020,340 - 1672,720): five rows on 245 grey, ruled between.
QImage ParaBox() {
  const int w = 652, h = 380;
  QImage image = Blank(w, h);
  QPainter p(&image);
  p.fillRect(0, 0, w, h, kLight);
  p.setPen(QPen(kRule, 1));
  for (int y : {76, 152, 228, 304}) p.drawLine(12, y, w - 12, y);
  Border(p, w, h);
  return image;
}

// Box_feature (page 80,1780 - 1668,2200): seven 60-pixel rows, shaded 235 and 245 in
// turn, with the three label/value column pairs divided.
QImage FeaturesBox() {
  const int w = 1588, h = 420;
  QImage image = Blank(w, h);
  QPainter p(&image);
  for (int row = 0; row < 7; ++row) p.fillRect(0, row * 60, w, 60, row % 2 == 0 ? kShade : kLight);
  p.setPen(QPen(kRule.darker(108), 2));
  for (int x : {540, 1070}) p.drawLine(x, 0, x, h);
  Border(p, w, h);
  return image;
}

// Dot_square (40 x 40): the section bullet.
QImage Dot() {
  QImage image = Blank(40, 40);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(QRect(7, 7, 26, 26), kBrand);
  p.fillRect(QRect(7, 7, 26, 6), kBrand.lighter(135));
  return image;
}

// Logo_Co (360 x 120): a rounded badge with a flickering wave, and the name.
QImage Logo() {
  const int w = 360, h = 120;
  QImage image = Blank(w, h);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const QRectF badge(8, 14, 92, 92);
  p.setPen(Qt::NoPen);
  p.setBrush(kBrand);
  p.drawRoundedRect(badge, 18, 18);
  // A rectified wave (the light of a mains lamp) across the badge.
  QPainterPath wave;
  for (int i = 0; i <= 80; ++i) {
    const double x = badge.left() + 10 + i * (badge.width() - 20) / 80.0;
    const double y = badge.center().y() + 16 - 34 * std::fabs(std::sin(i / 80.0 * 3 * M_PI));
    if (i == 0) wave.moveTo(x, y); else wave.lineTo(x, y);
  }
  p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(wave);
  QFont name(QStringLiteral("Liberation Sans"));
  name.setBold(true);
  name.setPixelSize(50);
  name.setLetterSpacing(QFont::AbsoluteSpacing, 2);
  p.setFont(name);
  p.setPen(kBrandDark);
  p.drawText(QRectF(114, 18, w - 118, 58), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("QUIVRA"));
  QFont tag(QStringLiteral("Liberation Sans"));
  tag.setPixelSize(19);
  p.setFont(tag);
  p.setPen(kBrand);
  p.drawText(QRectF(116, 74, w - 118, 28), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("light flicker analysis"));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(folder);
  const struct {
    const char* name;
    QImage image;
  } files[] = {
      {"Logo_Co.bmp", Logo()},       {"Box_info.bmp", InfoBox()},        {"Box_para.bmp", ParaBox()},
      {"Dot_square.bmp", Dot()},     {"Box_feature.bmp", FeaturesBox()},
  };
  for (const auto& f : files) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(f.name));
    if (!f.image.convertToFormat(QImage::Format_RGB888).save(path, "BMP")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
