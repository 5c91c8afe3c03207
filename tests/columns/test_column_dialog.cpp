// The column setup dialog on a settings file in a private configuration folder: loading,
// ->, Up and Down with the program-wide click flags, Commit, Cancel, the read error.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "columns/column_dialog.h"
#include "columns/settings.h"
#include "tests/report/qt_app_environment.h"
#include "ui/ui_services.h"

QUIVRA_QT_TEST_APPLICATION(QApplication);

namespace {

class ColumnDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(config.isValid());
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    ASSERT_EQ(SettingsFilePath(), config.filePath(QStringLiteral("qvcon.ini")));
    SetUi(&ui);
    chosenClicked = 0;
    availableClicked = 0;
  }
  void TearDown() override {
    dialog.reset();
    SetUi(nullptr);
    qunsetenv("XDG_CONFIG_HOME");
  }

  void Open() {
    if (!dialog) dialog = std::make_unique<TSpExpBSet>();
    dialog->OpenForFlicker();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  }
  QListWidget* List(const char* name) { return dialog->findChild<QListWidget*>(QString::fromLatin1(name)); }
  void Press(const char* button) { dialog->findChild<QToolButton*>(QString::fromLatin1(button))->click(); }
  void Select(const char* list, int row) { List(list)->setCurrentRow(row, QItemSelectionModel::ClearAndSelect); }
  void ClickRow(const char* list, int row) {
    QListWidget* l = List(list);
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(row)).center());
  }
  QStringList Rows() {
    QStringList rows;
    for (int i = 0; i < List("slbBasic")->count(); ++i) rows << List("slbBasic")->item(i)->text();
    return rows;
  }
  QByteArray FileBytes() {
    QFile f(SettingsFilePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  QTemporaryDir config;
  RecordingUi ui;
  std::unique_ptr<TSpExpBSet> dialog;
};

TEST_F(ColumnDialogTest, WithoutAFileShowsTheDefaultsAndCommitStoresThem) {
  Open();
  EXPECT_EQ(dialog->windowTitle(), "Flicker parameter");
  EXPECT_EQ(dialog->mode, 5u);
  EXPECT_EQ(Rows(), (QStringList{" 1. contrast", " 2. contrast dB", " 3. RMS %", " 4. RMS dB", " 5. Jeita %",
                                 " 6. Jeita dB", " 7. Vesa %"}));
  QListWidget* all = List("slbAll");
  ASSERT_EQ(all->count(), 20);
  EXPECT_EQ(all->item(0)->text(), "  RMS %");
  EXPECT_EQ(all->item(19)->text(), "  None");
  EXPECT_EQ(all->currentRow(), 0);
  EXPECT_EQ(List("slbBasic")->currentRow(), 0);
  // The offered figures stand in two columns.
  EXPECT_GT(all->visualItemRect(all->item(19)).left(), all->visualItemRect(all->item(0)).right());
  EXPECT_TRUE(ui.calls.isEmpty());

  Press("tbCommit");
  EXPECT_FALSE(dialog->isVisible());
  const QByteArray file = FileBytes();
  EXPECT_TRUE(file.contains("[FLK_INFO]"));
  EXPECT_TRUE(file.contains("COLUMN1=contrast\n"));
  EXPECT_TRUE(file.contains("COLUMN7=Vesa %\n")) << file.toStdString();
  QStringList stored;
  EXPECT_TRUE(ReadFlkInfoColumns(&stored));
  EXPECT_EQ(stored, FlkInfoDefaults());
}

TEST_F(ColumnDialogTest, UpAndDownWaitForTheFirstClickOnTheChosenList) {
  Open();
  Select("slbBasic", 2);
  Press("ssbDown");
  Press("ssbUp");
  EXPECT_EQ(Rows()[2], " 3. RMS %");  // nothing moved: the list was never clicked

  ClickRow("slbBasic", 2);
  EXPECT_EQ(chosenClicked, 1);
  EXPECT_EQ(availableClicked, 0);
  Press("ssbDown");
  EXPECT_EQ(Rows()[2], " 3. RMS dB");
  EXPECT_EQ(Rows()[3], " 4. RMS %");
  EXPECT_EQ(List("slbBasic")->currentRow(), 3);
  Press("ssbUp");
  Press("ssbUp");
  EXPECT_EQ(Rows().mid(1, 3), (QStringList{" 2. RMS %", " 3. contrast dB", " 4. RMS dB"}));
  // Up on the first row and Down on the last change nothing.
  Select("slbBasic", 0);
  Press("ssbUp");
  Select("slbBasic", 6);
  Press("ssbDown");
  EXPECT_EQ(Rows().front(), " 1. contrast");
  EXPECT_EQ(Rows().back(), " 7. Vesa %");
}

TEST_F(ColumnDialogTest, RightPutsTheFigureAndMovesOnAndNoneIsStored) {
  Open();
  Select("slbAll", 19);  // "None"
  Select("slbBasic", 2);
  Press("ssbRight");
  EXPECT_EQ(Rows()[2], " 3. None");
  EXPECT_EQ(List("slbBasic")->currentRow(), 3);
  // -> counts as a click on both lists: Up works from now on.
  EXPECT_EQ(chosenClicked, 1);
  EXPECT_EQ(availableClicked, 1);
  Select("slbAll", 9);  // "Frequnecy" into the last row; the selection stays there
  Select("slbBasic", 6);
  Press("ssbRight");
  EXPECT_EQ(List("slbBasic")->currentRow(), 6);
  Press("ssbUp");
  Press("tbCommit");
  QStringList stored;
  ASSERT_TRUE(ReadFlkInfoColumns(&stored));
  EXPECT_EQ(stored, (QStringList{"contrast", "contrast dB", "None", "RMS dB", "Jeita %", "Frequnecy", "Jeita dB"}));
}

TEST_F(ColumnDialogTest, CancelStoresNothingAndTheNextOpeningShowsTheSavedNames) {
  Open();
  Select("slbAll", 0);
  Select("slbBasic", 0);
  Press("ssbRight");
  Press("tbCommit");
  const QByteArray saved = FileBytes();
  ASSERT_FALSE(saved.isEmpty());

  Open();
  Select("slbAll", 17);
  Press("ssbRight");
  ClickRow("slbBasic", 4);
  Press("ssbDown");
  Press("tbCancel");
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(FileBytes(), saved);
  Open();
  EXPECT_EQ(Rows()[0], " 1. RMS %");
  EXPECT_EQ(Rows()[4], " 5. Jeita %");
}

TEST_F(ColumnDialogTest, UnreadableFileShowsTheErrorAndTheDefaults) {
  ASSERT_TRUE(QDir().mkpath(SettingsFilePath()));  // a folder where the file should be
  Open();
  EXPECT_EQ(ui.Texts("message"), QStringList{"read file error(ini)"});
  EXPECT_EQ(Rows().front(), " 1. contrast");
  EXPECT_EQ(Rows().size(), 7);
  // Neither can the choice be stored: said so, not lost without a word.
  Press("tbCommit");
  EXPECT_EQ(ui.Texts("message").size(), 2);
}

}  // namespace
