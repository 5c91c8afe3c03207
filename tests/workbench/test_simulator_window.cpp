// The "Simulator" window drives the simulated instruments: plug, add a second one, change
// the light, unplug.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

#include "gui_support.h"
#include "instrument/sim/sim_driver.h"
#include "workbench/simulator_window.h"

namespace {

TEST(SimulatorWindow, PlugAddLightAndUnplug) {
  GuiApp();
  auto driver = std::make_shared<SimDriver>();
  TSimulatorWindow window(driver);
  EXPECT_EQ(window.windowTitle(), "Simulator");
  EXPECT_TRUE(TSimulatorWindow::ModelNames().contains("TR7BQ"));
  EXPECT_TRUE(TSimulatorWindow::ModelNames().contains("TR9G"));

  window.cbModel->setCurrentText("BL3A");
  window.edtSerial->setText("LAB0001");
  EXPECT_EQ(window.PlugChosen(), "LAB0001");
  EXPECT_FALSE(window.AddInstrument().isEmpty());
  ASSERT_EQ(driver->List().size(), 2u);
  EXPECT_EQ(driver->List()[0].modelName, "BL3A");
  EXPECT_EQ(driver->List()[1].modelName, "TR7BQ");
  EXPECT_EQ(window.lvInstruments->rowCount(), 2);
  // The same serial twice is refused with the simulator's reason.
  EXPECT_TRUE(window.PlugChosen().isEmpty());
  EXPECT_FALSE(window.lblStatus->text().isEmpty());

  EXPECT_FALSE(window.ApplyLight());  // nothing selected
  window.lvInstruments->selectRow(0);
  window.cbWaveform->setCurrentText("square");
  window.edtFrequency->setValue(120);
  window.edtModulation->setValue(0.5);
  window.edtLevel->setValue(1.5);
  window.edtLux->setValue(750);
  ASSERT_TRUE(window.ApplyLight());
  const SimInstrumentState lab = driver->List()[0];
  EXPECT_EQ(lab.light.waveform, SimWaveform::kSquare);
  EXPECT_DOUBLE_EQ(lab.light.frequency, 120);
  EXPECT_DOUBLE_EQ(lab.light.modulation, 0.5);
  EXPECT_DOUBLE_EQ(lab.light.level, 1.5);
  EXPECT_DOUBLE_EQ(lab.lux, 750);

  ASSERT_TRUE(window.SetCover(true));
  EXPECT_EQ(driver->List()[0].shutter, SimShutter::kStuckClosed);
  EXPECT_FALSE(driver->List()[0].lightSeen);
  ASSERT_TRUE(window.SetCover(false));
  EXPECT_TRUE(driver->List()[0].lightSeen);

  window.lvInstruments->selectRow(0);
  ASSERT_TRUE(window.UnplugSelected());
  ASSERT_EQ(driver->List().size(), 1u);
  EXPECT_EQ(driver->List()[0].modelName, "TR7BQ");
  EXPECT_EQ(window.lvInstruments->rowCount(), 1);
}

}  // namespace
