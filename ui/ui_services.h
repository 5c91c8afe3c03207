// UI services: every modal interaction of the desktop program goes through this interface
// (notices, message boxes, the error box, file and printer choices, opening a web address),
// so tests can answer each one and read what was shown.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <stdexcept>
#include <string>

class QPrinter;
class QWidget;

class UiServices {
 public:
  enum class Button { Ok, Cancel, Yes, No };
  virtual ~UiServices() = default;
  // A plain notice; its caption is the application title.
  virtual void ShowMessage(const QString& text) = 0;
  // A message box with a caption and the given buttons; returns the button pressed.
  virtual Button MessageBox(const QString& text, const QString& caption, QList<Button> buttons) = 0;
  // The application's standard error box (conversion errors, file errors, escaped exceptions).
  virtual void ShowError(const QString& text) = 0;
  // File choices; an empty text means cancelled. filter as QFileDialog takes it ("" = none).
  virtual QString GetSaveFileName(QWidget* parent, const QString& filter) = 0;
  virtual QString GetOpenFileName(QWidget* parent, const QString& filter) = 0;
  // Printer choice for a print job; false = cancelled.
  virtual bool ChoosePrinter(QWidget* parent, QPrinter* printer) = 0;
  // Opens a web address with the system's default handler; false when it could not.
  virtual bool OpenUrl(const QUrl& url) = 0;
};

// The services in use: Qt's own dialogs unless a test installed its own.
UiServices& Ui();
// Installs services (not owned); nullptr restores Qt's dialogs.
void SetUi(UiServices* services);

// A text field that does not hold a number: thrown by the conversions below and shown by
// the program's top-level handler with its text.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whole-text conversions of text fields (surrounding blanks allowed). They throw
// ConversionError("'abc' is not a valid integer value") /
// ConversionError("'abc' is not a valid floating point value").
int ToInt(const QString& text);
double ToFloat(const QString& text);

// Test double: answers from a script, records every call.
class RecordingUi : public UiServices {
 public:
  struct Call {
    QString kind;     // "message", "box", "error", "save", "open", "printer", "url"
    QString text;     // the text shown, or the filter / address
    QString caption;  // the caption of a box; empty otherwise
  };

  // Answers are consumed in order; without one, boxes answer with their first button, file
  // choices are cancelled and printer choices refused.
  void AnswerButton(Button b) { buttons.push_back(b); }
  void AnswerFile(const QString& path) { files.push_back(path); }
  void AnswerPrinter(bool ok) { printers.push_back(ok); }

  void ShowMessage(const QString& text) override;
  Button MessageBox(const QString& text, const QString& caption, QList<Button> buttons) override;
  void ShowError(const QString& text) override;
  QString GetSaveFileName(QWidget* parent, const QString& filter) override;
  QString GetOpenFileName(QWidget* parent, const QString& filter) override;
  bool ChoosePrinter(QWidget* parent, QPrinter* printer) override;
  bool OpenUrl(const QUrl& url) override;

  // Texts of the calls of one kind, in order.
  QStringList Texts(const QString& kind) const;
  void Clear() { calls.clear(); }

  std::deque<Button> buttons;
  std::deque<QString> files;
  std::deque<bool> printers;
  QList<Call> calls;
  int urlResult = 1;  // what OpenUrl reports: 1 opened, 0 failed
};
