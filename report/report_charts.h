// The three report charts drawn straight from a flicker record, for compositions without
// the workbench (the command line): the time wave, the amplitude spectrum and the JEITA
// spectrum, on white for print, at the sizes of their page rectangles.
#pragma once

#include <QImage>

struct FlickerRecord;

struct ReportCharts {
  QImage timeDomain;  // kTimeDomainRect's size: volts against time ("Time(sec)")
  QImage fft;         // kFftRect's size: amplitude bars against frequency ("Freqency")
  QImage jeita;       // kJeitaRect's size: JEITA level in dB per line up to 60 Hz
};

// The time wave shows the filtered signal when the record was analysed with the filter on.
// The spectrum shows the lines from 1 Hz up to ten times the fundamental (half the sampling
// frequency at most, or all of it when no fundamental was found).
ReportCharts RenderReportCharts(const FlickerRecord& record);
