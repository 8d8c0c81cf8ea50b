#include "app/Forms.h"
#include "app/Interaction.h"
#include "app/mysql_test_main.h"
#include "clientlib/mysql.h"

#include <QApplication>

int main(int argc, char *argv[]) {
  // The client library is bound before any window exists; what came of it
  // shows only when a command needs it.
  mysql::LoadClientLibrary();
  int exitCode = 0;
  {
    QApplication app(argc, argv);
    QApplication::setApplicationName(ApplicationTitle);
    QApplication::setOrganizationName(QStringLiteral("quellwerk"));
    QApplication::setDesktopFileName(QStringLiteral("quellwerk"));
    InstallGermanTranslations();
    std::unique_ptr<TMainForm> mainForm = CreateForms();
    mainForm->show();
    exitCode = QApplication::exec();
  }
  mysql::FreeClientLibrary();
  return exitCode;
}
