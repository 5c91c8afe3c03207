// The "Simulator" window: runtime control of the simulated instruments while the program
// runs on them. Plug an instrument of any model, add a second one, unplug the selected one,
// and change the light it sees (waveform, frequency, modulation, level, duty, noise) and the
// illuminance of its spectrum; put a cover on its sensor for a dark calibration. Every change goes through the simulator's thread-safe
// controls; the program sees plugging at its next device scan like a real instrument.
#pragma once

#include <QWidget>
#include <memory>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;
class SimDriver;

class TSimulatorWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TSimulatorWindow(std::shared_ptr<SimDriver> driver, QWidget* parent = nullptr);

  // Plugs an instrument of the model chosen in cbModel (serial from edtSerial, or the next
  // free one when empty); returns its serial, empty when refused (the reason in lblStatus).
  QString PlugChosen();
  // Plugs one more "TR7BQ" with the next free serial.
  QString AddInstrument();
  // Unplugs the instrument selected in the list; false when none is selected.
  bool UnplugSelected();
  // Gives the selected instrument the light and lux of the controls; false when refused.
  bool ApplyLight();
  // Puts the cover on the selected instrument's sensor (it sees dark only) or takes it off;
  // false when none is selected.
  bool SetCover(bool on);
  // Re-reads the plugged instruments into the list (keeps the selection by serial).
  void RefreshList();
  // Serial of the selected row, empty when none.
  QString SelectedSerial() const;
  // The model names offered for plugging.
  static QStringList ModelNames();

  QComboBox* cbModel;
  QLineEdit* edtSerial;
  QPushButton* btnPlug;
  QPushButton* btnAdd;
  QPushButton* btnUnplug;
  QTableWidget* lvInstruments;
  QComboBox* cbWaveform;
  QDoubleSpinBox* edtFrequency;
  QDoubleSpinBox* edtModulation;
  QDoubleSpinBox* edtLevel;
  QDoubleSpinBox* edtDuty;
  QDoubleSpinBox* edtNoise;
  QDoubleSpinBox* edtLux;
  QPushButton* btnApplyLight;
  QCheckBox* chkCover;
  QLabel* lblStatus;

 private:
  void ShowSelected();
  std::shared_ptr<SimDriver> driver_;
  QTimer* refresh_;
};
