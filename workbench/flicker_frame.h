// TfFlicker: the workbench frame that fills the main window and carries the whole user
// interface: the time wave, spectrum and JEITA charts on the left; on the right the pages
// "Basic" ("View": light level and the flicker parameter box; "Option": the capture
// options), "PstLM" and "Device" (device tree, connection, "About").
//
// Threads: everything here runs on the UI thread. The capture worker exchanges records with
// the frame only through its ring; the PstLM thread fills the store's record while
// pstRequested is set and hands its three texts over on the UI thread before clearing it.
//
// Record ownership: the frame owns every record it makes (FlickerRecordPtr). A record the
// worker may still hold is never freed (it is retired until the worker hands it back or is
// confirmed idle), a record the PstLM run fills is never replaced while the run lasts, and
// an instrument's acquisition unit is pointed at a successor (or cleared) before a record
// it may point at is freed.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QAreaSeries>
#include <QScatterSeries>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <QChartView>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/assessment.h"
#include "analysis/record.h"
#include "files/flktank.h"
#include "instrument/device.h"
#include "instrument/worker.h"
#include "report/report_input.h"

class TfrSpListView;
class TModeSwitch;
class TickAxis;
class FlkPst;
class TSpExpBSet;

// The product-and-version text shown on the "About" page and compared by the version check.
inline constexpr const char* kProductVersionText = "Quivra 1.0.3.3";

// Refusals while another long operation holds the instrument or the kept measurement.
inline constexpr const char* kFlickerRunningText = "Warning!! Flicker is running.";
inline constexpr const char* kPstRunningText = "Warning!! PstLM is running.";

class TfFlicker : public QWidget {
  Q_OBJECT

 public:
  explicit TfFlicker(const QString& productText, QWidget* parent = nullptr);
  ~TfFlicker() override;

  // --- options, records, instrument hand-over -------------------------------------------
  // The frame takes over an instrument and its channel (null / -1: drops it).
  void SetDevice(SpDevicePtr entry, int channel);
  // Applies the option controls and makes a record from them; it becomes the connected
  // instrument's working record. Null when the record cannot be made. Throws
  // ConversionError (nothing changed) when the cut-off text is not a number.
  FlickerRecordPtr NewRecordFromSettings();
  // A record for an explicit rate and count (file load, PstLM): the options' FIR cut-off,
  // the upper display frequency follows the record; instrument, gain and Timer1 untouched.
  FlickerRecordPtr NewRecord(int frequency, int count);
  void InitView();
  void LoadParamNames();
  void ShowSamplingLabels();
  void slbURLClick();

  // --- continuous capture --------------------------------------------------------------
  void sbtnCaptureClick();
  void sButton1Click();  // "set"
  void Timer1Timer();
  // False when no record could be made (nothing started, nothing replaced).
  bool StartCapture();
  bool StopCapture();
  void CaptureStep();
  static bool IsOverExposed(const FlickerRecord& record);
  void UpdateCaptureButton();

  // --- charts, frequency list, axis controls -------------------------------------------
  void ShowCharts(const FlickerRecord& record);
  void ResetFreqGrid();
  void ClampHighFreq(const FlickerRecord& record);
  void btnSetFreqClick();
  void sModeSwitchSliderChange();
  void cbEnFreqTxtViewClick();
  void cbAxisXClick();
  void btnSetAxisXClick();
  void cbAxisYClick();
  void btnSetAxisYClick();
  void btnSetBarYClick();

  // --- dark calibration and option switches --------------------------------------------
  void sSpeedButton1Click();  // "Dark Calibration" (both pages)
  // Service commands of the cut-off edit, looking at its text before a key is applied;
  // true when the text was a command (the key is then not applied).
  bool edtFilterCutFreqKeyPress();
  void cbAutoGainClick();
  void chkEnFIRClick();
  void cbEnableFreqResClick();
  void sButton3Click();  // "Mount"

  // --- light level ---------------------------------------------------------------------
  void BuildLuxPanels();
  void btnLvMsrClick();

  // --- PstLM page and report -----------------------------------------------------------
  void BuildPstPanels();
  void sSpeedButton3Click();  // PstLM "Capture"
  void BeginPstLM();
  void Timer2Timer();
  void Timer3Timer();
  void sSpeedButton2Click();  // "Save Report"
  // Called on the UI thread with the PstLM thread's three texts before it clears
  // pstRequested.
  void SetPstTexts(const QString& frequency, const QString& svm, const QString& pst);
  // A PstLM run is in progress (requested and its texts not yet handed back, or its thread
  // not yet done with the record).
  bool PstRunning() const;
  // Ends the PstLM thread for the frame's end, after waiting at most waitMs for a run in
  // progress; false when a run was still going (it then ends after its current step).
  bool StopPstLM(int waitMs);
  // The first half of StopPstLM, before the instruments are closed at the program's end.
  void EndPstLM();
  // Shows the report information dialog once "Save Report" has written the snapshots.
  std::function<void()> onReport;

  // --- assessment page -----------------------------------------------------------------
  // Assesses the measurement on display (null: none) and shows it: the measured point on
  // the IEEE 1789 chart and one line per criterion. The PstLM criterion judges pstValue only
  // while pstDone. Called after every shown capture, load and PstLM run.
  void ShowAssessment(const FlickerRecord* record);
  // The verdicts on display.
  const Assessment& AssessmentShown() const { return assessment_; }

  // --- parameter box -------------------------------------------------------------------
  void BuildParamPanels();
  void ShowParams(const FlickerRecord* record);
  static QString FormatParam(const QString& name, const FlickerRecord* record);
  void ssbEditClick();

  // --- save and load -------------------------------------------------------------------
  void ssbSaveClick();
  void ssbLoadClick();

  // --- hooks for the main window -------------------------------------------------------
  // "Mount": connect with the state of "Auto Connection".
  std::function<void(bool automatic)> onMount;
  // The connected instrument's model for the report, empty when none.
  QString ConnectedModel() const;
  // The measurement part of the report's inputs: the kept record (or null), pstDone, the
  // PstLM text, the connected model. Nothing (after saying why) while a PstLM run fills the
  // kept record.
  std::optional<ReportInput> ReportMeasurement();
  // Writes the three chart snapshots into folder; false (with the failing path in *failed)
  // when one could not be written. The JEITA value marks are hidden while it is drawn.
  bool SaveChartSnapshots(const QString& folder, QString* failed);

  // --- state (names of the design) -----------------------------------------------------
  int sampleCount = 0;
  int sampleFreq = 0;
  int gainIndex = 0;
  int cutoffFreq = 1000;
  FlickerRecordPtr ringRecord;  // the record that circulates through the worker's ring
  std::unique_ptr<TFlkTankMgr> flkTank;
  int firEnabled = 0;
  uint16_t capturing = 0;
  TSpExpBSet* expSet = nullptr;  // the frame's own column dialog, created hidden
  SpDevicePtr device;
  int channel = -1;
  QLabel* paramNames[7] = {};
  QLabel* paramValues[7] = {};
  QLabel* luxName = nullptr;
  QLabel* luxValue = nullptr;
  QLabel* pstNames[3] = {};
  QLabel* pstValues[3] = {};
  int lowFreq = 1;
  int highFreq = 100;
  int autoGain = 1;
  int settingsChanged = 0;
  CaptureWorker* captureWorker = nullptr;
  uint8_t overExposed = 0;
  std::unique_ptr<FlkPst> pstThread;
  std::atomic<int> pstRequested{0};
  int pstDone = 0;
  std::optional<double> pstValue;  // PstLM of the last finished run; none when it failed
  float pstElapsed = 0;  // seconds since the PstLM run began
  uint64_t capturesShown = 0;  // continuous captures analysed and shown so far
  int stopWaitMs = 20000;      // longest wait for the worker to confirm a stop

  // --- components (object names as the design names them) ------------------------------
  QGroupBox* sGroupBox3;
  QLabel* lblSampleRate;
  QLabel* lblTimeRes;
  QLabel* lblGain;
  QChartView* Chart1;
  QSplitter* leftSplitter;  // its handle is "sSplitter1"
  QGroupBox* sGroupBox4;
  QWidget* plFFTCtl;
  TModeSwitch* sModeSwitch;
  QLabel* lblFreqRes;
  QCheckBox* cbEnFreqTxtView;
  QWidget* plFreqNormal;
  QLineEdit* edtLowFreq;
  QLineEdit* edtHighFreq;
  QPushButton* btnSetFreq;
  QChartView* Chart_normal;
  QSplitter* freqSplitter;  // its handle is "spFrqeTxtView"
  QWidget* plFreqTxtView;
  QTableWidget* sgbtl;
  QChartView* Chart_jeita;

  QTabWidget* sPageControl1;
  QTabWidget* basicPages;
  QWidget* plLvView;
  QToolButton* btnLvMsr;
  QGroupBox* sgDataView;
  QToolButton* ssbLoad;
  QToolButton* ssbSave;
  QToolButton* sSpeedButton4;
  QToolButton* ssbEdit;
  QComboBox* cbSampleFreq;
  QCheckBox* cbEnableFreqRes;
  QComboBox* cbSampleNum;
  QCheckBox* cbAutoGain;
  QComboBox* cbGainSel;
  QCheckBox* chkEnFIR;
  QLineEdit* edtFilterCutFreq;
  QCheckBox* cbAxisX;
  QLineEdit* edtMinAxisX;
  QLineEdit* edtMaxAxisX;
  QLabel* lblAxisXTilde;
  QPushButton* btnSetAxisX;
  QCheckBox* cbAxisY;
  QLineEdit* edtMinAxisY;
  QLineEdit* edtMaxAxisY;
  QLabel* lblAxisYTilde;
  QPushButton* btnSetAxisY;
  QLabel* lblMarkY;
  QLineEdit* edtBarY;
  QPushButton* btnSetBarY;
  QPushButton* sButton1;
  QPushButton* sbtnCapture;
  QPushButton* sSpeedButton1;

  QWidget* plPstView;
  QProgressBar* ProgressBar1;
  QLabel* PstLabel;
  QPushButton* btnPstMsr;
  QPushButton* sSpeedButton3;
  QPushButton* sSpeedButton2;

  TfrSpListView* frSpListView1;
  QLabel* lblDevName;
  QPushButton* sButton3;
  QCheckBox* chkAutoConnection;
  QPushButton* btnSimulator;  // shown only when the simulated instrument is the back end
  QPlainTextEdit* sMemo1;
  QLabel* slbURL;

  // "Assessment" page: the IEEE 1789 chart (frequency and Mod% on log axes) and the verdicts.
  QWidget* tsAssessment;
  QChartView* ChartAssessment;
  QLineSeries* SeriesLowRisk;       // IEEE 1789 low-risk limit line
  QLineSeries* SeriesNoEffect;      // IEEE 1789 no-observable-effect limit line
  QScatterSeries* SeriesMeasured;   // the measurement on display (empty when not assessed)
  // Per criterion, in AssessmentRule order: its name, its state (with the reason when not
  // assessed) and its value with the limit. Object names "lblRule_<id>", "lblState_<id>",
  // "lblDetail_<id>" with the rule's id.
  QLabel* assessRules[4] = {};
  QLabel* assessStates[4] = {};
  QLabel* assessDetails[4] = {};

  QTimer* Timer1;
  // Picks a filled record up within 50 ms of the worker's delivery, so that the record is
  // back in the ring before the worker's next tick whatever the phase of Timer1: the display
  // then follows every tick of the worker.
  QTimer* tmrPickup;
  QTimer* Timer2;
  QTimer* Timer3;

  // Series of the charts.
  QLineSeries* Series1;  // raw time wave
  QLineSeries* Series4;  // FIR-filtered time wave
  QLineSeries* Series5;  // mark line
  QAreaSeries* Series2;  // amplitude spectrum bars
  QAreaSeries* Series3;  // JEITA bars
  QScatterSeries* Series3Marks;  // value marks of the JEITA bars
  TickAxis* Chart1AxisX;
  TickAxis* Chart1AxisY;
  TickAxis* NormalAxisX;
  TickAxis* NormalAxisY;
  TickAxis* JeitaAxisX;
  TickAxis* JeitaAxisY;
  // Whether the time chart's axes follow the data (false after "View").
  bool axisXAutomatic = true;
  bool axisYAutomatic = true;
  // JEITA value marks: shown normally, hidden while the chart is saved for the report.
  void SetJeitaMarksVisible(bool visible);
  bool JeitaMarksVisible() const { return jeitaMarksVisible_; }

  // Records waiting for the worker to hand them back (see the header comment).
  std::vector<FlickerRecordPtr> retiredRecords;
  // The working record made for the instrument by SetDevice and the dark calibration.
  FlickerRecordPtr unitRecord;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout(const QString& productText);
  QWidget* BuildLeftSide();
  QWidget* BuildBasicPage();
  QWidget* BuildViewPage();
  QWidget* BuildOptionPage();
  QWidget* BuildPstPage();
  QWidget* BuildAssessmentPage();
  QWidget* BuildDevicePage(const QString& productText);
  void ConnectSignals();
  void OfferDarkCalibration();
  void SetLuxCaption();
  void LayoutParamRows();
  void LayoutPstPage();
  void LayoutLuxRow();
  void PlaceDataButtons();
  // Frees a record: first detaches it from every acquisition unit that may point at it.
  void Dispose(FlickerRecordPtr record);
  // Hands a record the worker may still hold to the retired list or frees it when the
  // worker is idle.
  void RetireRingRecord();
  bool WorkerIdle() const;
  // Why the instrument or the kept measurement cannot be used now; empty when it can.
  // capture: refuse while a continuous capture is active; pst: while a PstLM run is.
  QString BusyReason(bool capture, bool pst) const;
  bool RefuseWhenBusy(bool capture, bool pst);
  void DrawTimeWave(const FlickerRecord& record, bool filtered);
  void DrawSpectrum(const FlickerRecord& record);
  void DrawJeita(const FlickerRecord& record);
  void DrawJeitaBars();  // from the levels kept by the last DrawJeita
  void RedrawFromStore();
  bool jeitaMarksVisible_ = true;
  bool waveFiltered_ = false;  // the time wave on display is the filtered one
  std::vector<float> jeitaFrequency_, jeitaLevel_;  // the JEITA bars on display
  float jeitaBinHz_ = 0;
  int pstFinishTicks_ = 0;
  SpectrumWorkspace assessmentWorkspace_;  // the JA8 reduction's transform, reused
  Assessment assessment_;
};

// The label of the elapsed PstLM time: hours, minutes and seconds without leading zeros
// ("0:2:5" for 125 s).
QString ElapsedText(int seconds);
