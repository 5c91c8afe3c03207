#include "columns/column_dialog.h"

#include <QListWidget>
#include <QToolButton>

#include "columns/settings.h"
#include "ui/ui_services.h"

int chosenClicked = 0;
int availableClicked = 0;

namespace {

constexpr int kPrefixLength = 4;  // " 1. "
constexpr int kNameLength = 30;

const char* const kAvailable[] = {
    "RMS %",    "RMS dB",   "JEITA %", "JEITA dB", "VESA FMA",  "VESA %",   "VESA dB",
    "Percentage(IES)", "Index(IES)", "Frequnecy", "DC",   "Average",  "Min",      "Max",
    "Max-Min",  "contrast", "contrast dB", "SVM",  "AC/DC",     "None",
};

QString RowPrefix(int n) { return QStringLiteral(" %1. ").arg(n); }

QString NameOf(const QString& row) { return row.mid(kPrefixLength, kNameLength); }

int FirstSelectedRow(const QListWidget* list) {
  int first = -1;
  for (const QListWidgetItem* item : list->selectedItems()) {
    const int row = list->row(item);
    if (first < 0 || row < first) first = row;
  }
  return first;
}

void SelectRow(QListWidget* list, int row) {
  if (row < 0 || row >= list->count()) return;
  list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

QToolButton* PictureButton(QWidget* parent, const char* name, const QString& tip, int x, int y, int w, int h) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setToolTip(tip);
  b->setGeometry(x, y, w, h);
  return b;
}

}  // namespace

TSpExpBSet::TSpExpBSet(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SpExpBSet"));
  setWindowTitle(QStringLiteral("BASIC Setup"));
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setFixedSize(578, 372);
  setModal(true);

  const QString listStyle = QStringLiteral(
      "QListWidget { background-color: black; color: white; }"
      "QListWidget::item:selected { background-color: #2a6fb0; color: white; }");
  all_ = new QListWidget(this);
  all_->setObjectName(QStringLiteral("slbAll"));
  all_->setGeometry(12, 8, 305, 355);
  all_->setStyleSheet(listStyle);
  all_->setFlow(QListView::TopToBottom);
  all_->setWrapping(true);
  all_->setResizeMode(QListView::Adjust);
  all_->setUniformItemSizes(true);
  all_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  basic_ = new QListWidget(this);
  basic_->setObjectName(QStringLiteral("slbBasic"));
  basic_->setGeometry(366, 8, 195, 276);
  basic_->setStyleSheet(listStyle);

  auto* right = PictureButton(this, "ssbRight", QStringLiteral("Put the figure into the selected row"), 322, 70, 38, 42);
  right->setArrowType(Qt::RightArrow);
  auto* left = PictureButton(this, "ssbLeft", QString(), 322, 118, 38, 42);
  left->setArrowType(Qt::LeftArrow);
  left->hide();
  up_ = PictureButton(this, "ssbUp", QStringLiteral("Move the row up"), 394, 290, 56, 34);
  up_->setArrowType(Qt::UpArrow);
  down_ = PictureButton(this, "ssbDown", QStringLiteral("Move the row down"), 456, 290, 56, 34);
  down_->setArrowType(Qt::DownArrow);
  auto* commit = PictureButton(this, "tbCommit", QStringLiteral("Save the choice and close"), 388, 330, 62, 36);
  commit->setText(QStringLiteral("Save"));
  auto* cancel = PictureButton(this, "tbCancel", QStringLiteral("Close without saving"), 456, 330, 64, 36);
  cancel->setText(QStringLiteral("Cancel"));

  connect(all_, &QListWidget::clicked, this, [] { availableClicked = 1; });
  connect(basic_, &QListWidget::clicked, this, [] { chosenClicked = 1; });
  connect(right, &QToolButton::clicked, this, [this] { ssbRightClick(); });
  connect(up_, &QToolButton::clicked, this, [this] { ssbUpClick(); });
  connect(down_, &QToolButton::clicked, this, [this] { ssbDownClick(); });
  connect(commit, &QToolButton::clicked, this, [this] { tbCommitClick(); });
  connect(cancel, &QToolButton::clicked, this, [this] { tbCancelClick(); });
}

QStringList TSpExpBSet::AvailableNames() {
  QStringList names;
  for (const char* name : kAvailable) names << QString::fromLatin1(name);
  return names;
}

void TSpExpBSet::OpenForFlicker() {
  mode = 5;
  setWindowTitle(QStringLiteral("Flicker parameter"));
  // The flicker layout: the offered figures in two columns, the chosen list 275 high.
  all_->setGridSize(QSize((all_->viewport()->width() - 2) / 2, 27));
  basic_->setGeometry(366, 8, 195, 275);
  up_->move(394, 290);
  down_->move(456, 290);

  LoadChosen();
  all_->clear();
  for (const QString& name : AvailableNames()) {
    auto* item = new QListWidgetItem(QStringLiteral("  ") + name, all_);
    item->setSizeHint(QSize(all_->gridSize().width(), 27));
  }
  SelectRow(all_, 0);
  SelectRow(basic_, 0);

  if (QWidget* owner = parentWidget()) {
    move(owner->mapToGlobal(owner->rect().center()) - QPoint(width() / 2, height() / 2));
  }
}

void TSpExpBSet::LoadChosen() {
  if (SettingsFilePath().isEmpty()) return;  // no place for the settings: nothing to load
  QStringList names;
  if (!ReadFlkInfoColumns(&names)) Ui().ShowMessage(QStringLiteral("read file error(ini)"));
  basic_->clear();
  for (int n = 1; n <= kFlkInfoColumnCount; ++n) {
    auto* item = new QListWidgetItem(RowPrefix(n) + names.at(n - 1), basic_);
    item->setSizeHint(QSize(0, 32));
  }
  SelectRow(basic_, 0);
}

QStringList TSpExpBSet::ChosenNames() const {
  QStringList names;
  for (int i = 0; i < basic_->count(); ++i) names << NameOf(basic_->item(i)->text());
  return names;
}

void TSpExpBSet::ssbRightClick() {
  chosenClicked = 1;
  availableClicked = 1;
  const int from = FirstSelectedRow(all_);
  const int to = FirstSelectedRow(basic_);
  if (from < 0 || to < 0) return;
  QListWidgetItem* row = basic_->item(to);
  row->setText(row->text().left(kPrefixLength) + all_->item(from)->text().trimmed());
  if (to < basic_->count() - 1) SelectRow(basic_, to + 1);
}

void TSpExpBSet::SwapNames(int a, int b) {
  QListWidgetItem* first = basic_->item(a);
  QListWidgetItem* second = basic_->item(b);
  const QString firstName = first->text().mid(kPrefixLength);
  first->setText(first->text().left(kPrefixLength) + second->text().mid(kPrefixLength));
  second->setText(second->text().left(kPrefixLength) + firstName);
}

void TSpExpBSet::ssbUpClick() {
  if (!chosenClicked) return;
  const int a = FirstSelectedRow(basic_);
  if (a <= 0) return;
  SwapNames(a - 1, a);
  SelectRow(basic_, a - 1);
}

void TSpExpBSet::ssbDownClick() {
  if (!chosenClicked) return;
  const int a = FirstSelectedRow(basic_);
  if (a < 0 || a >= basic_->count() - 1) return;
  SwapNames(a, a + 1);
  SelectRow(basic_, a + 1);
}

void TSpExpBSet::tbCommitClick() {
  if (!SettingsFilePath().isEmpty() && basic_->count() >= kFlkInfoColumnCount) {
    // A choice that cannot be stored is reported rather than lost without a word.
    if (!WriteFlkInfoColumns(ChosenNames())) Ui().ShowMessage(QStringLiteral("write file error(ini)"));
  }
  accept();
}

void TSpExpBSet::tbCancelClick() { reject(); }
