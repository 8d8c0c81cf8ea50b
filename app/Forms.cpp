#include "app/Forms.h"

#include "about/AboutBoxUnit.h"
#include "app/mysql_test_main.h"
#include "clientlib/ServerSession.h"
#include "common/WaitWindow.h"
#include "connection/verbindungFUnit.h"
#include "fields/EditFieldFUnit.h"
#include "schema/NeueDBFUnit.h"
#include "schema/NewTableFUnit.h"
#include "schema/RenameTableFUnit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// The program's icon, for every window and the information dialog. The
// resource lives in the static library, so it is registered by hand.
static void InstallProgramIcon() {
  Q_INIT_RESOURCE(quellwerk);
  QIcon icon;
  for (int size : {32, 48, 64})
    icon.addFile(QStringLiteral(":/icons/quellwerk-%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(icon);
}

// Every server call of the program waits with the wait window.
static void InstallWaitWindow() {
  SetCallWaiter([](const QString &what, PendingCall &call) {
    WaitWithWindow(what, {[&call] { return call.finished(); },
                          [&call](std::function<void()> notify) {
                            return call.notifyWhenFinished(std::move(notify));
                          },
                          [&call] { call.cancel(); }});
  });
}

std::unique_ptr<TMainForm> CreateForms() {
  InstallProgramIcon();
  InstallWaitWindow();
  auto main = std::make_unique<TMainForm>();
  main->Dialog = new TDialog(main.get());
  main->NewDBForm = new TNewDBForm(main.get());
  main->RenameTableForm = new TRenameTableForm(main.get());
  main->NewTableForm = new TNewTableForm(nullptr, main.get());
  main->EditFieldForm = new TEditFieldForm(main.get());
  main->NewTableForm->SetFieldEditor(main->EditFieldForm);
  main->AboutBox = new TAboutBox(main.get());
  return main;
}

void InstallGermanTranslations() {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  auto *translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(QStringLiteral("qtbase_de"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
}
