// TfFlicker: the "Assessment" page. The IEEE 1789 chart (the two limit lines over frequency
// and modulation, both on log axes, with the measured point) and one verdict per criterion
// for the measurement on display.
#include <QFont>
#include <QGridLayout>
#include <QLegendMarker>
#include <QLogValueAxis>
#include <QVBoxLayout>
#include <algorithm>

#include "workbench/charts.h"
#include "workbench/display_text.h"
#include "workbench/flicker_frame.h"

namespace {

// Chart span: 1 Hz to 10 kHz, 0.01 % to 100 % modulation. The axis starts a hair below
// 0.01, where the logarithm of 0.01 itself (just above -2 in binary) would lose the label.
constexpr double kFreqMin = 1, kFreqMax = 10000;
constexpr double kModMin = 0.01, kModMax = 100;
constexpr double kModAxisMin = 0.0099999;

const QColor kLowRiskColour(0xFF, 0xB0, 0x20);   // low-risk line
const QColor kNoEffectColour(0x40, 0xD0, 0x70);  // no-observable-effect line
const QColor kPointColour(0xFF, 0x40, 0x40);     // the measurement
const QColor kAxisText(0xFF, 0xFF, 0xFF);
const QColor kGrid(0x5A, 0x5A, 0x5A);

QLogValueAxis* LogAxis(const QString& title, double min, double max, QChart* chart) {
  auto* axis = new QLogValueAxis(chart);
  axis->setBase(10);
  axis->setRange(min, max);
  axis->setLabelFormat("%g");
  axis->setMinorTickCount(8);
  axis->setTitleText(title);
  axis->setLabelsColor(kAxisText);
  axis->setTitleBrush(QBrush(kAxisText));
  QFont labels = axis->labelsFont();
  labels.setPointSize(8);
  axis->setLabelsFont(labels);
  QFont titles = axis->titleFont();
  titles.setPointSize(9);
  titles.setBold(true);
  axis->setTitleFont(titles);
  axis->setGridLineColor(kGrid);
  axis->setMinorGridLineColor(QColor(0x48, 0x48, 0x48));
  axis->setLinePenColor(QColor(0x9A, 0x9A, 0x9A));
  return axis;
}

template <std::size_t N>
QList<QPointF> LinePoints(const std::array<LimitPoint, N>& line) {
  QList<QPointF> points;
  for (const LimitPoint& p : line) points.append(QPointF(p.frequency, p.mod));
  return points;
}

// Text colour of a state: green where a lamp passes, amber for low risk, red where it does
// not, grey when the measurement cannot decide.
QString StateColour(VerdictState state) {
  switch (state) {
    case VerdictState::kPass:
    case VerdictState::kNoObservableEffect: return "#5ad67d";
    case VerdictState::kLowRisk: return "#ffc23d";
    case VerdictState::kFail:
    case VerdictState::kAboveLowRisk: return "#ff6464";
    case VerdictState::kNotAssessed: break;
  }
  return "#a9b6c2";
}

}  // namespace

QWidget* TfFlicker::BuildAssessmentPage() {
  tsAssessment = new QWidget;
  tsAssessment->setObjectName("tsAssessment");
  auto* layout = new QVBoxLayout(tsAssessment);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(6);

  ChartAssessment = MakeChartView("ChartAssessment", tsAssessment);
  ChartAssessment->setMinimumHeight(300);
  QChart* chart = ChartAssessment->chart();
  chart->setTitle("IEEE 1789-2015");
  chart->setTitleBrush(QBrush(kAxisText));
  QFont title = chart->titleFont();
  title.setPointSize(9);
  title.setBold(true);
  chart->setTitleFont(title);
  chart->setMargins(QMargins(2, 2, 8, 2));
  SeriesLowRisk = new QLineSeries(chart);
  SeriesLowRisk->setObjectName("SeriesLowRisk");
  SeriesLowRisk->setName("Low risk");
  SeriesLowRisk->setPen(QPen(kLowRiskColour, 2));
  SeriesLowRisk->replace(LinePoints(Ieee1789LowRiskLine()));
  SeriesNoEffect = new QLineSeries(chart);
  SeriesNoEffect->setObjectName("SeriesNoEffect");
  SeriesNoEffect->setName("No observable effect");
  SeriesNoEffect->setPen(QPen(kNoEffectColour, 2));
  SeriesNoEffect->replace(LinePoints(Ieee1789NoEffectLine()));
  SeriesMeasured = new QScatterSeries(chart);
  SeriesMeasured->setObjectName("SeriesMeasured");
  SeriesMeasured->setName("Measured");
  SeriesMeasured->setMarkerShape(QScatterSeries::MarkerShapeCircle);
  SeriesMeasured->setMarkerSize(11);
  SeriesMeasured->setColor(kPointColour);
  SeriesMeasured->setBorderColor(Qt::white);
  for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{SeriesLowRisk, SeriesNoEffect, SeriesMeasured})
    chart->addSeries(s);
  QLogValueAxis* x = LogAxis("Frequency (Hz)", kFreqMin, kFreqMax, chart);
  QLogValueAxis* y = LogAxis("Modulation (%)", kModAxisMin, kModMax, chart);
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  for (QAbstractSeries* s : chart->series()) {
    s->attachAxis(x);
    s->attachAxis(y);
  }
  chart->legend()->show();
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->legend()->setLabelColor(kAxisText);
  QFont legend = chart->legend()->font();
  legend.setPointSize(8);
  chart->legend()->setFont(legend);
  layout->addWidget(ChartAssessment, 1);

  auto* box = new QGroupBox("Verdicts", tsAssessment);
  box->setObjectName("gbVerdicts");
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(8, 6, 8, 8);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(1);
  const auto rules = AssessmentRules();
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const QString id = QString::fromLatin1(rules[i].id.data(), static_cast<int>(rules[i].id.size()));
    const int row = static_cast<int>(i) * 2;
    assessRules[i] = new QLabel(QString::fromStdString(std::string(rules[i].name) + " " + std::string(rules[i].quantity)), box);
    assessRules[i]->setObjectName("lblRule_" + id);
    QFont bold = assessRules[i]->font();
    bold.setBold(true);
    assessRules[i]->setFont(bold);
    if (i > 0) assessRules[i]->setContentsMargins(0, 5, 0, 0);  // a gap between criteria
    assessStates[i] = new QLabel(box);
    assessStates[i]->setObjectName("lblState_" + id);
    assessStates[i]->setFont(bold);
    assessStates[i]->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    assessDetails[i] = new QLabel(box);
    assessDetails[i]->setObjectName("lblDetail_" + id);
    assessDetails[i]->setWordWrap(true);
    assessDetails[i]->setStyleSheet("QLabel { color: #c4d2de; }");
    grid->addWidget(assessRules[i], row, 0);
    grid->addWidget(assessStates[i], row, 1);
    grid->addWidget(assessDetails[i], row + 1, 0, 1, 2);
  }
  grid->setColumnStretch(0, 1);
  layout->addWidget(box);
  return tsAssessment;
}

void TfFlicker::ShowAssessment(const FlickerRecord* record) {
  const PstLmFigure pst = !pstDone       ? PstLmFigure::None()
                          : pstValue     ? PstLmFigure::Of(*pstValue)
                                         : PstLmFigure::None("the PstLM run gave no value");
  assessment_ = AssessRecord(record, pst, assessmentWorkspace_);
  const char sep = DisplayDecimalSeparator();
  for (std::size_t i = 0; i < assessment_.verdicts.size(); ++i) {
    const Verdict& v = assessment_.verdicts[i];
    assessStates[i]->setText(QString::fromStdString(std::string(VerdictStateText(v.state))));
    assessStates[i]->setStyleSheet("QLabel { color: " + StateColour(v.state) + "; }");
    const std::string detail = v.state == VerdictState::kNotAssessed
                                   ? v.reason + "; limit " + VerdictLimitText(v, sep)
                                   : VerdictValueText(v, sep) + "; limit " + VerdictLimitText(v, sep);
    assessDetails[i]->setText(QString::fromStdString(detail));
  }
  const Verdict& ieee = assessment_.Of(AssessmentRule::kIeee1789);
  if (ieee.state == VerdictState::kNotAssessed) {
    SeriesMeasured->clear();
  } else {
    // A point beyond the chart sits on its edge.
    SeriesMeasured->replace(QList<QPointF>{QPointF(std::clamp(ieee.frequency, kFreqMin, kFreqMax),
                                                   std::clamp(ieee.value, kModMin, kModMax))});
  }
}
