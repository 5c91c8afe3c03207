// What one composition of the report page reads, gathered at the moment of composition.
//
// The workbench supplies the measurement part (the store's record, the PstLM state, the
// connected instrument's model); the information dialog adds the texts the user typed and
// the date. Nothing here is owned: the record must stay valid and unchanged while the page
// is composed (the composition runs on the user-interface thread and returns before the
// workbench can touch the record again).
#pragma once

#include <QImage>
#include <QString>
#include <optional>

struct FlickerRecord;

struct ReportInput {
  // The measurement on display (the store's kept record); null when the store holds none.
  // Without a record the page is composed with "N/A" in every figure and sampling field.
  const FlickerRecord* record = nullptr;
  // A finished PstLM result is on display: the resolution reads "N/A" and the PstLM cell
  // shows pstLmText. When false the PstLM cell reads "N/A".
  bool pstDone = false;
  QString pstLmText;  // text of the PstLM value panel, e.g. "0.4213"
  // `model` of the instrument connected now; std::nullopt when none is connected.
  std::optional<QString> connectedModel;

  // The information block (the report information dialog's texts).
  QString inspector;    // edtUser
  QString lightSource;  // edtSource
  QString company;      // edtCompany
  QString webUrl;       // edtWebURL
  QString phone;        // edtPhone
  QString mail;         // edtMail
  QString memo;         // edtMemo, whole text; the page prints its first two lines
  QString date;         // caption of sLabel9, "yyyy/MM/dd"

  // Folder holding the artwork and the three chart snapshots (report_folder.h);
  // empty = ReportImageFolder().
  QString imageFolder;

  // Chart pictures given in memory (headless composition): a non-null picture is used
  // instead of reading its snapshot file from imageFolder.
  QImage timeDomainChart;
  QImage fftChart;
  QImage jeitaChart;
};
