// quivra-cli analyze: a saved measurement file (the program's text, or a workbook saved
// from it) loaded the way the Load button loads it, analysed again, and printed as a table
// or as one JSON object; with PstLM and PinstMax when the measurement is long enough for
// the flickermeter.
#if QUIVRA_HAVE_FILES
#include <iostream>
#include <memory>
#include <string>

#include "analysis/numfmt.h"
#include "analysis/pstlm.h"
#include "cli/command.h"
#include "cli/common.h"
#include "files/flktank.h"
#include "files/load_save.h"

namespace {

struct Options {
  std::string file;
  bool fir = false;
  uint32_t cutoff = 1000;  // Hz, cut-off of the 100-tap FIR filter of the new record
  bool json = false;
};

int Run(const Options& options) {
  TFlkTankMgr store;
  const LoadResult loaded = LoadMeasurementFile(store, options.file, {options.cutoff, options.fir ? 1u : 0u});
  switch (loaded.status) {
    case LoadStatus::Loaded: break;
    case LoadStatus::Unreadable: return CliFail("cannot read " + options.file);
    case LoadStatus::NoRecord:
      return CliFail("out of memory for a record of " + std::to_string(loaded.header.sampleCount) +
                     " samples");
    case LoadStatus::NotCorrectFormat:
      // The program's own message, word for word.
      std::cerr << NotCorrectFormatMessage(options.file) << "\n";
      return kExitFailure;
  }
  const FlickerRecord& record = *store.record;
  const int gain = record.gainIndex + 1;

  PstResult pst;
  const bool pstApplies = PstLmApplicable(record.sampleCount, record.sampleFreq);
  const bool pstComputed =
      pstApplies && PstLmCompute(record.volts.data(), record.sampleCount, record.sampleFreq, &pst) == 0;

  const PstLmFigure pstFigure = pstComputed ? PstLmFigure::Of(pst.pst)
                                : pstApplies  ? PstLmFigure::None("PstLM could not be computed")
                                              : PstLmFigure::None();
  if (options.json) {
    nlohmann::json out = RecordJson(record, gain, pstFigure);
    if (pstComputed) {
      out["PstLM"] = pst.pst;
      out["PinstMax"] = pst.pinstMax;
    }
    std::cout << out.dump(2) << "\n";
  } else {
    std::cout << RecordTable(record, gain, pstFigure);
    if (pstApplies) {
      // A computation that failed shows a dash, never a number.
      std::cout << "\n"
                << "PstLM     " << (pstComputed ? FormatPattern(pst.pst, "0.0000") : "-") << "\n"
                << "PinstMax  " << (pstComputed ? FormatPattern(pst.pinstMax, "0.0000") : "-")
                << "\n";
    }
  }
  return kExitOk;
}

CliRun Setup(CLI::App& command) {
  auto options = std::make_shared<Options>();
  command.add_option("FILE", options->file, "Measurement file (text, .xls, .xlsx or UTF-16 text)")
      ->required();
  command.add_flag("--fir", options->fir, "Low-pass FIR filter (100 taps) before the analysis");
  command.add_option("--cutoff", options->cutoff, "Cut-off of the FIR filter in Hz")
      ->check(CLI::Range(1u, 1000000u))
      ->capture_default_str();
  command.add_flag("--json", options->json, "Print one JSON object (with PstLM and PinstMax when computed)");
  return [options] { return Run(*options); };
}

const CliRegistrar registrar("analyze", "Load a saved measurement file and analyse it again", Setup);

}  // namespace
#endif
