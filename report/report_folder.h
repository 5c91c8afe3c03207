// The report folder: artwork read by the report page and the three chart snapshots the
// workbench writes before each report.
#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

// Snapshot files, written by the workbench's "Save Report" and read by the composition
// under exactly these names (the folder may be on a case-sensitive file system).
inline constexpr char kChartTimeDomainFile[] = "Chart_TimeDomain.bmp";  // Chart1
inline constexpr char kChartFftFile[] = "Chart_FFT.bmp";                // Chart_normal
inline constexpr char kChartJeitaFile[] = "Chart_Jeita.bmp";            // Chart_jeita

// Artwork shipped with the program (Qt resources ":/report/<name>"), copied into the folder
// when absent there.
inline constexpr char kLogoFile[] = "Logo_Co.bmp";
inline constexpr char kInfoBoxFile[] = "Box_info.bmp";
inline constexpr char kParaBoxFile[] = "Box_para.bmp";
inline constexpr char kDotFile[] = "Dot_square.bmp";
inline constexpr char kFeaturesBoxFile[] = "Box_feature.bmp";

// Page rectangles (page pixels, 1754 x 2480) into which the pictures are stretched. A chart
// snapshot rendered at exactly the rectangle's size is drawn without scaling.
inline constexpr QRect kTimeDomainRect{80, 820, 1588, 380};
inline constexpr QRect kFftRect{80, 1300, 788, 380};
inline constexpr QRect kJeitaRect{880, 1300, 788, 380};

// The folder of the report pictures: "image/ReportImg" beside the executable when that can
// be created and written, else QStandardPaths::AppDataLocation + "/image/ReportImg". The
// folder is created when missing, and every artwork file absent from it is copied there
// from the resources. Empty when neither place can be made writable. Needs a
// QCoreApplication.
QString ReportImageFolder();

// The choice behind ReportImageFolder: the first candidate folder that can be created and
// written (probed by creating a file), with the artwork completed; empty when none.
QString ChooseReportImageFolder(const QStringList& candidates);

// Copies every artwork file missing from folder there from the resources; false when one
// could not be written.
bool EnsureReportArtwork(const QString& folder);
