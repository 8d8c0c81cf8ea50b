// Works the installed quellwerk as a user would, for the package test of
// scripts/test: preloaded into the unchanged program (LD_PRELOAD), it waits
// for the main window, presses its buttons and fills the connection dialog,
// finding every control by its object name, and reports what it saw on
// standard output. It knows nothing of the program's classes.
//
// QW_DRIVE="add HOST USER PASSWORD PORT": opens the connection dialog, adds
//   the connection to the saved ones ("Hinzufügen") and cancels the dialog,
//   which ends the program.
// QW_DRIVE="connect-saved HOST": opens the connection dialog, double-clicks
//   the saved connection to HOST, answers the first contact without TLS
//   "Ja, immer für diesen Server", and once connected reports the databases,
//   disconnects ("Trennen") and ends ("Ende").
//
// Lines on standard output: "program: PATH", "saved: HOST|USER|PASSWORD|PORT"
// for each saved connection as the dialog lists it (before "add" adds one),
// "added", "asked: no encryption", "connected", "database: NAME", and
// "error: TEXT" when something is not as expected. A program that runs
// longer than 60 seconds is stopped.

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

namespace {

void say(const QString &line) {
  std::fprintf(stdout, "%s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

[[noreturn]] void fail(const QString &why) {
  say(QStringLiteral("error: ") + why);
  std::fflush(stdout);
  std::_Exit(3);
}

QWidget *window(const QString &name) {
  for (QWidget *w : QApplication::topLevelWidgets())
    if (w->objectName() == name)
      return w;
  return nullptr;
}

template <typename T> T *control(QWidget *form, const QString &name) {
  T *found = form ? form->findChild<T *>(name) : nullptr;
  if (!found)
    fail(QStringLiteral("no control %1 in %2").arg(name, form ? form->objectName() : "?"));
  return found;
}

QString cellOf(QAbstractItemView *list, int row, int column) {
  return list->model()->index(row, column).data().toString();
}

void reportSaved(QAbstractItemView *list) {
  for (int row = 0; row < list->model()->rowCount(); ++row)
    say(QStringLiteral("saved: %1|%2|%3|%4")
            .arg(cellOf(list, row, 0), cellOf(list, row, 1), cellOf(list, row, 2),
                 cellOf(list, row, 3)));
}

// Runs `step` once `ready` holds, checking every 50 ms.
void when(std::function<bool()> ready, std::function<void()> step) {
  auto *timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, qApp, [timer, ready, step] {
    if (!ready())
      return;
    timer->stop();
    timer->deleteLater();
    step();
  });
  timer->start(50);
}

QDialog *shownDialog() {
  auto *dialog = qobject_cast<QDialog *>(window(QStringLiteral("Dialog")));
  return dialog && dialog->isVisible() ? dialog : nullptr;
}

void addSaved(const QStringList &args) {
  QDialog *d = shownDialog();
  auto *list = control<QAbstractItemView>(d, QStringLiteral("ListView1"));
  reportSaved(list);
  control<QLineEdit>(d, QStringLiteral("EditHost"))->setText(args.value(1));
  control<QLineEdit>(d, QStringLiteral("EditUser"))->setText(args.value(2));
  control<QLineEdit>(d, QStringLiteral("EditPass"))->setText(args.value(3));
  control<QLineEdit>(d, QStringLiteral("EditPort"))->setText(args.value(4));
  const int before = list->model()->rowCount();
  // No keyring in the test's session: the password goes to options.dat, as chosen.
  when([] { return qobject_cast<QMessageBox *>(QApplication::activeModalWidget()) != nullptr; },
       [] {
         auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
         for (QAbstractButton *button : box->buttons())
           if (button->text() == QStringLiteral("Im Klartext in options.dat speichern"))
             QTest::mouseClick(button, Qt::LeftButton);
       });
  QTest::mouseClick(control<QPushButton>(d, QStringLiteral("AddBtn")), Qt::LeftButton);
  if (list->model()->rowCount() != before + 1)
    fail(QStringLiteral("Hinzufügen added no row"));
  say(QStringLiteral("added"));
  QTest::mouseClick(control<QPushButton>(d, QStringLiteral("ButtonCancel")), Qt::LeftButton);
}

void connectSaved(const QStringList &args) {
  QDialog *d = shownDialog();
  auto *list = control<QAbstractItemView>(d, QStringLiteral("ListView1"));
  reportSaved(list);
  int row = -1;
  for (int r = 0; r < list->model()->rowCount(); ++r)
    if (cellOf(list, r, 0) == args.value(1))
      row = r;
  if (row < 0)
    fail(QStringLiteral("no saved connection to ") + args.value(1));
  const QModelIndex index = list->model()->index(row, 0);
  list->scrollTo(index);
  const QPoint at = list->visualRect(index).center();
  // The test server offers no TLS: the first contact asks, and is let in for good.
  when(
      [] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        return box && box->text().contains(QStringLiteral("keine Verschlüsselung"));
      },
      [] {
        say(QStringLiteral("asked: no encryption"));
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        for (QAbstractButton *button : box->buttons())
          if (button->text() == QStringLiteral("Ja, &immer für diesen Server"))
            QTest::mouseClick(button, Qt::LeftButton);
      });
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

void afterConnect(QWidget *main) {
  auto *connectButton = control<QPushButton>(main, QStringLiteral("connectbtn"));
  if (connectButton->isEnabled())
    fail(QStringLiteral("not connected"));
  say(QStringLiteral("connected"));
  auto *databases = control<QAbstractItemView>(main, QStringLiteral("ListView1"));
  for (int r = 0; r < databases->model()->rowCount(); ++r)
    say(QStringLiteral("database: ") + cellOf(databases, r, 0));
  QTest::mouseClick(control<QPushButton>(main, QStringLiteral("cancelbtn")), Qt::LeftButton);
  QTest::mouseClick(control<QPushButton>(main, QStringLiteral("EndeBtn")), Qt::LeftButton);
}

void drive() {
  const QStringList args = qEnvironmentVariable("QW_DRIVE").split(QLatin1Char(' '));
  say(QStringLiteral("program: ") + QCoreApplication::applicationFilePath());
  QTimer::singleShot(60000, [] { fail(QStringLiteral("the program ran longer than 60 seconds")); });

  auto mainShown = [] {
    QWidget *main = window(QStringLiteral("MainForm"));
    return main && main->isVisible();
  };
  when(mainShown, [args] {
    QWidget *main = window(QStringLiteral("MainForm"));
    auto *connectButton = control<QPushButton>(main, QStringLiteral("connectbtn"));
    if (args.value(0) == QLatin1String("add") && args.size() == 5) {
      when([] { return shownDialog() != nullptr; }, [args] { addSaved(args); });
    } else if (args.value(0) == QLatin1String("connect-saved") && args.size() == 2) {
      when([] { return shownDialog() != nullptr; }, [args] { connectSaved(args); });
      when([connectButton] { return !connectButton->isEnabled(); }, [main] { afterConnect(main); });
    } else {
      fail(QStringLiteral("unknown QW_DRIVE: ") + args.join(QLatin1Char(' ')));
    }
    // The dialog runs modally inside this click.
    connectButton->click();
  });
}

void start() {
  if (qEnvironmentVariableIsSet("QW_DRIVE"))
    QTimer::singleShot(0, drive);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(start)
