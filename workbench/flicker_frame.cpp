// TfFlicker: construction, layout, option settings, records and the instrument hand-over.
#include "workbench/flicker_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <QValueAxis>

#include "analysis/numfmt.h"
#include "columns/column_dialog.h"
#include "columns/settings.h"
#include "instrument/registry.h"
#include "ui/ui_services.h"
#include "workbench/charts.h"
#include "workbench/device_tree.h"
#include "workbench/icons.h"
#include "workbench/mode_switch.h"
#include "workbench/pst_thread.h"

namespace {

constexpr int kSampleFreqs[] = {1024, 2048, 4096, 8192, 10240, 16384, 20480, 32768, 40960, 65536, 81920, 102400};
constexpr int kSampleNums[] = {1024, 2048, 4096, 8192, 16384, 32768, 65536};
constexpr int kFirTaps = 100;
constexpr int kRightSideWidth = 372;
const char* const kMakerUrl = "https://www.quivra.invalid";
const char* const kMakerNotice =
    "Flicker analyser for the handheld spectrometer family. Keep the instrument's dark "
    "calibration current: cover the sensor when asked.";

QLabel* Label(const QString& text, QWidget* parent, const QString& name = QString()) {
  auto* label = new QLabel(text, parent);
  if (!name.isEmpty()) label->setObjectName(name);
  return label;
}

QLineEdit* Edit(const QString& text, const QString& name, QWidget* parent, int width = 0) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(name);
  if (width > 0) edit->setFixedWidth(width);
  return edit;
}

QPushButton* Button(const QString& text, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

QCheckBox* Check(const QString& text, const QString& name, bool checked, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(name);
  box->setChecked(checked);
  return box;
}

QComboBox* Combo(const QString& name, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setEditable(false);
  return box;
}

QToolButton* ImageButton(IconKind kind, const QString& name, const QString& tip, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setIcon(ProgramIcon(kind, 28));
  button->setIconSize(QSize(28, 28));
  button->setToolTip(tip);
  button->setAutoRaise(false);
  return button;
}

// Runs a handler of a control; an error it raises (a text field that is not a number, a
// file error) is shown by the standard error box instead of unwinding through Qt.
template <typename Fn>
auto Guarded(Fn fn) {
  return [fn](auto&&...) {
    try {
      fn();
    } catch (const std::exception& e) {
      Ui().ShowError(QString::fromUtf8(e.what()));
    }
  };
}

}  // namespace

// --- construction ---------------------------------------------------------------------------

TfFlicker::TfFlicker(const QString& productText, QWidget* parent) : QWidget(parent) {
  setObjectName("fFlicker");
  BuildLayout(productText);

  // Frequency list: three columns (the list's own header row is row 0).
  sgbtl->setColumnCount(3);
  ResetFreqGrid();

  expSet = new TSpExpBSet(nullptr);
  expSet->hide();

  device.reset();
  capturing = 0;
  captureWorker = CaptureWorkerCreate();

  InitView();
  ShowParams(nullptr);
  settingsChanged = 0;
  overExposed = 0;
  pstDone = 0;

  flkTank = std::make_unique<TFlkTankMgr>();
  flkTank->Install(NewRecordFromSettings());
  ShowAssessment(flkTank->record.get());

  sPageControl1->setCurrentIndex(sPageControl1->count() - 1);  // "Device"
  ConnectSignals();
  Timer1->start();
  tmrPickup->start();
}

TfFlicker::~TfFlicker() {
  Timer1->stop();
  tmrPickup->stop();
  Timer2->stop();
  Timer3->stop();
  StopPstLM(20000);
  if (captureWorker) {
    CaptureWorkerStop(captureWorker);
    CaptureWorkerDestroy(captureWorker);  // a capture in progress finishes first
    captureWorker = nullptr;
  }
  // No thread holds a record any more: release them with the units pointed away first.
  Dispose(std::move(ringRecord));
  for (FlickerRecordPtr& r : retiredRecords) Dispose(std::move(r));
  retiredRecords.clear();
  Dispose(std::move(unitRecord));
  if (flkTank) Dispose(flkTank->Take());
  delete expSet;
}

void TfFlicker::BuildLayout(const QString& productText) {
  auto* root = new QHBoxLayout(this);
  root->setContentsMargins(4, 4, 4, 4);
  root->setSpacing(6);
  root->addWidget(BuildLeftSide(), 1);

  sPageControl1 = new QTabWidget(this);
  sPageControl1->setObjectName("sPageControl1");
  sPageControl1->setFixedWidth(kRightSideWidth);
  sPageControl1->addTab(BuildBasicPage(), "Basic");
  sPageControl1->addTab(BuildPstPage(), "PstLM");
  sPageControl1->addTab(BuildAssessmentPage(), "Assessment");
  sPageControl1->addTab(BuildDevicePage(productText), "Device");
  root->addWidget(sPageControl1);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(300);
  tmrPickup = new QTimer(this);
  tmrPickup->setObjectName("tmrPickup");
  tmrPickup->setInterval(50);
  Timer2 = new QTimer(this);
  Timer2->setObjectName("Timer2");
  Timer2->setInterval(1000);
  Timer3 = new QTimer(this);
  Timer3->setObjectName("Timer3");
  Timer3->setInterval(1000);
}

QWidget* TfFlicker::BuildLeftSide() {
  leftSplitter = new QSplitter(Qt::Vertical, this);
  leftSplitter->setObjectName("leftSplitter");
  leftSplitter->setHandleWidth(7);
  leftSplitter->setChildrenCollapsible(false);

  // Time wave.
  sGroupBox3 = new QGroupBox("Time Wave", leftSplitter);
  sGroupBox3->setObjectName("sGroupBox3");
  auto* timeLayout = new QVBoxLayout(sGroupBox3);
  timeLayout->setContentsMargins(4, 4, 4, 4);
  timeLayout->setSpacing(2);
  auto* timeBar = new QWidget(sGroupBox3);
  timeBar->setObjectName("plTimeBar");
  auto* timeBarLayout = new QHBoxLayout(timeBar);
  timeBarLayout->setContentsMargins(4, 0, 4, 0);
  timeBarLayout->setSpacing(18);
  lblSampleRate = Label("Sample Rate : ", timeBar, "lblSampleRate");
  lblTimeRes = Label("Time Resolution :", timeBar, "lblTimeRes");
  lblGain = Label("Gain :", timeBar, "lblGain");
  timeBarLayout->addWidget(lblSampleRate);
  timeBarLayout->addWidget(lblTimeRes);
  timeBarLayout->addWidget(lblGain);
  timeBarLayout->addStretch(1);
  timeLayout->addWidget(timeBar);
  Chart1 = MakeChartView("Chart1", sGroupBox3);
  timeLayout->addWidget(Chart1, 1);

  // FFT / JEITA.
  sGroupBox4 = new QGroupBox("FFT/JEITA", leftSplitter);
  sGroupBox4->setObjectName("sGroupBox4");
  auto* freqLayout = new QVBoxLayout(sGroupBox4);
  freqLayout->setContentsMargins(4, 4, 4, 4);
  freqLayout->setSpacing(2);
  plFFTCtl = new QWidget(sGroupBox4);
  plFFTCtl->setObjectName("plFFTCtl");
  plFFTCtl->setFixedHeight(30);
  auto* ctlLayout = new QHBoxLayout(plFFTCtl);
  ctlLayout->setContentsMargins(4, 0, 4, 0);
  ctlLayout->setSpacing(14);
  sModeSwitch = new TModeSwitch("FFT", "JEITA", plFFTCtl);
  sModeSwitch->setObjectName("sModeSwitch");
  lblFreqRes = Label("Freqency Resolution :", plFFTCtl, "lblFreqRes");
  cbEnFreqTxtView = Check("Show Frequency text view", "cbEnFreqTxtView", true, plFFTCtl);
  ctlLayout->addWidget(sModeSwitch, 0, Qt::AlignVCenter);
  ctlLayout->addWidget(lblFreqRes, 0, Qt::AlignVCenter);
  ctlLayout->addStretch(1);
  ctlLayout->addWidget(cbEnFreqTxtView, 0, Qt::AlignVCenter);
  freqLayout->addWidget(plFFTCtl);

  plFreqNormal = new QWidget(sGroupBox4);
  plFreqNormal->setObjectName("plFreqNormal");
  auto* normalLayout = new QVBoxLayout(plFreqNormal);
  normalLayout->setContentsMargins(0, 0, 0, 0);
  normalLayout->setSpacing(2);
  auto* rangeRow = new QHBoxLayout;
  rangeRow->setContentsMargins(4, 0, 4, 0);
  rangeRow->setSpacing(6);
  edtLowFreq = Edit("1", "edtLowFreq", plFreqNormal, 64);
  edtHighFreq = Edit("100", "edtHighFreq", plFreqNormal, 64);
  btnSetFreq = Button("Set", "btnSetFreq", plFreqNormal);
  rangeRow->addWidget(Label("Range", plFreqNormal));
  rangeRow->addWidget(edtLowFreq);
  rangeRow->addWidget(Label("~", plFreqNormal));
  rangeRow->addWidget(edtHighFreq);
  rangeRow->addWidget(Label("Hz", plFreqNormal));
  rangeRow->addWidget(btnSetFreq);
  rangeRow->addStretch(1);
  normalLayout->addLayout(rangeRow);

  freqSplitter = new QSplitter(Qt::Horizontal, plFreqNormal);
  freqSplitter->setObjectName("freqSplitter");
  freqSplitter->setHandleWidth(5);
  freqSplitter->setChildrenCollapsible(false);
  Chart_normal = MakeChartView("Chart_normal", freqSplitter);
  plFreqTxtView = new QWidget(freqSplitter);
  plFreqTxtView->setObjectName("plFreqTxtView");
  auto* listLayout = new QVBoxLayout(plFreqTxtView);
  listLayout->setContentsMargins(0, 0, 0, 0);
  auto* listBox = new QGroupBox("Frequency List", plFreqTxtView);
  listBox->setObjectName("gbFrequencyList");
  auto* listBoxLayout = new QVBoxLayout(listBox);
  listBoxLayout->setContentsMargins(2, 2, 2, 2);
  sgbtl = new QTableWidget(11, 3, listBox);
  sgbtl->setObjectName("sgbtl");
  sgbtl->horizontalHeader()->hide();
  sgbtl->verticalHeader()->hide();
  sgbtl->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgbtl->setSelectionMode(QAbstractItemView::NoSelection);
  sgbtl->setFocusPolicy(Qt::NoFocus);
  sgbtl->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sgbtl->verticalHeader()->setDefaultSectionSize(19);
  sgbtl->installEventFilter(this);
  listBoxLayout->addWidget(sgbtl);
  listLayout->addWidget(listBox);
  freqSplitter->addWidget(Chart_normal);
  freqSplitter->addWidget(plFreqTxtView);
  freqSplitter->setStretchFactor(0, 1);
  freqSplitter->setStretchFactor(1, 0);
  freqSplitter->setSizes({400, 272});
  freqSplitter->handle(1)->setObjectName("spFrqeTxtView");
  normalLayout->addWidget(freqSplitter, 1);
  freqLayout->addWidget(plFreqNormal, 1);

  Chart_jeita = MakeChartView("Chart_jeita", sGroupBox4);
  freqLayout->addWidget(Chart_jeita, 1);

  leftSplitter->addWidget(sGroupBox3);
  leftSplitter->addWidget(sGroupBox4);
  leftSplitter->setSizes({330, 370});
  leftSplitter->handle(1)->setObjectName("sSplitter1");
  leftSplitter->handle(1)->setFixedHeight(7);

  // Series and axes.
  QChart* time = Chart1->chart();
  Series1 = new QLineSeries(time);
  Series1->setObjectName("Series1");
  Series1->setPen(QPen(kWaveColour, 1));
  Series4 = new QLineSeries(time);
  Series4->setObjectName("Series4");
  Series4->setPen(QPen(kFilteredColour, 1));
  Series5 = new QLineSeries(time);
  Series5->setObjectName("Series5");
  Series5->setPen(QPen(kMarkColour, 3));
  for (QLineSeries* s : {Series1, Series4, Series5}) time->addSeries(s);
  Chart1AxisX = new TickAxis("Time(sec)", "#,##0.#######", time);
  Chart1AxisY = new TickAxis("Voltage(V)", "#,##0.#####", time);
  time->addAxis(Chart1AxisX, Qt::AlignBottom);
  time->addAxis(Chart1AxisY, Qt::AlignLeft);
  for (QLineSeries* s : {Series1, Series4, Series5}) {
    s->attachAxis(Chart1AxisX);
    s->attachAxis(Chart1AxisY);
  }

  QChart* normal = Chart_normal->chart();
  auto* spectrumTop = new QLineSeries(normal);
  auto* spectrumBase = new QLineSeries(normal);
  Series2 = new QAreaSeries(spectrumTop, spectrumBase);
  Series2->setObjectName("Series2");
  Series2->setPen(QPen(kSpectrumColour, 1));
  Series2->setBrush(kSpectrumColour);
  normal->addSeries(Series2);
  NormalAxisX = new TickAxis("Freqency", "#,##0.#######", normal);
  NormalAxisY = new TickAxis("Amplitude(V)", "#,##0.#####", normal);
  normal->addAxis(NormalAxisX, Qt::AlignBottom);
  normal->addAxis(NormalAxisY, Qt::AlignLeft);
  Series2->attachAxis(NormalAxisX);
  Series2->attachAxis(NormalAxisY);

  QChart* jeita = Chart_jeita->chart();
  auto* jeitaTop = new QLineSeries(jeita);
  auto* jeitaBase = new QLineSeries(jeita);
  Series3 = new QAreaSeries(jeitaTop, jeitaBase);
  Series3->setObjectName("Series3");
  Series3->setPen(QPen(kJeitaColour, 1));
  Series3->setBrush(kJeitaColour);
  jeita->addSeries(Series3);
  Series3Marks = new QScatterSeries(jeita);
  Series3Marks->setObjectName("Series3Marks");
  Series3Marks->setMarkerSize(1);
  Series3Marks->setPen(Qt::NoPen);
  Series3Marks->setBrush(Qt::NoBrush);
  Series3Marks->setPointLabelsVisible(true);
  Series3Marks->setPointLabelsColor(QColor(0xFF, 0xFF, 0xFF));
  Series3Marks->setPointLabelsFormat("@yPoint");
  Series3Marks->setPointLabelsClipping(false);
  QFont markFont = Series3Marks->pointLabelsFont();
  markFont.setPointSize(7);
  Series3Marks->setPointLabelsFont(markFont);
  jeita->addSeries(Series3Marks);
  JeitaAxisX = new TickAxis("Frequency ", "#,##0.#####", jeita);
  JeitaAxisY = new TickAxis("dB", "#,##0.#####", jeita);
  jeita->addAxis(JeitaAxisX, Qt::AlignBottom);
  jeita->addAxis(JeitaAxisY, Qt::AlignLeft);
  for (QAbstractSeries* s : {static_cast<QAbstractSeries*>(Series3), static_cast<QAbstractSeries*>(Series3Marks)}) {
    s->attachAxis(JeitaAxisX);
    s->attachAxis(JeitaAxisY);
  }
  return leftSplitter;
}

QWidget* TfFlicker::BuildBasicPage() {
  auto* page = new QWidget;
  page->setObjectName("tsBasic");
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(6);
  basicPages = new QTabWidget(page);
  basicPages->setObjectName("sPageControl2");
  basicPages->addTab(BuildViewPage(), "View");
  basicPages->addTab(BuildOptionPage(), "Option");
  layout->addWidget(basicPages, 1);

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(8);
  sbtnCapture = Button("Start", "sbtnCapture", page);
  sbtnCapture->setIcon(ProgramIcon(IconKind::Go));
  sbtnCapture->setIconSize(QSize(26, 26));
  sbtnCapture->setMinimumHeight(44);
  sSpeedButton1 = Button("Dark Calibration", "sSpeedButton1", page);
  sSpeedButton1->setIcon(ProgramIcon(IconKind::Dark));
  sSpeedButton1->setIconSize(QSize(22, 22));
  sSpeedButton1->setMinimumHeight(44);
  buttons->addWidget(sbtnCapture, 1);
  buttons->addWidget(sSpeedButton1, 1);
  layout->addLayout(buttons);
  return page;
}

QWidget* TfFlicker::BuildViewPage() {
  auto* page = new QWidget;
  page->setObjectName("tsView");
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(6);

  plLvView = new QWidget(page);
  plLvView->setObjectName("plLvView");
  plLvView->setFixedHeight(76);
  plLvView->installEventFilter(this);
  btnLvMsr = ImageButton(IconKind::Capture, "btnLvMsr", "Measure the light level", plLvView);
  btnLvMsr->setFixedWidth(48);
  layout->addWidget(plLvView);

  sgDataView = new QGroupBox("Flicker parameter", page);
  sgDataView->setObjectName("sgDataView");
  sgDataView->installEventFilter(this);
  ssbLoad = ImageButton(IconKind::Load, "ssbLoad", "Load a measurement", sgDataView);
  ssbSave = ImageButton(IconKind::Save, "ssbSave", "Save the measurement", sgDataView);
  sSpeedButton4 = ImageButton(IconKind::Report, "sSpeedButton4", "Save Report", sgDataView);
  ssbEdit = ImageButton(IconKind::Edit, "ssbEdit", "Choose the figures", sgDataView);
  layout->addWidget(sgDataView);
  layout->addStretch(1);
  return page;
}

QWidget* TfFlicker::BuildOptionPage() {
  auto* page = new QWidget;
  page->setObjectName("tsOption");
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(6);

  auto* sampling = new QGroupBox("Sampling setting", page);
  sampling->setObjectName("gbSampling");
  auto* samplingForm = new QFormLayout(sampling);
  samplingForm->setContentsMargins(8, 6, 8, 6);
  cbSampleFreq = Combo("cbSampleFreq", sampling);
  cbEnableFreqRes = Check("Advance Setting", "cbEnableFreqRes", false, sampling);
  cbSampleNum = Combo("cbSampleNum", sampling);
  samplingForm->addRow("Sampling Freq(Hz)", cbSampleFreq);
  samplingForm->addRow(cbEnableFreqRes);
  samplingForm->addRow("Sampling Number", cbSampleNum);
  layout->addWidget(sampling);

  auto* gain = new QGroupBox("Auto gain setting", page);
  gain->setObjectName("gbAutoGain");
  auto* gainForm = new QFormLayout(gain);
  gainForm->setContentsMargins(8, 6, 8, 6);
  cbAutoGain = Check("Enable", "cbAutoGain", true, gain);
  cbGainSel = Combo("cbGainSel", gain);
  gainForm->addRow(cbAutoGain);
  gainForm->addRow("Gain", cbGainSel);
  layout->addWidget(gain);

  auto* fir = new QGroupBox("FIR Filter parameter", page);
  fir->setObjectName("gbFir");
  auto* firForm = new QFormLayout(fir);
  firForm->setContentsMargins(8, 6, 8, 6);
  chkEnFIR = Check("Enable", "chkEnFIR", false, fir);
  edtFilterCutFreq = Edit("1000", "edtFilterCutFreq", fir);
  edtFilterCutFreq->installEventFilter(this);
  firForm->addRow(chkEnFIR);
  firForm->addRow("Filter Cutoff Freq(Hz)", edtFilterCutFreq);
  layout->addWidget(fir);

  auto* axis = new QGroupBox("Axis setting", page);
  axis->setObjectName("gbAxis");
  auto* axisGrid = new QGridLayout(axis);
  axisGrid->setContentsMargins(8, 6, 8, 6);
  axisGrid->setHorizontalSpacing(4);
  cbAxisX = Check("Adjust X Axis", "cbAxisX", false, axis);
  edtMinAxisX = Edit("Min", "edtMinAxisX", axis, 70);
  lblAxisXTilde = Label("~", axis, "lblAxisXTilde");
  edtMaxAxisX = Edit("Max", "edtMaxAxisX", axis, 70);
  btnSetAxisX = Button("View", "btnSetAxisX", axis);
  cbAxisY = Check("Adjust Y Axis", "cbAxisY", false, axis);
  edtMinAxisY = Edit("Min", "edtMinAxisY", axis, 70);
  lblAxisYTilde = Label("~", axis, "lblAxisYTilde");
  edtMaxAxisY = Edit("Max", "edtMaxAxisY", axis, 70);
  btnSetAxisY = Button("View", "btnSetAxisY", axis);
  lblMarkY = Label("Mark Y Axis >", axis, "lblMarkY");
  edtBarY = Edit("", "edtBarY", axis, 70);
  btnSetBarY = Button("Show", "btnSetBarY", axis);
  axisGrid->addWidget(cbAxisX, 0, 0, 1, 4);
  axisGrid->addWidget(edtMinAxisX, 1, 0);
  axisGrid->addWidget(lblAxisXTilde, 1, 1);
  axisGrid->addWidget(edtMaxAxisX, 1, 2);
  axisGrid->addWidget(btnSetAxisX, 1, 3);
  axisGrid->addWidget(cbAxisY, 2, 0, 1, 4);
  axisGrid->addWidget(edtMinAxisY, 3, 0);
  axisGrid->addWidget(lblAxisYTilde, 3, 1);
  axisGrid->addWidget(edtMaxAxisY, 3, 2);
  axisGrid->addWidget(btnSetAxisY, 3, 3);
  axisGrid->addWidget(lblMarkY, 4, 0);
  axisGrid->addWidget(edtBarY, 4, 2);
  axisGrid->addWidget(btnSetBarY, 4, 3);
  axisGrid->setColumnStretch(4, 1);
  for (QWidget* w : std::initializer_list<QWidget*>{edtMinAxisX, lblAxisXTilde, edtMaxAxisX, btnSetAxisX, edtMinAxisY,
                                                    lblAxisYTilde, edtMaxAxisY, btnSetAxisY, lblMarkY, edtBarY, btnSetBarY})
    w->hide();
  layout->addWidget(axis);

  sButton1 = Button("set", "sButton1", page);
  sButton1->setToolTip("Apply the options to the running capture");
  layout->addWidget(sButton1);
  layout->addStretch(1);
  return page;
}

QWidget* TfFlicker::BuildPstPage() {
  auto* page = new QWidget;
  page->setObjectName("tsPstLM");
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(4, 4, 4, 4);
  plPstView = new QWidget(page);
  plPstView->setObjectName("plPstView");
  plPstView->installEventFilter(this);
  layout->addWidget(plPstView, 1);
  ProgressBar1 = new QProgressBar(plPstView);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setRange(0, 195);
  ProgressBar1->setValue(0);
  PstLabel = Label("0:0:0", plPstView, "PstLabel");
  PstLabel->setAlignment(Qt::AlignCenter);
  btnPstMsr = Button("     Capture    ", "btnPstMsr", plPstView);
  btnPstMsr->setIcon(ProgramIcon(IconKind::Capture));
  btnPstMsr->setIconSize(QSize(32, 32));
  sSpeedButton3 = Button("Dark Calibration", "sSpeedButton3", plPstView);
  sSpeedButton3->setIcon(ProgramIcon(IconKind::Dark));
  sSpeedButton3->setIconSize(QSize(22, 22));
  sSpeedButton2 = Button("   Save Report   ", "sSpeedButton2", plPstView);
  sSpeedButton2->setIcon(ProgramIcon(IconKind::Report));
  sSpeedButton2->setIconSize(QSize(22, 22));
  return page;
}

QWidget* TfFlicker::BuildDevicePage(const QString& productText) {
  auto* page = new QWidget;
  page->setObjectName("tsDevice");
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(6);

  auto* status = new QGroupBox("Device Status", page);
  status->setObjectName("gbDeviceStatus");
  auto* statusLayout = new QVBoxLayout(status);
  statusLayout->setContentsMargins(6, 6, 6, 6);
  frSpListView1 = new TfrSpListView(status);
  statusLayout->addWidget(frSpListView1, 1);
  lblDevName = Label("Dev : ", status, "lblDevName");
  QFont bold = lblDevName->font();
  bold.setBold(true);
  lblDevName->setFont(bold);
  statusLayout->addWidget(lblDevName);
  auto* row = new QHBoxLayout;
  sButton3 = Button("Mount", "sButton3", status);
  chkAutoConnection = Check("Auto Connection", "chkAutoConnection", true, status);
  row->addWidget(sButton3);
  row->addWidget(chkAutoConnection);
  row->addStretch(1);
  statusLayout->addLayout(row);
  btnSimulator = Button("Simulator...", "btnSimulator", status);
  btnSimulator->setToolTip("Plug, unplug and light the simulated instruments");
  btnSimulator->hide();
  statusLayout->addWidget(btnSimulator);
  layout->addWidget(status, 3);

  auto* aboutPages = new QTabWidget(page);
  aboutPages->setObjectName("sPageControl3");
  auto* about = new QWidget;
  about->setObjectName("tsAbout");
  auto* aboutLayout = new QVBoxLayout(about);
  aboutLayout->setContentsMargins(6, 6, 6, 6);
  sMemo1 = new QPlainTextEdit(about);
  sMemo1->setObjectName("sMemo1");
  sMemo1->setReadOnly(true);
  sMemo1->setPlainText(productText);
  sMemo1->setFixedHeight(48);
  aboutLayout->addWidget(Label("Installed Products:", about, "lblInstalled"));
  aboutLayout->addWidget(sMemo1);
  auto* notice = Label(kMakerNotice, about, "lblNotice");
  notice->setWordWrap(true);
  aboutLayout->addWidget(notice);
  slbURL = Label(kMakerUrl, about, "slbURL");
  slbURL->setStyleSheet("QLabel { color: #00FFFF; text-decoration: underline; }");
  slbURL->setCursor(Qt::PointingHandCursor);
  slbURL->installEventFilter(this);
  aboutLayout->addWidget(slbURL);
  aboutLayout->addStretch(1);
  aboutPages->addTab(about, "About");
  layout->addWidget(aboutPages, 2);
  return page;
}

void TfFlicker::ConnectSignals() {
  connect(Timer1, &QTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
  connect(tmrPickup, &QTimer::timeout, this, Guarded([this] {
    if (capturing) Timer1Timer();
  }));
  connect(Timer2, &QTimer::timeout, this, Guarded([this] { Timer2Timer(); }));
  connect(Timer3, &QTimer::timeout, this, Guarded([this] { Timer3Timer(); }));
  connect(sbtnCapture, &QPushButton::clicked, this, Guarded([this] { sbtnCaptureClick(); }));
  connect(sButton1, &QPushButton::clicked, this, Guarded([this] { sButton1Click(); }));
  connect(btnSetFreq, &QPushButton::clicked, this, Guarded([this] { btnSetFreqClick(); }));
  connect(sModeSwitch, &QAbstractButton::toggled, this, Guarded([this] { sModeSwitchSliderChange(); }));
  connect(cbEnFreqTxtView, &QCheckBox::toggled, this, Guarded([this] { cbEnFreqTxtViewClick(); }));
  connect(cbAxisX, &QCheckBox::toggled, this, Guarded([this] { cbAxisXClick(); }));
  connect(btnSetAxisX, &QPushButton::clicked, this, Guarded([this] { btnSetAxisXClick(); }));
  connect(cbAxisY, &QCheckBox::toggled, this, Guarded([this] { cbAxisYClick(); }));
  connect(btnSetAxisY, &QPushButton::clicked, this, Guarded([this] { btnSetAxisYClick(); }));
  connect(btnSetBarY, &QPushButton::clicked, this, Guarded([this] { btnSetBarYClick(); }));
  connect(sSpeedButton1, &QPushButton::clicked, this, Guarded([this] { sSpeedButton1Click(); }));
  connect(sSpeedButton3, &QPushButton::clicked, this, Guarded([this] { sSpeedButton1Click(); }));
  connect(cbAutoGain, &QCheckBox::toggled, this, Guarded([this] { cbAutoGainClick(); }));
  connect(chkEnFIR, &QCheckBox::toggled, this, Guarded([this] { chkEnFIRClick(); }));
  connect(cbEnableFreqRes, &QCheckBox::toggled, this, Guarded([this] { cbEnableFreqResClick(); }));
  connect(sButton3, &QPushButton::clicked, this, Guarded([this] { sButton3Click(); }));
  connect(btnLvMsr, &QToolButton::clicked, this, Guarded([this] { btnLvMsrClick(); }));
  connect(btnPstMsr, &QPushButton::clicked, this, Guarded([this] { sSpeedButton3Click(); }));
  connect(sSpeedButton2, &QPushButton::clicked, this, Guarded([this] { sSpeedButton2Click(); }));
  connect(sSpeedButton4, &QToolButton::clicked, this, Guarded([this] { sSpeedButton2Click(); }));
  connect(ssbEdit, &QToolButton::clicked, this, Guarded([this] { ssbEditClick(); }));
  connect(ssbSave, &QToolButton::clicked, this, Guarded([this] { ssbSaveClick(); }));
  connect(ssbLoad, &QToolButton::clicked, this, Guarded([this] { ssbLoadClick(); }));
}

void TfFlicker::InitView() {
  cbSampleFreq->clear();
  for (int f : kSampleFreqs) cbSampleFreq->addItem(QString::number(f));
  cbSampleFreq->setCurrentIndex(7);
  cbSampleNum->clear();
  for (int n : kSampleNums) cbSampleNum->addItem(QString::number(n));
  cbSampleNum->setCurrentIndex(4);
  cbGainSel->clear();
  for (int g = 1; g <= 4; ++g) cbGainSel->addItem(QString::number(g));
  cbGainSel->setCurrentIndex(0);

  BuildPstPanels();
  BuildLuxPanels();
  BuildParamPanels();
  LoadParamNames();

  Chart1->chart()->setTitle(QString());
  Chart_jeita->chart()->setTitle(QString());
  Chart_normal->chart()->setTitle(QString());
  Chart_jeita->hide();
  Chart_normal->show();
  plFreqNormal->show();
  axisXAutomatic = true;
  axisYAutomatic = true;
  Chart1AxisX->SetSpan(0, 1);
  Chart1AxisY->SetSpan(0, 5);
  NormalAxisX->SetSpan(0, 100);
  NormalAxisY->SetSpan(0, 1);
  JeitaAxisX->SetSpan(0, 60);
  JeitaAxisY->SetSpanWithStep(-60, 0, 10);

  luxName->setText("Lv");
  luxValue->setText("0.0");

  cbEnableFreqResClick();
  cbAutoGainClick();
  chkEnFIRClick();
  cbEnFreqTxtViewClick();
}

// --- settings and records -----------------------------------------------------------------

void TfFlicker::LoadParamNames() {
  QStringList names;
  if (!ReadFlkInfoColumns(&names)) {
    Ui().ShowMessage("read file error(ini).");
    return;
  }
  for (int i = 0; i < 7; ++i) paramNames[i]->setText(names.value(i));
}

void TfFlicker::ShowSamplingLabels() {
  lblSampleRate->setText("Sample Rate : " + QString::number(sampleFreq) + " Hz");
  const double timeRes = sampleFreq > 0 ? 1.0 / sampleFreq : 0;
  const double freqRes = sampleCount > 0 ? static_cast<double>(sampleFreq) / sampleCount : 0;
  lblTimeRes->setText("Time Resolution : " + QString::fromStdString(FormatPattern(timeRes, "0.#####")) + " sec");
  lblFreqRes->setText("Frequency Resolution : " + QString::fromStdString(FormatPattern(freqRes, "0.#####")) + " Hz");
}

FlickerRecordPtr TfFlicker::NewRecordFromSettings() {
  // Every text is read before anything changes, so a bad entry leaves the frame as it was.
  const int newGain = ToInt(cbGainSel->currentText()) - 1;
  const int newFreq = ToInt(cbSampleFreq->currentText());
  const int newCount = ToInt(cbSampleNum->currentText());
  const int newCutoff = ToInt(edtFilterCutFreq->text());
  if (newCutoff <= 0) throw ConversionError("'" + edtFilterCutFreq->text().toStdString() + "' is not a valid cut-off frequency");

  gainIndex = newGain;
  sampleFreq = newFreq;
  sampleCount = newCount;
  firEnabled = chkEnFIR->isChecked() ? 1 : 0;
  autoGain = cbAutoGain->isChecked() ? 1 : 0;
  cutoffFreq = newCutoff;
  ShowSamplingLabels();

  FlickerRecordPtr record = MakeFlickerRecord(sampleCount, sampleFreq, kFirTaps, cutoffFreq, 1);
  if (!record) return nullptr;
  if (device) device->flickerAcq.record.store(record.get());
  edtHighFreq->setText(QString::number(record->sampleFreq / 2));
  edtLowFreq->setText("1");
  if (!autoGain && device) device->flickerAcq.range = gainIndex;
  ClampHighFreq(*record);
  Timer1->setInterval(static_cast<int>(record->bufferLen / record->sampleFreq) * 1000 + 1000);
  return record;
}

FlickerRecordPtr TfFlicker::NewRecord(int frequency, int count) {
  const int newGain = ToInt(cbGainSel->currentText()) - 1;
  const int newCutoff = ToInt(edtFilterCutFreq->text());
  if (newCutoff <= 0) throw ConversionError("'" + edtFilterCutFreq->text().toStdString() + "' is not a valid cut-off frequency");
  if (frequency <= 0 || count <= 0) return nullptr;
  gainIndex = newGain;
  firEnabled = chkEnFIR->isChecked() ? 1 : 0;
  autoGain = cbAutoGain->isChecked() ? 1 : 0;
  cutoffFreq = newCutoff;
  FlickerRecordPtr record = MakeFlickerRecord(count, frequency, kFirTaps, cutoffFreq, 1);
  if (!record) return nullptr;
  edtHighFreq->setText(QString::number(record->sampleFreq / 2));
  edtLowFreq->setText("1");
  ClampHighFreq(*record);
  return record;
}

void TfFlicker::SetDevice(SpDevicePtr entry, int channel_) {
  device = std::move(entry);
  channel = channel_;
  if (!device) return;
  FlickerRecordPtr record = NewRecordFromSettings();
  if (record) {
    FlickerRecordPtr previous = std::move(unitRecord);
    unitRecord = std::move(record);
    Dispose(std::move(previous));
  }
  SetLuxCaption();
  OfferDarkCalibration();
}

QString TfFlicker::ConnectedModel() const { return device ? QString::fromUtf8(device->model) : QString(); }

void TfFlicker::Dispose(FlickerRecordPtr record) {
  if (!record) return;
  const FlickerRecord* r = record.get();
  if (device) FlickerAcqDetach(&device->flickerAcq, r);
  for (const SpDevicePtr& d : frSpListView1->devices)
    if (d) FlickerAcqDetach(&d->flickerAcq, r);
  for (const SpDevicePtr& d : SpDevices()) FlickerAcqDetach(&d->flickerAcq, r);
  record.reset();
}

QString TfFlicker::BusyReason(bool capture, bool pst) const {
  if (pst && PstRunning()) return kPstRunningText;
  if (capture && capturing) return kFlickerRunningText;
  return QString();
}

bool TfFlicker::RefuseWhenBusy(bool capture, bool pst) {
  const QString reason = BusyReason(capture, pst);
  if (reason.isEmpty()) return false;
  Ui().ShowMessage(reason);
  return true;
}

void TfFlicker::slbURLClick() { Ui().OpenUrl(QUrl(slbURL->text())); }

void TfFlicker::sButton3Click() {
  if (RefuseWhenBusy(true, true)) return;
  if (onMount) onMount(chkAutoConnection->isChecked());
}

bool TfFlicker::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edtFilterCutFreq && event->type() == QEvent::KeyPress) {
    // After a command the edit shows the default cut-off again; the key is not applied.
    return edtFilterCutFreqKeyPress();
  }
  if (watched == slbURL && event->type() == QEvent::MouseButtonRelease) {
    slbURLClick();
    return true;
  }
  if (event->type() == QEvent::Resize) {
    if (watched == sgDataView) {
      LayoutParamRows();
      PlaceDataButtons();
    } else if (watched == plPstView) {
      LayoutPstPage();
    } else if (watched == plLvView) {
      LayoutLuxRow();
    } else if (watched == sgbtl) {
      const int third = sgbtl->viewport()->width() / 3;
      for (int c = 0; c < 3; ++c) sgbtl->setColumnWidth(c, third);
    }
  }
  return QWidget::eventFilter(watched, event);
}
