#include "workbench/simulator_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "instrument/sim/sim_driver.h"

namespace {

constexpr SimWaveform kWaveforms[] = {SimWaveform::kSine, SimWaveform::kSquare, SimWaveform::kTriangle,
                                      SimWaveform::kPulse, SimWaveform::kDc};

QDoubleSpinBox* Number(const QString& name, double min, double max, double step, int decimals, double value,
                       const QString& suffix, QWidget* parent) {
  auto* box = new QDoubleSpinBox(parent);
  box->setObjectName(name);
  box->setRange(min, max);
  box->setSingleStep(step);
  box->setDecimals(decimals);
  box->setValue(value);
  box->setSuffix(suffix);
  return box;
}

QString LightText(const SimLight& light) {
  return QString("%1 %2 Hz, m %3, %4 V")
      .arg(QString::fromLatin1(SimWaveformName(light.waveform)))
      .arg(light.frequency)
      .arg(light.modulation)
      .arg(light.level);
}

}  // namespace

QStringList TSimulatorWindow::ModelNames() {
  QStringList names;
  for (uint16_t code = 0; code <= 0xFF; ++code) {
    const SimModel model = SimModelOf(code);
    uint16_t first = 0;
    if (SimModelCode(model.name, &first) && first == code) names << QString::fromLatin1(model.name);
  }
  return names;
}

TSimulatorWindow::TSimulatorWindow(std::shared_ptr<SimDriver> driver, QWidget* parent)
    : QWidget(parent, Qt::Window), driver_(std::move(driver)) {
  setObjectName("SimulatorWindow");
  setWindowTitle("Simulator");
  resize(560, 520);
  auto* layout = new QVBoxLayout(this);

  auto* plugBox = new QGroupBox("Plug an instrument", this);
  auto* plugRow = new QHBoxLayout(plugBox);
  cbModel = new QComboBox(plugBox);
  cbModel->setObjectName("cbModel");
  cbModel->addItems(ModelNames());
  cbModel->setCurrentText("TR7BQ");
  edtSerial = new QLineEdit(plugBox);
  edtSerial->setObjectName("edtSerial");
  edtSerial->setPlaceholderText("serial (next free)");
  edtSerial->setValidator(new QRegularExpressionValidator(QRegularExpression("[A-Za-z0-9_-]{0,19}"), edtSerial));
  btnPlug = new QPushButton("Plug", plugBox);
  btnPlug->setObjectName("btnPlug");
  btnAdd = new QPushButton("Add a second TR7BQ", plugBox);
  btnAdd->setObjectName("btnAdd");
  plugRow->addWidget(new QLabel("Model", plugBox));
  plugRow->addWidget(cbModel);
  plugRow->addWidget(edtSerial, 1);
  plugRow->addWidget(btnPlug);
  plugRow->addWidget(btnAdd);
  layout->addWidget(plugBox);

  auto* listBox = new QGroupBox("Plugged instruments", this);
  auto* listLayout = new QVBoxLayout(listBox);
  lvInstruments = new QTableWidget(0, 4, listBox);
  lvInstruments->setObjectName("lvInstruments");
  lvInstruments->setHorizontalHeaderLabels({"Serial", "Model", "Shutter", "Light"});
  lvInstruments->horizontalHeader()->setStretchLastSection(true);
  lvInstruments->verticalHeader()->hide();
  lvInstruments->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvInstruments->setSelectionMode(QAbstractItemView::SingleSelection);
  lvInstruments->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listLayout->addWidget(lvInstruments);
  btnUnplug = new QPushButton("Unplug selected", listBox);
  btnUnplug->setObjectName("btnUnplug");
  listLayout->addWidget(btnUnplug, 0, Qt::AlignRight);
  layout->addWidget(listBox, 1);

  auto* lightBox = new QGroupBox("Light of the selected instrument", this);
  auto* form = new QFormLayout(lightBox);
  cbWaveform = new QComboBox(lightBox);
  cbWaveform->setObjectName("cbWaveform");
  for (SimWaveform w : kWaveforms) cbWaveform->addItem(QString::fromLatin1(SimWaveformName(w)));
  const SimLight defaults;
  edtFrequency = Number("edtFrequency", 0, 10000, 10, 2, 100, " Hz", lightBox);
  edtModulation = Number("edtModulation", 0, 1, 0.05, 3, 0.3, "", lightBox);
  edtLevel = Number("edtLevel", 0, 5, 0.1, 3, defaults.level, " V", lightBox);
  edtDuty = Number("edtDuty", 0, 1, 0.05, 2, defaults.duty, "", lightBox);
  edtNoise = Number("edtNoise", 0, 1, 0.001, 4, defaults.noise, " V", lightBox);
  edtLux = Number("edtLux", 0, 200000, 50, 1, 500, " lx", lightBox);
  btnApplyLight = new QPushButton("Apply", lightBox);
  btnApplyLight->setObjectName("btnApplyLight");
  chkCover = new QCheckBox("Cover on the sensor (dark only)", lightBox);
  chkCover->setObjectName("chkCover");
  form->addRow("Waveform", cbWaveform);
  form->addRow("Frequency", edtFrequency);
  form->addRow("Modulation", edtModulation);
  form->addRow("Level (range 1)", edtLevel);
  form->addRow("Duty (pulse)", edtDuty);
  form->addRow("Noise", edtNoise);
  form->addRow("Illuminance", edtLux);
  form->addRow(btnApplyLight);
  form->addRow(chkCover);
  layout->addWidget(lightBox);

  lblStatus = new QLabel(this);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setWordWrap(true);
  layout->addWidget(lblStatus);

  connect(btnPlug, &QPushButton::clicked, this, [this] { PlugChosen(); });
  connect(btnAdd, &QPushButton::clicked, this, [this] { AddInstrument(); });
  connect(btnUnplug, &QPushButton::clicked, this, [this] { UnplugSelected(); });
  connect(btnApplyLight, &QPushButton::clicked, this, [this] { ApplyLight(); });
  connect(chkCover, &QCheckBox::clicked, this, [this](bool on) { SetCover(on); });
  connect(lvInstruments, &QTableWidget::itemSelectionChanged, this, [this] { ShowSelected(); });

  // Plugging from elsewhere (tests, a second window) shows here too.
  refresh_ = new QTimer(this);
  refresh_->setInterval(1000);
  connect(refresh_, &QTimer::timeout, this, [this] { RefreshList(); });
  refresh_->start();
  RefreshList();
}

QString TSimulatorWindow::PlugChosen() {
  std::string json = "{\"model\":\"" + cbModel->currentText().toStdString() + "\"";
  if (!edtSerial->text().isEmpty()) json += ",\"serial\":\"" + edtSerial->text().toStdString() + "\"";
  json += "}";
  std::string error;
  const std::string serial = driver_->PlugJson(json, &error);
  lblStatus->setText(serial.empty() ? QString::fromStdString(error) : "Plugged " + QString::fromStdString(serial) + ".");
  RefreshList();
  return QString::fromStdString(serial);
}

QString TSimulatorWindow::AddInstrument() {
  std::string error;
  const std::string serial = driver_->PlugJson("{\"model\":\"TR7BQ\"}", &error);
  lblStatus->setText(serial.empty() ? QString::fromStdString(error) : "Plugged " + QString::fromStdString(serial) + ".");
  RefreshList();
  return QString::fromStdString(serial);
}

bool TSimulatorWindow::UnplugSelected() {
  const QString serial = SelectedSerial();
  if (serial.isEmpty()) {
    lblStatus->setText("Select an instrument first.");
    return false;
  }
  const bool ok = driver_->Unplug(serial.toStdString());
  lblStatus->setText(ok ? "Unplugged " + serial + "." : serial + " is not plugged.");
  RefreshList();
  return ok;
}

bool TSimulatorWindow::ApplyLight() {
  const QString serial = SelectedSerial();
  if (serial.isEmpty()) {
    lblStatus->setText("Select an instrument first.");
    return false;
  }
  SimLight light;
  SimWaveformFromName(cbWaveform->currentText().toStdString(), &light.waveform);
  light.frequency = edtFrequency->value();
  light.modulation = edtModulation->value();
  light.level = edtLevel->value();
  light.duty = edtDuty->value();
  light.noise = edtNoise->value();
  std::string error;
  bool ok = driver_->SetLight(serial.toStdString(), light, &error);
  if (ok) ok = driver_->SetLux(serial.toStdString(), edtLux->value(), &error);
  lblStatus->setText(ok ? "New light for " + serial + "." : QString::fromStdString(error));
  RefreshList();
  return ok;
}

bool TSimulatorWindow::SetCover(bool on) {
  const QString serial = SelectedSerial();
  if (serial.isEmpty()) {
    lblStatus->setText("Select an instrument first.");
    return false;
  }
  driver_->SetShutterModel(serial.toStdString(), on ? SimShutter::kStuckClosed : SimShutter::kModel);
  lblStatus->setText(on ? "Cover on " + serial + "." : "Cover off " + serial + ".");
  RefreshList();
  return true;
}

QString TSimulatorWindow::SelectedSerial() const {
  const QList<QTableWidgetItem*> selected = lvInstruments->selectedItems();
  if (selected.isEmpty()) return QString();
  const QTableWidgetItem* item = lvInstruments->item(selected.first()->row(), 0);
  return item ? item->text() : QString();
}

void TSimulatorWindow::RefreshList() {
  const QString keep = SelectedSerial();
  const std::vector<SimInstrumentState> list = driver_->List();
  const QSignalBlocker block(lvInstruments);
  lvInstruments->setRowCount(static_cast<int>(list.size()));
  int reselect = -1;
  for (int r = 0; r < static_cast<int>(list.size()); ++r) {
    const SimInstrumentState& s = list[r];
    const QString serial = QString::fromStdString(s.serial);
    const QString shutter = s.shutter == SimShutter::kStuckClosed ? "covered"
                            : s.hasShutter                        ? (s.shutterOpen ? "open" : "closed")
                                                                  : "none";
    const QStringList cells{serial, QString::fromStdString(s.modelName), shutter, LightText(s.light)};
    for (int c = 0; c < cells.size(); ++c) {
      QTableWidgetItem* item = lvInstruments->item(r, c);
      if (!item) lvInstruments->setItem(r, c, item = new QTableWidgetItem);
      item->setText(cells[c]);
    }
    if (serial == keep) reselect = r;
  }
  if (reselect >= 0) lvInstruments->selectRow(reselect);
}

void TSimulatorWindow::ShowSelected() {
  const QString serial = SelectedSerial();
  for (const SimInstrumentState& s : driver_->List()) {
    if (QString::fromStdString(s.serial) != serial) continue;
    cbWaveform->setCurrentText(QString::fromLatin1(SimWaveformName(s.light.waveform)));
    edtFrequency->setValue(s.light.frequency);
    edtModulation->setValue(s.light.modulation);
    edtLevel->setValue(s.light.level);
    edtDuty->setValue(s.light.duty);
    edtNoise->setValue(s.light.noise);
    edtLux->setValue(s.lux);
    chkCover->setChecked(s.shutter == SimShutter::kStuckClosed);
  }
}
