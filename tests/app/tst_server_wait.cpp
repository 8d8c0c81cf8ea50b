// Server calls run beside the window: while a statement waits for another
// session's lock the window keeps painting, takes no other command, and
// "Bitte warten" ends the statement on the server; a connect to a server
// that never greets can be given up.
#include "app/mysql_test_main.h"
#include "common/WaitWindow.h"
#include "connection/verbindungFUnit.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QString Db = QStringLiteral("qwt_wait");
const QString Table = QStringLiteral("gesperrt");

TWaitForm *VisibleWaitForm() {
  for (QWidget *w : QApplication::topLevelWidgets())
    if (auto *wait = qobject_cast<TWaitForm *>(w); wait && wait->isVisible())
      return wait;
  return nullptr;
}

// A left click on the widget's middle, handed to its top-level window as
// the window system hands it, so that event filters see it on the way.
void ClickThroughWindow(QWidget *widget) {
  QWidget *window = widget->window();
  QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                    widget->mapTo(window, widget->rect().center()));
}

// Counts paint events of one widget.
class PaintCounter : public QObject {
public:
  explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
  int paints = 0;

protected:
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::Paint)
      ++paints;
    return false;
  }
};
} // namespace

class ServerWaitTest : public QObject {
  Q_OBJECT

  std::unique_ptr<AdminConnection> admin;

private slots:
  void initTestCase() {
    LoadRealClientLibrary();
    QW_REQUIRE_SERVER();
    SetWaitWindowDelay(100);
    admin = std::make_unique<AdminConnection>();
    admin->makeDatabase(Db);
    admin->exec(QStringLiteral("CREATE TABLE qwt_wait.gesperrt (id INT, name VARCHAR(20))"));
  }
  void cleanupTestCase() {
    if (admin)
      admin->dropDatabase(Db);
  }

  void lockedStatementCanBeCancelled() {
    std::unique_ptr<TMainForm> form = OpenMainForm(true);
    QVERIFY(form->connected());
    ClickCaption(form->ListView1, Db);
    ClickCaption(form->ListView2, Table);
    ClickCaption(form->ListView3, QStringLiteral("name"));
    const unsigned long connection = form->Session->connectionId();

    AdminConnection locker;
    locker.exec(QStringLiteral("LOCK TABLES qwt_wait.gesperrt WRITE"));

    // What the user sees and does while the statement waits.
    MessageRecorder messages;
    ModalScript dialogs;
    PaintCounter painted(form.get());
    QStringList waitTexts, statementsSeen;
    int ticks = 0, paintsWhileWaiting = 0;
    QPointer<TWaitForm> handled;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
      ++ticks;
      TWaitForm *wait = VisibleWaitForm();
      if (!wait || wait == handled)
        return;
      handled = wait;
      waitTexts << wait->WhatLabel->text();
      statementsSeen << admin->column(QStringLiteral("SELECT INFO FROM information_schema."
                                                     "PROCESSLIST WHERE ID = %1")
                                          .arg(connection));
      // Another command cannot start meanwhile; the window still paints.
      // Clicks go in through the windows, as the window system delivers them.
      ClickThroughWindow(form->NewDBBtn);
      const int before = painted.paints;
      form->update();
      QCoreApplication::processEvents();
      paintsWhileWaiting = painted.paints - before;
      ClickThroughWindow(wait->CancelBtn);
    });
    user.start(20);
    form->DelFieldBtn->click();
    user.stop();
    locker.exec(QStringLiteral("UNLOCK TABLES"));

    QCOMPARE(waitTexts, QStringList{QStringLiteral("Ändere die Tabelle „gesperrt“ ...")});
    QVERIFY2(statementsSeen.value(0).contains(QLatin1String("DROP COLUMN")),
             qPrintable(statementsSeen.join(QLatin1Char('|'))));
    QCOMPARE(dialogs.shownCount, 0);
    QVERIFY(paintsWhileWaiting > 0);
    QVERIFY(ticks >= 2);
    // The question, then the server's answer to the cancelled statement.
    QCOMPARE(messages.texts().size(), 2);
    QCOMPARE(messages.shown[1].text, QStringLiteral("Query execution was interrupted"));
    QCOMPARE(admin->columnNames(Db, Table), (QStringList{"id", "name"}));
    QCOMPARE(admin->column(QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST "
                                          "WHERE ID = %1 AND INFO IS NOT NULL")
                               .arg(connection)),
             QStringList{"0"});
    QCOMPARE(Captions(form->ListView3), (QStringList{"id", "name"}));

    // The connection is still the same and works.
    messages.clear();
    ClickCaption(form->ListView3, QStringLiteral("name"));
    form->DelFieldBtn->click();
    QCOMPARE(messages.texts().size(), 1);
    QCOMPARE(admin->columnNames(Db, Table), QStringList{"id"});
    QCOMPARE(form->Session->connectionId(), connection);
    form->cancelbtnClick();
  }

  // A port that accepts connections but never greets: "Abbrechen" gives the
  // attempt up at once, whatever the connect time-out.
  void silentServerConnectCanBeGivenUp() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0);
    QVERIFY(::listen(listener, 4) == 0);
    QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);

    std::unique_ptr<TMainForm> form = OpenMainForm(false);
    MessageRecorder messages;
    ModalScript dialogs;
    dialogs.push([&](QDialog &dialog) {
      auto &d = static_cast<TDialog &>(dialog);
      d.EditHost->setText(QStringLiteral("127.0.0.1"));
      d.EditPort->setText(QString::number(ntohs(address.sin_port)));
      d.EditTime->setText(QStringLiteral("60"));
      return int(QDialog::Accepted);
    });
    QElapsedTimer clock;
    clock.start();
    {
      CancelWhenWaiting user;
      form->connectbtn->click();
      QCOMPARE(user.presses(), 1);
    }
    QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!form->connected());
    QVERIFY(messages.shown.isEmpty());
    ::close(listener);

    // The next attempt connects as ever.
    ConnectTo(*form);
    QVERIFY(form->connected());
    form->cancelbtnClick();
  }
};

QTEST_MAIN(ServerWaitTest)
#include "tst_server_wait.moc"
