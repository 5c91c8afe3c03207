#include "ui/ui_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace {

QMessageBox::StandardButton ToStandard(UiServices::Button b) {
  switch (b) {
    case UiServices::Button::Ok: return QMessageBox::Ok;
    case UiServices::Button::Cancel: return QMessageBox::Cancel;
    case UiServices::Button::Yes: return QMessageBox::Yes;
    case UiServices::Button::No: return QMessageBox::No;
  }
  return QMessageBox::Ok;
}

QWidget* ActiveParent() { return QApplication::activeWindow(); }

class QtUi : public UiServices {
 public:
  void ShowMessage(const QString& text) override {
    QMessageBox::information(ActiveParent(), QApplication::applicationDisplayName(), text);
  }
  Button MessageBox(const QString& text, const QString& caption, QList<Button> buttons) override {
    QMessageBox::StandardButtons set;
    for (Button b : buttons) set |= ToStandard(b);
    const bool question = buttons.contains(Button::Yes);
    QMessageBox box(question ? QMessageBox::Question : QMessageBox::Information, caption, text, set,
                    ActiveParent());
    const int r = box.exec();
    for (Button b : buttons)
      if (r == ToStandard(b)) return b;
    return buttons.contains(Button::Cancel) ? Button::Cancel
           : buttons.contains(Button::No)   ? Button::No
                                            : Button::Ok;
  }
  void ShowError(const QString& text) override {
    QMessageBox::critical(ActiveParent(), QApplication::applicationDisplayName(), text);
  }
  QString GetSaveFileName(QWidget* parent, const QString& filter) override {
    return QFileDialog::getSaveFileName(parent, QString(), QString(), filter);
  }
  QString GetOpenFileName(QWidget* parent, const QString& filter) override {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
  }
  bool ChoosePrinter(QWidget* parent, QPrinter* printer) override {
    QPrintDialog dialog(printer, parent);
    return dialog.exec() == QDialog::Accepted;
  }
  bool OpenUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

QtUi& DefaultUi() {
  static QtUi ui;
  return ui;
}

UiServices* current = nullptr;

}  // namespace

UiServices& Ui() { return current ? *current : DefaultUi(); }
void SetUi(UiServices* services) { current = services; }

int ToInt(const QString& text) {
  bool ok = false;
  const int v = text.trimmed().toInt(&ok);
  if (!ok) throw ConversionError(("'" + text + "' is not a valid integer value").toStdString());
  return v;
}

double ToFloat(const QString& text) {
  bool ok = false;
  QString t = text.trimmed();
  double v = t.toDouble(&ok);
  if (!ok) {
    // Accept the decimal comma of regional settings that use it.
    t.replace(',', '.');
    v = t.toDouble(&ok);
  }
  if (!ok) throw ConversionError(("'" + text + "' is not a valid floating point value").toStdString());
  return v;
}

void RecordingUi::ShowMessage(const QString& text) { calls.push_back({"message", text, {}}); }

UiServices::Button RecordingUi::MessageBox(const QString& text, const QString& caption,
                                           QList<Button> offered) {
  calls.push_back({"box", text, caption});
  if (!buttons.empty()) {
    const Button b = buttons.front();
    buttons.pop_front();
    return b;
  }
  return offered.isEmpty() ? Button::Ok : offered.front();
}

void RecordingUi::ShowError(const QString& text) { calls.push_back({"error", text, {}}); }

QString RecordingUi::GetSaveFileName(QWidget*, const QString& filter) {
  calls.push_back({"save", filter, {}});
  if (files.empty()) return {};
  QString f = files.front();
  files.pop_front();
  return f;
}

QString RecordingUi::GetOpenFileName(QWidget*, const QString& filter) {
  calls.push_back({"open", filter, {}});
  if (files.empty()) return {};
  QString f = files.front();
  files.pop_front();
  return f;
}

bool RecordingUi::ChoosePrinter(QWidget*, QPrinter*) {
  calls.push_back({"printer", {}, {}});
  if (printers.empty()) return false;
  const bool ok = printers.front();
  printers.pop_front();
  return ok;
}

bool RecordingUi::OpenUrl(const QUrl& url) {
  calls.push_back({"url", url.toString(), {}});
  return urlResult != 0;
}

QStringList RecordingUi::Texts(const QString& kind) const {
  QStringList out;
  for (const Call& c : calls)
    if (c.kind == kind) out << c.text;
  return out;
}
