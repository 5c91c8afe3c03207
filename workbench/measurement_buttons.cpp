// TfFlicker: the light-level reading, the Save and Load buttons and "Save Report".
#include <QDir>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <filesystem>
#include <functional>

#include "files/load_save.h"
#include "lightlevel/lux_text.h"
#include "lightlevel/spectrum_record.h"
#include "report/report_folder.h"
#include "report/report_input.h"
#include "ui/ui_services.h"
#include "workbench/charts.h"
#include "workbench/display_text.h"
#include "workbench/flicker_frame.h"

namespace {

std::filesystem::path FsPath(const QString& path) { return std::filesystem::path(path.toStdU16String()); }

}  // namespace

// --- light level ----------------------------------------------------------------------------

void TfFlicker::btnLvMsrClick() {
  if (!device) return;
  // The worker or the PstLM run would be commanding the instrument at the same time.
  if (RefuseWhenBusy(true, true)) return;
  SpectrumRecordPtr spectrum = SpMakeSpectrum();
  if (!spectrum) return;
  SpDevicePtr dev = device;  // alive for the whole reading
  SpMeasureSpectrum(dev.get(), spectrum.get(), 1, 100, 0);
  SpEvaluateSpectrum(spectrum.get());
  luxValue->setText(QString::fromStdString(FormatLux(spectrum->lux, DisplayDecimalSeparator())));
}

// --- save and load --------------------------------------------------------------------------

void TfFlicker::ssbSaveClick() {
  // The PstLM thread fills the kept record while it runs.
  if (RefuseWhenBusy(false, true)) return;
  const QString chosen = Ui().GetSaveFileName(this, QString());
  if (chosen.isEmpty()) return;
  const std::filesystem::path path = MeasurementSavePath(FsPath(chosen));
  if (!flkTank->record) {
    Ui().ShowMessage("No file here.");
    return;
  }
  if (flkTank->SaveToFile(path)) Ui().ShowMessage("Save Finished.");
}

void TfFlicker::ssbLoadClick() {
  if (RefuseWhenBusy(false, true)) return;
  const QString chosen = Ui().GetOpenFileName(this, QString());
  if (chosen.isEmpty()) return;
  const int cutoff = ToInt(edtFilterCutFreq->text());  // a bad entry stops here, nothing changed
  LoadOptions options;
  options.firCutoffHz = cutoff > 0 ? static_cast<uint32_t>(cutoff) : 1000;
  // The file holds the signal as it was analysed (filtered when the filter was on) and zeros
  // beyond its samples: analysed as it is, never filtered a second time.
  options.firEnabled = 0;
  // The kept record is replaced on success: no acquisition unit may point at it then.
  if (flkTank->record && device) FlickerAcqDetach(&device->flickerAcq, flkTank->record.get());
  const std::filesystem::path path = FsPath(chosen);
  const LoadResult result =
      LoadMeasurementFile(*flkTank, path, options, [] { Ui().ShowMessage("this is a large file, please wait!"); });
  switch (result.status) {
    case LoadStatus::Loaded: {
      pstDone = 0;  // the PstLM value on display belongs to another measurement now
      FlickerRecord* record = flkTank->record.get();
      edtHighFreq->setText(QString::number(record->sampleFreq / 2));
      edtLowFreq->setText("1");
      ClampHighFreq(*record);
      overExposed = IsOverExposed(*record) ? 1 : 0;
      ShowCharts(*record);
      ShowParams(record);
      ShowAssessment(record);
      break;
    }
    case LoadStatus::NotCorrectFormat:
      Ui().ShowMessage(QString::fromStdString(NotCorrectFormatMessage(path)));
      break;
    case LoadStatus::Unreadable:
    case LoadStatus::NoRecord:
      break;  // silent; the measurement on display is unchanged
  }
}

// --- report -----------------------------------------------------------------------------------

std::optional<ReportInput> TfFlicker::ReportMeasurement() {
  if (RefuseWhenBusy(false, true)) return std::nullopt;
  ReportInput input;
  input.record = flkTank ? flkTank->record.get() : nullptr;
  input.pstDone = pstDone != 0;
  input.pstLmText = pstValues[2] ? pstValues[2]->text() : QString();
  if (device) input.connectedModel = QString::fromUtf8(device->model);
  return input;
}

namespace {

// A chart drawn for the printed page: its own size, white paper, dark texts, the series as
// on screen except the light traces, which are darkened to stay visible on white.
// redraw fills the chart's series and axes again for the chart's current size (point
// reduction and tick spacing follow the size): called once at the print size and once more
// after the screen size is back.
QImage RenderForPrint(QChartView* view, const QSize& size, const std::function<void()>& redraw) {
  QChart* chart = view->chart();
  const QSizeF screenSize = chart->size();
  const QBrush screenBackground = chart->backgroundBrush();
  struct AxisLook { QAbstractAxis* axis; QColor labels; QBrush title; QColor grid; };
  std::vector<AxisLook> axes;
  for (QAbstractAxis* axis : chart->axes()) {
    axes.push_back({axis, axis->labelsColor(), axis->titleBrush(), axis->gridLineColor()});
    axis->setLabelsColor(Qt::black);
    axis->setTitleBrush(QBrush(Qt::black));
    axis->setGridLineColor(QColor(0xC8, 0xC8, 0xC8));
  }
  struct SeriesLook { QXYSeries* series; QPen pen; QColor labels; };
  std::vector<SeriesLook> series;
  for (QAbstractSeries* s : chart->series()) {
    auto* xy = qobject_cast<QXYSeries*>(s);
    if (!xy) continue;
    series.push_back({xy, xy->pen(), xy->pointLabelsColor()});
    QPen pen = xy->pen();
    if (pen.color() == kWaveColour) pen.setColor(QColor(0x00, 0x80, 0x00));
    if (pen.color() == kFilteredColour) pen.setColor(QColor(0xB0, 0x88, 0x00));
    xy->setPen(pen);
    xy->setPointLabelsColor(Qt::black);
  }
  chart->setBackgroundBrush(QBrush(Qt::white));
  chart->resize(size);
  if (chart->layout()) chart->layout()->activate();  // axes and plot area for the new size now
  redraw();
  if (chart->layout()) chart->layout()->activate();

  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    chart->scene()->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)), QRectF(chart->pos(), QSizeF(size)));
  }

  chart->setBackgroundBrush(screenBackground);
  for (const AxisLook& a : axes) {
    a.axis->setLabelsColor(a.labels);
    a.axis->setTitleBrush(a.title);
    a.axis->setGridLineColor(a.grid);
  }
  for (const SeriesLook& s : series) {
    s.series->setPen(s.pen);
    s.series->setPointLabelsColor(s.labels);
  }
  chart->resize(screenSize);
  if (chart->layout()) chart->layout()->activate();
  redraw();
  return image;
}

}  // namespace

bool TfFlicker::SaveChartSnapshots(const QString& folder, QString* failed) {
  const QDir dir(folder);
  const FlickerRecord* shown = flkTank->record.get();
  auto save = [&](QChartView* view, const QRect& rect, const char* name, const std::function<void()>& redraw) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (!RenderForPrint(view, rect.size(), redraw).convertToFormat(QImage::Format_RGB888).save(path, "BMP")) {
      *failed = path;
      return false;
    }
    return true;
  };
  // The time wave and the spectrum on display are the kept record's; the JEITA bars are kept
  // by the chart itself.
  if (!save(Chart1, kTimeDomainRect, kChartTimeDomainFile, [&] {
        if (shown) DrawTimeWave(*shown, waveFiltered_);
      }))
    return false;
  if (!save(Chart_normal, kFftRect, kChartFftFile, [&] {
        if (shown) DrawSpectrum(*shown);
      }))
    return false;
  const bool marks = jeitaMarksVisible_;
  SetJeitaMarksVisible(false);
  const bool ok = save(Chart_jeita, kJeitaRect, kChartJeitaFile, [&] { DrawJeitaBars(); });
  SetJeitaMarksVisible(marks);
  return ok;
}

void TfFlicker::sSpeedButton2Click() {
  // The PstLM thread fills the kept record while it runs.
  if (RefuseWhenBusy(false, true)) return;
  const QString folder = ReportImageFolder();
  if (folder.isEmpty()) {
    Ui().ShowError("The report picture folder cannot be created or written.");
    return;
  }
  QString failed;
  if (!SaveChartSnapshots(folder, &failed)) {
    Ui().ShowError("Cannot write " + QDir::toNativeSeparators(failed) + ".");
    return;
  }
  if (onReport) onReport();
}
