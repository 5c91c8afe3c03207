// TSpExpBSet: the modal dialog that chooses which seven flicker figures the workbench's
// parameter box shows, and in which order. Commit stores the choice in "FLK_INFO" of the
// settings file (columns/settings.h); Cancel and the close box store nothing. The caller
// always re-reads the section afterwards.
//
//   expSet->OpenForFlicker();
//   expSet->exec();
//   LoadParamNames(); ShowParams(record);
#pragma once

#include <QDialog>
#include <QStringList>
#include <cstdint>

class QListWidget;
class QToolButton;

// Program-wide: set to 1 by the first click on the chosen list / the available list (or by
// one use of ->), never cleared. Up and Down act only once chosenClicked is 1.
extern int chosenClicked;
extern int availableClicked;

class TSpExpBSet : public QDialog {
  Q_OBJECT
 public:
  explicit TSpExpBSet(QWidget* parent = nullptr);

  // mode 5 (flicker parameters), caption "Flicker parameter", the flicker layout, the chosen
  // list loaded from the settings file ("read file error(ini)" and the defaults when it
  // cannot be read), the available list filled, the first row of each list selected.
  void OpenForFlicker();

  // The figures offered, in list order ("RMS %" ... "None").
  static QStringList AvailableNames();

  // The name part of the chosen rows, top to bottom (the text from the fifth character on,
  // at most 30 characters).
  QStringList ChosenNames() const;

  void ssbRightClick();  // put the selected available figure into the selected chosen row
  void ssbUpClick();     // move the selected chosen row up
  void ssbDownClick();   // move the selected chosen row down
  void tbCommitClick();  // write "FLK_INFO" and close
  void tbCancelClick();  // close without writing

  uint32_t mode = 0;

 private:
  void LoadChosen();
  void SwapNames(int a, int b);

  QListWidget* all_ = nullptr;
  QListWidget* basic_ = nullptr;
  QToolButton* up_ = nullptr;
  QToolButton* down_ = nullptr;
};
