#include "app/application.h"

#include "ui/ui_services.h"

QuivraApplication::QuivraApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName("Quivra");
  setApplicationDisplayName("Quivra");
  setOrganizationName("Quivra");
}

bool QuivraApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    Ui().ShowError(QString::fromUtf8(e.what()));
  } catch (...) {
    Ui().ShowError(QString());  // an object that is no standard exception: an empty message
  }
  return false;
}

std::string InstrumentOption(const QStringList& arguments) {
  const QString key = QStringLiteral("--instrument");
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a.startsWith(key + "=")) return a.mid(key.size() + 1).toStdString();
    if (a == key && i + 1 < arguments.size()) return arguments[i + 1].toStdString();
  }
  return {};
}
