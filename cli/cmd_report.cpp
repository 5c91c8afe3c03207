// quivra-cli report: the program's report page composed without a window from a saved
// measurement file (loaded like the Load button loads it, analysed with the filter off), its
// charts drawn from the record, and written as a 24-bit bitmap or a one-page PDF (by the
// extension of --out).
#if QUIVRA_HAVE_REPORT
#include <QDate>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <iostream>
#include <memory>
#include <string>

#include "analysis/numfmt.h"
#include "analysis/pstlm.h"
#include "cli/command.h"
#include "cli/common.h"
#include "files/flktank.h"
#include "files/load_save.h"
#include "report/report_charts.h"
#include "report/report_folder.h"
#include "report/report_page.h"

namespace {

struct Options {
  std::string file;
  std::string out;
  std::string images;  // folder with the artwork; empty: the shipped artwork
  std::string model;   // model of the instrument to name; empty: none connected
  std::string inspector, source, company, web, phone, mail, memo, date;
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Output formats by the file name's extension.
bool FormatOf(const std::string& path, ReportFileFormat* format) {
  const QString suffix = QFileInfo(Q(path)).suffix().toLower();
  if (suffix == QLatin1String("bmp")) {
    *format = ReportFileFormat::Bmp;
    return true;
  }
  if (suffix == QLatin1String("pdf")) {
    *format = ReportFileFormat::Pdf;
    return true;
  }
  return false;
}

int Run(const Options& options) {
  ReportFileFormat format{};
  if (!FormatOf(options.out, &format)) return CliFail("--out must name a .bmp or .pdf file: " + options.out);

  TFlkTankMgr store;
  const LoadResult loaded = LoadMeasurementFile(store, options.file, {1000, 0});
  switch (loaded.status) {
    case LoadStatus::Loaded: break;
    case LoadStatus::Unreadable: return CliFail("cannot read " + options.file);
    case LoadStatus::NoRecord:
      return CliFail("out of memory for a record of " + std::to_string(loaded.header.sampleCount) + " samples");
    case LoadStatus::NotCorrectFormat:
      std::cerr << NotCorrectFormatMessage(options.file) << "\n";
      return kExitFailure;
  }
  const FlickerRecord& record = *store.record;

  // Text rendering needs the GUI application object; no display is needed.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "quivra-cli";
  static char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);

  ReportInput in;
  in.record = &record;
  // A measurement long enough for the flickermeter is reported like a finished PstLM run.
  PstResult pst;
  if (PstLmApplicable(record.sampleCount, record.sampleFreq) &&
      PstLmCompute(record.volts.data(), record.sampleCount, record.sampleFreq, &pst) == 0) {
    in.pstDone = true;
    in.pstLmText = Q(FormatPattern(pst.pst, "0.0000"));
  }
  if (!options.model.empty()) in.connectedModel = Q(options.model);
  in.inspector = Q(options.inspector);
  in.lightSource = Q(options.source);
  in.company = Q(options.company);
  in.webUrl = Q(options.web);
  in.phone = Q(options.phone);
  in.mail = Q(options.mail);
  in.memo = Q(options.memo).replace(QStringLiteral("\\n"), QStringLiteral("\n"));
  in.date = options.date.empty() ? QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")) : Q(options.date);

  QTemporaryDir artwork;
  if (options.images.empty()) {
    if (!artwork.isValid()) return CliFail("cannot create a temporary folder for the artwork");
    in.imageFolder = ChooseReportImageFolder({artwork.path()});
    if (in.imageFolder.isEmpty()) return CliFail("cannot write the artwork into " + artwork.path().toStdString());
  } else {
    in.imageFolder = Q(options.images);
  }
  const ReportCharts charts = RenderReportCharts(record);
  in.timeDomainChart = charts.timeDomain;
  in.fftChart = charts.fft;
  in.jeitaChart = charts.jeita;

  ReportPage page;
  QString error;
  if (!page.Compose(in, &error)) return CliFail(error.toStdString());
  if (!page.Save(Q(options.out), format, &error)) return CliFail(error.toStdString());
  std::cout << options.out << "\n";
  return kExitOk;
}

CliRun Setup(CLI::App& command) {
  auto o = std::make_shared<Options>();
  command.add_option("FILE", o->file, "Measurement file (text, .xls, .xlsx or UTF-16 text)")->required();
  command.add_option("--out", o->out, "Page to write: .bmp (1754 x 2480, 24 bits per pixel) or .pdf (one A4 page)")->required();
  command.add_option("--inspector", o->inspector, "Inspector");
  command.add_option("--source", o->source, "Light source");
  command.add_option("--company", o->company, "Company");
  command.add_option("--web", o->web, "Web address");
  command.add_option("--phone", o->phone, "Phone number");
  command.add_option("--mail", o->mail, "E-mail address");
  command.add_option("--memo", o->memo, "Memo; the page prints two lines (\\n separates them)");
  command.add_option("--date", o->date, "Inspection date (default: today, yyyy/MM/dd)");
  command.add_option("--model", o->model, "Model of the instrument to name, e.g. TR7BQ (default: none)");
  command.add_option("--images", o->images, "Folder with the report artwork (default: the shipped artwork)")
      ->check(CLI::ExistingDirectory);
  return [o] { return Run(*o); };
}

const CliRegistrar registrar("report", "Compose the report page of a saved measurement file", Setup);

}  // namespace
#endif
