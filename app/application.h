// The program's application object: every error that escapes an event handler (a text field
// that is not a number, a file error) ends up here and is shown by the standard error box;
// the program goes on.
#pragma once

#include <QApplication>
#include <QStringList>
#include <string>

class QuivraApplication : public QApplication {
 public:
  QuivraApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// The value of --instrument=VALUE or "--instrument VALUE" among the arguments (after Qt took
// its own); empty when absent. Other arguments are left alone.
std::string InstrumentOption(const QStringList& arguments);
