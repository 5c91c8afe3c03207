// TfFlicker: dark calibration (the connect-time offer and the two "Dark Calibration"
// buttons), the two service commands of the cut-off edit and the option switches.
#include <cstring>

#include "instrument/capture.h"
#include "instrument/registry.h"
#include "ui/ui_services.h"
#include "workbench/flicker_frame.h"

namespace {

using Button = UiServices::Button;

const char* const kCaption = "Warring";
// The model whose shutter does not stand in for the cover.
const char* const kCoverModel = "TR7BQ";

bool IsModel(const SpDevice& device, const char* model) { return std::strcmp(device.model, model) == 0; }

// Cover on, the instrument's own dark reference, then the flicker sensor's offsets.
void CoverCalibration(SpDevice& device) {
  Ui().ShowMessage("Please put cover on device");
  const int channel = SpChannelOfSerial(device.serial);
  SpDarkCalibrate(channel);
  SpMeasureFlickerOffsets(channel, false);
}

}  // namespace

void TfFlicker::OfferDarkCalibration() {
  SpDevice& dev = *device;
  if (dev.hasShutter != 0 && !IsModel(dev, kCoverModel)) return;
  if (Ui().MessageBox("Start Dark calibration?", kCaption, {Button::Yes, Button::No}) == Button::Yes) {
    dev.flickerAcq.offsetsValid = 0;
    CoverCalibration(dev);
    Ui().MessageBox("Dark calibration finished!", kCaption, {Button::Ok});
  }
  dev.flickerAcq.offsetsValid = 1;  // a "No" accepts the present offsets
}

void TfFlicker::sSpeedButton1Click() {
  // The worker or the PstLM run would be talking to the instrument at the same time, and the
  // working record is theirs: refused before anything changes.
  if (RefuseWhenBusy(true, true)) return;
  if (!device) {
    Ui().MessageBox("No deviced is connected!", kCaption, {Button::Ok});
    return;
  }
  SpDevicePtr dev = device;  // kept alive for the whole calibration
  FlickerRecordPtr record = NewRecordFromSettings();
  if (record) {
    FlickerRecordPtr previous = std::move(unitRecord);
    unitRecord = std::move(record);
    Dispose(std::move(previous));
  }
  if (Ui().MessageBox("Start Dark calibration?", kCaption, {Button::Yes, Button::No}) != Button::Yes) return;
  dev->flickerAcq.offsetsValid = 0;
  if (dev->hasShutter != 0 && !IsModel(*dev, kCoverModel)) {
    // The acquisition unit closes the shutter and measures the offsets itself before it
    // picks the range and captures once into the working record.
    if (unitRecord) SpCaptureFlicker(SpChannelOfSerial(dev->serial), 1, static_cast<uint16_t>(dev->flickerAcq.range), unitRecord.get());
  } else {
    CoverCalibration(*dev);
  }
  dev->flickerAcq.offsetsValid = 1;
  Ui().MessageBox("Dark calibration finished!", kCaption, {Button::Ok});
}

bool TfFlicker::edtFilterCutFreqKeyPress() {
  if (!device) return false;
  bool command = false;
  if (edtFilterCutFreq->text() == "remove dark") {
    device->flickerAcq.subtractOffset = 0;
    edtFilterCutFreq->setText("1000");
    Ui().ShowMessage("Dark is removed.");
    command = true;
  }
  if (edtFilterCutFreq->text() == "add dark") {
    device->flickerAcq.subtractOffset = 1;
    edtFilterCutFreq->setText("1000");
    Ui().ShowMessage("Dark is added.");
    command = true;
  }
  return command;
}

void TfFlicker::cbAutoGainClick() { cbGainSel->setEnabled(!cbAutoGain->isChecked()); }

void TfFlicker::chkEnFIRClick() { edtFilterCutFreq->setEnabled(chkEnFIR->isChecked()); }

void TfFlicker::cbEnableFreqResClick() { cbSampleNum->setEnabled(cbEnableFreqRes->isChecked()); }

void TfFlicker::SetLuxCaption() {
  const bool lux = device->hasShutter == 0 || IsModel(*device, "TR7BQ") || IsModel(*device, "TR7AQ");
  luxName->setText(lux ? "Lux" : "Lv");
}
