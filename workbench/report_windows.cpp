#include "workbench/report_windows.h"

#include <QDate>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "ui/ui_services.h"

TFormImage* FormImage = nullptr;
TFormInfo* FormInfo = nullptr;

namespace {

constexpr int kPreviewWidth = 439;
constexpr int kPreviewHeight = 620;

// Save formats offered by the preview: the dialog filter and the extension always appended.
struct SaveFormat {
  const char* filter;
  const char* extension;
  ReportFileFormat format;
};
constexpr SaveFormat kBitmap{"Bitmaps (*.bmp)", ".bmp", ReportFileFormat::Bmp};
constexpr SaveFormat kPdf{"PDF documents (*.pdf)", ".pdf", ReportFileFormat::Pdf};

void CentreOnScreen(QWidget* w) {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
  }
}

}  // namespace

TFormImage::TFormImage(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("FormImage"));
  setWindowTitle(QStringLiteral("Preview"));
  setFixedSize(455, 764);

  image1_ = new QLabel(this);
  image1_->setObjectName(QStringLiteral("Image1"));
  image1_->setGeometry(8, 8, kPreviewWidth, kPreviewHeight);
  image1_->setFrameShape(QFrame::Box);

  auto* print = new QPushButton(QIcon::fromTheme(QStringLiteral("document-print")), QStringLiteral("Print"), this);
  print->setObjectName(QStringLiteral("sSpeedButton1"));
  print->setGeometry(8, 641, 212, 55);
  auto* save = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Save as Bitmap"), this);
  save->setObjectName(QStringLiteral("sSpeedButton2"));
  save->setGeometry(235, 641, 212, 55);
  auto* savePdf = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Save as PDF"), this);
  savePdf->setObjectName(QStringLiteral("btnSavePdf"));
  savePdf->setGeometry(235, 702, 212, 55);
  connect(print, &QPushButton::clicked, this, [this] { sSpeedButton1Click(); });
  connect(save, &QPushButton::clicked, this, [this] { sSpeedButton2Click(); });
  connect(savePdf, &QPushButton::clicked, this, [this] { btnSavePdfClick(); });

  RefreshPreview();
  CentreOnScreen(this);
  if (FormImage == nullptr) FormImage = this;
}

TFormImage::~TFormImage() {
  if (FormImage == this) FormImage = nullptr;
}

bool TFormImage::ComposePage(const ReportInput& input, QString* error) {
  if (!page_.Compose(input, error)) return false;
  RefreshPreview();
  return true;
}

void TFormImage::RefreshPreview() {
  image1_->setPixmap(QPixmap::fromImage(
      page_.Image().scaled(kPreviewWidth, kPreviewHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

void TFormImage::sSpeedButton1Click() {
  QPrinter printer(QPrinter::HighResolution);
  if (!Ui().ChoosePrinter(this, &printer)) return;
  QPainter painter;
  if (!painter.begin(&printer)) {
    Ui().ShowError(QStringLiteral("The print job could not be started."));
    return;
  }
  // The page covers the printable area (0, 0, printable width, printable height); its
  // proportions are not kept.
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRect(0, 0, printer.width(), printer.height()), page_.Image());
  if (!painter.end()) Ui().ShowError(QStringLiteral("The print job could not be completed."));
}

void TFormImage::sSpeedButton2Click() {
  const QString chosen = Ui().GetSaveFileName(this, QString::fromLatin1(kBitmap.filter));
  if (chosen.isEmpty()) return;
  QString error;
  if (!page_.Save(chosen + QString::fromLatin1(kBitmap.extension), kBitmap.format, &error)) Ui().ShowError(error);
}

void TFormImage::btnSavePdfClick() {
  QString chosen = Ui().GetSaveFileName(this, QString::fromLatin1(kPdf.filter));
  if (chosen.isEmpty()) return;
  if (!chosen.endsWith(QLatin1String(kPdf.extension), Qt::CaseInsensitive)) chosen += QLatin1String(kPdf.extension);
  QString error;
  if (!page_.Save(chosen, kPdf.format, &error)) Ui().ShowError(error);
}

TFormInfo::TFormInfo(TFormImage* preview, QWidget* parent) : QDialog(parent), preview_(preview) {
  setObjectName(QStringLiteral("FormInfo"));
  setWindowTitle(QStringLiteral("Export Information"));
  setFixedSize(386, 422);
  QFont font;
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
  font.setPixelSize(16);
  setFont(font);

  const auto label = [this](const char* name, const QString& text, int x, int y) {
    auto* l = new QLabel(text, this);
    l->setObjectName(QString::fromLatin1(name));
    l->move(x, y);
    l->adjustSize();
    return l;
  };
  const auto edit = [this](const char* name, int y) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(145, y, 226, 27);
    e->setStyleSheet(QStringLiteral("QLineEdit { background-color: black; color: silver; }"));
    return e;
  };
  label("sLabel8", QStringLiteral("Date :"), 17, 8);
  // The date of the program's start: not refreshed later.
  date_ = label("sLabel9", QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")), 145, 8);
  // The one-line edits with their labels, top to bottom, 40 pixels apart.
  const struct {
    const char* label;
    const char* caption;
    const char* edit;
    QLineEdit** field;
  } rows[] = {
      {"sLabel1", "Inspector :", "edtUser", &user_},       {"sLabel2", "Light Source :", "edtSource", &source_},
      {"sLabel3", "Company :", "edtCompany", &company_},   {"sLabel4", "Web URL :", "edtWebURL", &webUrl_},
      {"sLabel5", "Phone Number :", "edtPhone", &phone_},  {"sLabel6", "E-Mail: ", "edtMail", &mail_},
  };
  int y = 45;
  for (const auto& row : rows) {
    label(row.label, QString::fromLatin1(row.caption), 17, y + 3);
    *row.field = edit(row.edit, y);
    y += 40;
  }
  label("sLabel7", QStringLiteral("Memo :"), 17, 296);
  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName(QStringLiteral("edtMemo"));
  memo_->setGeometry(85, 293, 286, 50);
  memo_->setTabChangesFocus(true);
  memo_->setStyleSheet(QStringLiteral("QPlainTextEdit { background-color: black; color: silver; }"));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("sButton1"));
  ok->setGeometry(137, 360, 116, 45);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { sButton1Click(); });

  // Tab order: OK, then the edits top to bottom.
  QWidget* previous = ok;
  for (QWidget* next : std::initializer_list<QWidget*>{user_, source_, company_, webUrl_, phone_, mail_, memo_}) {
    QWidget::setTabOrder(previous, next);
    previous = next;
  }

  CentreOnScreen(this);
  if (FormInfo == nullptr) FormInfo = this;
}

TFormInfo::~TFormInfo() {
  if (FormInfo == this) FormInfo = nullptr;
}

std::optional<ReportInput> TFormInfo::CollectInput() const {
  std::optional<ReportInput> input = provider_ ? provider_() : std::optional<ReportInput>(ReportInput{});
  if (!input) return std::nullopt;
  input->inspector = user_->text();
  input->lightSource = source_->text();
  input->company = company_->text();
  input->webUrl = webUrl_->text();
  input->phone = phone_->text();
  input->mail = mail_->text();
  input->memo = memo_->toPlainText();
  input->date = date_->text();
  return input;
}

void TFormInfo::sButton1Click() {
  const std::optional<ReportInput> input = CollectInput();
  if (!input || preview_ == nullptr) return;
  QString error;
  if (!preview_->ComposePage(*input, &error)) {
    Ui().ShowError(error);
    return;
  }
  preview_->show();
  preview_->raise();
  preview_->activateWindow();
  hide();
}
