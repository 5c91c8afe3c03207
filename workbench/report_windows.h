// The report windows: TFormImage, the preview of the report page with its print and save
// buttons, and TFormInfo, the dialog in which the user types the report's information
// texts. Both are created hidden at program start and live until the program ends; their
// texts and the page persist between reports.
//
// Wiring (the workbench and the main window):
//   FormImage = new TFormImage;              // or let the constructor register itself
//   FormInfo = new TFormInfo(FormImage);
//   FormInfo->SetInputProvider([frame] { return frame->ReportMeasurement(); });
//   ... "Save Report": write the snapshots into ReportImageFolder(), then
//   FormInfo->show(); FormInfo->raise(); FormInfo->activateWindow();
// OK in the dialog asks the provider for the measurement part at that moment, adds the
// typed texts and the date, composes the page, shows the preview and hides itself.
#pragma once

#include <QDialog>
#include <QWidget>
#include <functional>
#include <optional>

#include "report/report_input.h"
#include "report/report_page.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TFormImage : public QWidget {
  Q_OBJECT
 public:
  explicit TFormImage(QWidget* parent = nullptr);
  ~TFormImage() override;

  // Composes the page from input over the last one and refreshes the preview. On a missing
  // or unreadable picture returns false with *error set; the page and preview stay as they
  // were.
  bool ComposePage(const ReportInput& input, QString* error);

  const ReportPage& Page() const { return page_; }

  // Print: choose a printer (Ui().ChoosePrinter), stretch the page over its printable area.
  void sSpeedButton1Click();
  // Save: choose a name (Ui().GetSaveFileName), append ".bmp" always, write a 24-bit bitmap.
  void sSpeedButton2Click();
  // Save as PDF (button "btnSavePdf" under the save button): choose a name, append ".pdf"
  // unless it ends so already, write the page as one A4 page with vector text.
  void btnSavePdfClick();

 private:
  void RefreshPreview();

  ReportPage page_;
  QLabel* image1_ = nullptr;
};

// What the workbench supplies when the user confirms the dialog: the measurement part of
// ReportInput (record, pstDone, pstLmText, connectedModel, optionally imageFolder). nullopt
// means no report may be composed now (the provider has told the user why).
using ReportInputProvider = std::function<std::optional<ReportInput>()>;

class TFormInfo : public QDialog {
  Q_OBJECT
 public:
  explicit TFormInfo(TFormImage* preview, QWidget* parent = nullptr);
  ~TFormInfo() override;

  void SetInputProvider(ReportInputProvider provider) { provider_ = std::move(provider); }

  // The input of the next composition: the provider's measurement part (none when no
  // provider is set) with the dialog's texts and date.
  std::optional<ReportInput> CollectInput() const;

  // OK: compose the page on the preview, show the preview, hide this dialog. A failed
  // composition shows the error (Ui().ShowError) and keeps the dialog open with its texts.
  void sButton1Click();

 private:
  TFormImage* preview_;
  ReportInputProvider provider_;
  QLabel* date_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* source_ = nullptr;
  QLineEdit* company_ = nullptr;
  QLineEdit* webUrl_ = nullptr;
  QLineEdit* phone_ = nullptr;
  QLineEdit* mail_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
};

// The program's two report windows; set by their constructors when still null, cleared by
// their destructors.
extern TFormImage* FormImage;
extern TFormInfo* FormInfo;
