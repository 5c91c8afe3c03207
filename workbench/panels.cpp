// TfFlicker: the caption / value panels of the "Flicker parameter" box, the light level and
// the PstLM page, and their geometry.
#include <QFontMetrics>

#include "analysis/figures.h"
#include "columns/column_dialog.h"
#include "workbench/flicker_frame.h"
#include "workbench/display_text.h"

namespace {

constexpr int kParamRows = 7;
constexpr int kRowHeight = 52;  // rows of the parameter box, pixels
constexpr int kRowTop = 30;     // first row below the box's title
constexpr int kBoxExtra = 90;   // box height beyond its rows: title and the button row

const char* const kCaptionStyle =
    "QLabel { background-color: #25313c; color: #dce8f2; border: 1px solid #44525f; padding: 0 4px; }";
const char* const kValueStyle =
    "QLabel { background-color: #3b3b3b; color: #ffffff; border: 1px solid #44525f; padding: 0 4px; }";

QLabel* Panel(QWidget* parent, const QString& name, const QString& text, bool value, int pointSize) {
  auto* panel = new QLabel(text, parent);
  panel->setObjectName(name);
  panel->setAlignment(Qt::AlignCenter);
  panel->setStyleSheet(value ? kValueStyle : kCaptionStyle);
  QFont font = panel->font();
  font.setPointSize(pointSize);
  font.setBold(value);
  panel->setFont(font);
  panel->setProperty("basePointSize", pointSize);
  return panel;
}

// Shrinks a panel's font from its design size until its text fits the panel's width.
void FitText(QLabel* panel) {
  int size = panel->property("basePointSize").toInt();
  if (size <= 0) return;
  QFont font = panel->font();
  const int room = panel->width() - 10;
  for (; size > 7; --size) {
    font.setPointSize(size);
    if (QFontMetrics(font).horizontalAdvance(panel->text()) <= room) break;
  }
  font.setPointSize(size);
  panel->setFont(font);
}

}  // namespace

// --- parameter box --------------------------------------------------------------------------

void TfFlicker::BuildParamPanels() {
  const int width = sgDataView->width() * 10 / 21;
  for (int i = 0; i < kParamRows; ++i) {
    if (!paramNames[i]) paramNames[i] = Panel(sgDataView, QString("paramName%1").arg(i), "Test", false, 15);
    if (!paramValues[i]) paramValues[i] = Panel(sgDataView, QString("paramValue%1").arg(i), "", true, 19);
    paramNames[i]->setGeometry(0, i * 32, width, 32);
    paramValues[i]->setGeometry(width, i * 32, width, 32);
  }
}

QString TfFlicker::FormatParam(const QString& name, const FlickerRecord* record) {
  return QString::fromStdString(FigureText(record, name.toStdString(), DisplayDecimalSeparator()));
}

void TfFlicker::LayoutParamRows() {
  const int width = sgDataView->width() / 2 - 10;
  int k = 0;
  for (int i = 0; i < kParamRows; ++i) {
    const int top = k * kRowHeight + kRowTop;
    paramNames[i]->setGeometry(10, top, width, kRowHeight);
    paramValues[i]->setGeometry(10 + width, top, width, kRowHeight);
    if (paramNames[i]->text() == "None") continue;
    ++k;
    FitText(paramNames[i]);
    FitText(paramValues[i]);
  }
}

void TfFlicker::ShowParams(const FlickerRecord* record) {
  int k = 0;
  for (int i = 0; i < kParamRows; ++i) {
    if (paramNames[i]->text() == "None") {
      paramNames[i]->hide();
      paramValues[i]->hide();
      continue;
    }
    paramNames[i]->show();
    paramValues[i]->show();
    ++k;
    paramValues[i]->setText(FormatParam(paramNames[i]->text(), record));
  }
  LayoutParamRows();
  sgDataView->setFixedHeight(k * kRowHeight + kBoxExtra);
  PlaceDataButtons();
}

void TfFlicker::PlaceDataButtons() {
  const QList<QToolButton*> buttons{ssbLoad, ssbSave, sSpeedButton4, ssbEdit};
  const int size = 44;
  const int gap = (sgDataView->width() - 20 - size * static_cast<int>(buttons.size())) / (static_cast<int>(buttons.size()) - 1);
  const int top = sgDataView->height() - size - 8;
  for (int i = 0; i < buttons.size(); ++i) buttons[i]->setGeometry(10 + i * (size + gap), top, size, size);
}

// --- light level ----------------------------------------------------------------------------

void TfFlicker::BuildLuxPanels() {
  if (!luxName) luxName = Panel(plLvView, "luxName", "Lv", false, 16);
  if (!luxValue) luxValue = Panel(plLvView, "luxValue", "0.0", true, 20);
  if (!plLvView->findChild<QLabel*>("lblLightLevel")) {
    auto* title = new QLabel("Light level", plLvView);
    title->setObjectName("lblLightLevel");
    title->setGeometry(10, 6, 200, 20);
  }
  LayoutLuxRow();
}

void TfFlicker::LayoutLuxRow() {
  if (!luxName || !luxValue) return;
  const int w = (plLvView->width() - btnLvMsr->width()) / 2;
  luxName->setGeometry(10, 30, w - 10, 40);
  luxValue->setGeometry(w, 30, w - 10, 40);
  btnLvMsr->setGeometry(plLvView->width() - btnLvMsr->width() - 4, 30, btnLvMsr->width(), 40);
  FitText(luxValue);
}

// --- PstLM page -----------------------------------------------------------------------------

void TfFlicker::BuildPstPanels() {
  static const char* const captions[3] = {"Frequency", "SVM", "PstLM"};
  for (int i = 0; i < 3; ++i) {
    if (!pstNames[i]) pstNames[i] = Panel(plPstView, QString("pstName%1").arg(i), captions[i], false, 16);
    if (!pstValues[i]) pstValues[i] = Panel(plPstView, QString("pstValue%1").arg(i), "0.0000", true, 20);
  }
  LayoutPstPage();
}

void TfFlicker::LayoutPstPage() {
  if (!pstNames[0]) return;
  const int width = plPstView->width() * 10 / 21;
  for (int i = 0; i < 3; ++i) {
    const int top = static_cast<int>(i * 40 * 1.5 + 30);
    pstNames[i]->setGeometry(5, top, width, 40);
    pstValues[i]->setGeometry(5 + width, top, width, 40);
  }
  const int full = 2 * width;
  ProgressBar1->setGeometry(5, 214, full, 5);
  PstLabel->setGeometry(5, 226, full, 26);
  btnPstMsr->setGeometry(5, 264, full, 54);
  sSpeedButton3->setGeometry(5, 330, full, 44);
  sSpeedButton2->setGeometry(5, 384, full, 44);
}

void TfFlicker::ssbEditClick() {
  // The box shows the kept record afterwards, which the PstLM thread fills while it runs.
  if (RefuseWhenBusy(false, true)) return;
  expSet->OpenForFlicker();
  expSet->exec();
  LoadParamNames();
  ShowParams(flkTank->record.get());
}
