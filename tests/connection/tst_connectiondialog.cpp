// The connection dialog: its controls and keyboard, the saved-connection list
// and options.dat as the user meets them, and the remembered position.
#include "common/FormStorage.h"
#include "connection/PasswordPrompt.h"
#include "connection/SavedConnections.h"
#include "connection/verbindungFUnit.h"
#include "tests/connection/FileTestTools.h"
#include "tests/support/TestSupport.h"

#include <QAccessible>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <functional>
#include <memory>

using namespace filetest;

namespace {

QStringList rowOf(const TDialog &dialog, int row) {
  QStringList cells;
  for (int column = 0; column < 4; ++column)
    cells << dialog.ListView1->items().cell(row, column);
  return cells;
}

QStringList hostsOf(const TDialog &dialog) {
  QStringList hosts;
  for (int row = 0; row < dialog.ListView1->count(); ++row)
    hosts << dialog.ListView1->caption(row);
  return hosts;
}

QList<SavedConnection> rowsInFile(const QString &path) {
  const DecodedConnections decoded = DecodeSavedConnections(readAll(path));
  return decoded.fault == DecodedConnections::Fault::None ? decoded.rows : QList<SavedConnection>{};
}

// Whether the list gives `secret` away: in a cell, whatever role is asked,
// or to the accessibility tree (which tells the rows laid out).
bool listShows(const TDialog &dialog, const QString &secret) {
  const ReportListModel &items = dialog.ListView1->items();
  for (int cell = 0; cell < 4 * items.rows(); ++cell)
    for (int role = 0; role <= Qt::UserRole; ++role)
      if (items.data(items.index(cell / 4, cell % 4), role).toString().contains(secret))
        return true;
  std::function<bool(QAccessibleInterface *)> tells = [&](QAccessibleInterface *node) {
    bool told = node->text(QAccessible::Name).contains(secret) ||
                node->text(QAccessible::Description).contains(secret);
    for (int child = 0; child < node->childCount() && !told; ++child)
      told = tells(node->child(child));
    return told;
  };
  dialog.ListView1->doItemsLayout();
  return tells(QAccessible::queryAccessibleInterface(dialog.ListView1));
}

void showAndActivate(QDialog &dialog) {
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  dialog.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&dialog));
}

QPoint rowCentre(const TDialog &dialog, int row) {
  return dialog.ListView1->visualRect(dialog.ListView1->items().index(row, 0)).center();
}

int currentPixelsPerInch(const QWidget &widget) {
  return qRound(widget.screen()->logicalDotsPerInch());
}

} // namespace

class ConnectionDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir m_home;
  QString m_program;

  QString optionsPath() const { return m_program + QStringLiteral("/options.dat"); }

private slots:
  void initTestCase() {
    QVERIFY(m_home.isValid());
    // Settings and configuration go to the test's own home, never the user's.
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QStandardPaths::setTestModeEnabled(true);
    m_program = m_home.filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkpath(m_program));
    SetSavedConnectionsProgramDirectory(m_program);
    QCOMPARE(SavedConnectionsFilePath(), optionsPath());
    QVERIFY(FormStorageFile().startsWith(m_home.path()));
  }

  void init() {
    // Also the copies of damaged files and the lock files.
    for (const QString &folder : {m_program, QuellwerkConfigDirectory()})
      for (const QString &name : QDir(folder).entryList({QStringLiteral("options.dat*")}))
        QFile::remove(QDir(folder).filePath(name));
    QFile::remove(FormStorageFile());
  }

  void controlsAndLayout() {
    MessageRecorder messages;
    TDialog d;
    QVERIFY(messages.shown.isEmpty());
    QCOMPARE(d.windowTitle(), QStringLiteral("Mit MySQL Datenbank verbinden"));

    // Initial texts and limits.
    QCOMPARE(d.EditHost->text(), QStringLiteral("localhost"));
    QCOMPARE(d.EditPort->text(), QStringLiteral("3306"));
    QCOMPARE(d.EditUser->text(), QStringLiteral("root"));
    QCOMPARE(d.EditPass->text(), QString());
    QCOMPARE(d.EditTime->text(), QStringLiteral("30"));
    QCOMPARE(d.EditHost->maxLength(), 60);
    QCOMPARE(d.EditPort->maxLength(), 5);
    QCOMPARE(d.EditUser->maxLength(), 80);
    QCOMPARE(d.EditPass->maxLength(), 128);
    QCOMPARE(d.EditTime->maxLength(), 3);
    d.EditUser->setText(QString(100, QLatin1Char('u')));
    QCOMPARE(d.EditUser->text().size(), 80);
    d.EditUser->setText(QStringLiteral("root"));

    // The password shows as one "*" per character.
    QCOMPARE(d.EditPass->echoMode(), QLineEdit::Password);
    d.EditPass->setText(QStringLiteral("geheim"));
    QCOMPARE(d.EditPass->displayText(), QStringLiteral("******"));
    d.EditPass->clear();

    // The list: whole-row single selection, host editable in place; an address shows whole.
    QCOMPARE(d.ListView1->count(), 0);
    QVERIFY(d.ListView1->columnWidth(0) >=
            d.ListView1->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")));
    int total = 0;
    for (int column = 0; column < 4; ++column)
      total += d.ListView1->columnWidth(column);
    QVERIFY(total <= d.ListView1->viewport()->width() || !d.isVisible());
    QCOMPARE(d.ListView1->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(d.ListView1->selectionBehavior(), QAbstractItemView::SelectRows);
    d.ListView1->items().appendRow(
        {QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("p"), QStringLiteral("1")});
    QVERIFY(d.ListView1->items().flags(d.ListView1->items().index(0, 0)) & Qt::ItemIsEditable);
    QVERIFY(!(d.ListView1->items().flags(d.ListView1->items().index(0, 1)) & Qt::ItemIsEditable));
    d.ListView1->clear();

    // Accessible names (the accelerators are the keyboard test's).
    QCOMPARE(d.EditHost->accessibleName(), QStringLiteral("Hostname/IP:"));
    QVERIFY(!d.ListView1->accessibleName().isEmpty());
    QCOMPARE(d.SshBtn->accessibleName(), QStringLiteral("SSH-Tunnel dieser Verbindung"));

    // A fixed-size dialog with a close box only, at least the designed 423 x 324.
    const Qt::WindowFlags flags = d.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                       Qt::WindowContextHelpButtonHint)));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QVERIFY(d.width() >= 423 && d.height() >= 324);

    showAndActivate(d);
    // The longest port and time-out fit their edits whole.
    const int frame = 2 * d.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const QFontMetrics metrics(d.EditPort->font());
    QVERIFY(d.EditPort->width() >= metrics.horizontalAdvance(QStringLiteral("65535")) + frame + 4);
    QVERIFY(d.EditTime->width() >= metrics.horizontalAdvance(QStringLiteral("999")) + frame + 4);

    d.reject();
  }

  void keyboard() {
    MessageRecorder messages;
    TDialog d;
    showAndActivate(d);

    // Tab order: the edits, the two lower buttons, the list, the list's
    // buttons, "T&LS...", "&SSH...".
    d.EditHost->setFocus();
    const QList<QWidget *> expected{d.EditPort, d.EditUser,     d.EditPass,  d.EditTime,
                                    d.ButtonOK, d.ButtonCancel, d.ListView1, d.AddBtn,
                                    d.DelBtn,   d.TlsBtn,       d.SshBtn,    d.EditHost};
    for (QWidget *next : expected) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), next);
    }

    // Accelerators: "&Hostname/IP:" and "&Port:" lead to the host edit, "&Timeout:" to its edit.
    d.EditUser->setFocus();
    QTest::keyClick(&d, Qt::Key_H, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), d.EditHost);
    d.EditUser->setFocus();
    QTest::keyClick(&d, Qt::Key_P, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), d.EditHost);
    QTest::keyClick(&d, Qt::Key_T, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), d.EditTime);

    // Enter on an edit presses "&Verbinden".
    for (QLineEdit *edit : {d.EditHost, d.EditPass, d.EditTime}) {
      d.setResult(-1);
      showAndActivate(d);
      edit->setFocus();
      QTest::keyClick(edit, Qt::Key_Return);
      QCOMPARE(d.result(), int(QDialog::Accepted));
      QVERIFY(!d.isVisible());
    }

    // Escape presses "A&bbrechen", from an edit and from a button.
    for (QWidget *from : QList<QWidget *>{d.EditUser, d.AddBtn}) {
      d.setResult(-1);
      showAndActivate(d);
      from->setFocus();
      QTest::keyClick(from, Qt::Key_Escape);
      QCOMPARE(d.result(), int(QDialog::Rejected));
      QVERIFY(!d.isVisible());
    }

    // Enter on a focused button presses that button, not "&Verbinden".
    d.setResult(-1);
    showAndActivate(d);
    d.AddBtn->setFocus();
    QTest::keyClick(d.AddBtn, Qt::Key_Return);
    QVERIFY(d.isVisible());
    QCOMPARE(d.result(), -1);
    QCOMPARE(d.ListView1->count(), 1);

    // Enter on the list (not a button) presses "&Verbinden"; the edits keep their texts.
    d.EditHost->setText(QStringLiteral("anderer-host"));
    d.ListView1->setFocus();
    d.ListView1->selectRow(0);
    QTest::keyClick(d.ListView1, Qt::Key_Return);
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(d.EditHost->text(), QStringLiteral("anderer-host"));

    // The close box cancels.
    d.setResult(-1);
    showAndActivate(d);
    d.close();
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QVERIFY(messages.shown.isEmpty());
  }

  void loadingDamagedFiles_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("hosts");
    QTest::addColumn<bool>("damaged");

    const QByteArray a = row("a.example", "anna", "pa", "3306");
    const QByteArray b = row("b.example", "bernd", "", "3307");
    const QStringList ab{QStringLiteral("a.example"), QStringLiteral("b.example")};
    QTest::newRow("no file") << QByteArray() << QStringList() << false;
    QTest::newRow("two bytes") << QByteArray("\x01\x00", 2) << QStringList() << false;
    QTest::newRow("zero count, no rows") << le32(0) << QStringList() << false;
    QTest::newRow("two rows") << le32(2) + a + b << ab << false;
    QTest::newRow("zero count") << le32(0) + a + b << ab << true;
    QTest::newRow("negative count") << le32(-1) + a + b << ab << true;
    QTest::newRow("INT_MIN count")
        << le32(std::numeric_limits<std::int32_t>::min()) + a + b << ab << true;
    QTest::newRow("high bit flipped") << le32(std::int32_t(0x80000002)) + a + b << ab << true;
    QTest::newRow("count too small") << le32(1) + a + b << ab << true;
    QTest::newRow("count larger than rows") << le32(5) + a + b << ab << true;
    QTest::newRow("string cut short") << le32(2) + a + str("b.example") + le32(20) + "bernd"
                                      << QStringList{QStringLiteral("a.example")} << true;
    QTest::newRow("huge length") << le32(1) + le32(0x7fffffff) + "abc" << QStringList() << true;
    QTest::newRow("negative length") << le32(2) + a + str("b.example") + le32(-1)
                                     << QStringList{QStringLiteral("a.example")} << true;
  }

  void loadingDamagedFiles() {
    QFETCH(QByteArray, content);
    QFETCH(QStringList, hosts);
    QFETCH(bool, damaged);
    if (QTest::currentDataTag() != QLatin1String("no file"))
      QVERIFY(writeAll(optionsPath(), content));

    MessageRecorder messages;
    TDialog d;
    QCOMPARE(hostsOf(d), hosts);
    const QString copy = optionsPath() + QStringLiteral(".defekt");
    QCOMPARE(messages.shown.size(), damaged ? 1 : 0);
    if (damaged) {
      // In German, naming the file and its copy; the copy is the file as it was.
      const Message &shown = messages.shown.first();
      QCOMPARE(shown.title, QStringLiteral("VoVID Adizad"));
      QCOMPARE(shown.icon, MessageIcon::Critical);
      QCOMPARE(shown.buttons, MessageButtons::Ok);
      QVERIFY2(shown.text.startsWith(
                   QStringLiteral("Die Datei „%1“ ist beschädigt: ").arg(optionsPath())),
               qPrintable(shown.text));
      QVERIFY2(shown.text.endsWith(QStringLiteral("„%1“ aufbewahrt.").arg(copy)),
               qPrintable(shown.text));
      QCOMPARE(readAll(copy), content);
    }
    // Loading leaves the file alone; the dialog works as usual afterwards, and
    // the next save writes the rows that were read, plus the new one.
    if (QTest::currentDataTag() != QLatin1String("no file"))
      QCOMPARE(readAll(optionsPath()), content);
    else
      QVERIFY(!QFile::exists(optionsPath()));
    messages.clear();
    d.AddBtn->click();
    QVERIFY(messages.shown.isEmpty());
    QStringList saved;
    for (const SavedConnection &row : rowsInFile(optionsPath()))
      saved << row.host;
    QCOMPARE(saved, hosts + QStringList{QStringLiteral("localhost")});
    // A later damaged file gets a copy of its own.
    if (damaged) {
      QVERIFY(writeAll(optionsPath(), content + "x"));
      TDialog again;
      QCOMPARE(readAll(copy), content);
      QCOMPARE(readAll(copy + QStringLiteral(".2")), content + "x");
    }
  }

  void listCommandsSaveTheFile() {
    MessageRecorder messages;
    auto d = std::make_unique<TDialog>();

    // The first "Hinzufügen" creates the file, owner-only, with the edits as typed.
    d->EditHost->setText(QStringLiteral(" db-süd "));
    d->EditUser->setText(QStringLiteral("Jörg"));
    d->EditPass->clear();
    d->EditPort->setText(QStringLiteral("abc"));
    d->AddBtn->click();
    QCOMPARE(rowOf(*d, 0), (QStringList{QStringLiteral(" db-süd "), QStringLiteral("Jörg"),
                                        QString(), QStringLiteral("abc")}));
    QCOMPARE(readAll(optionsPath()), le32(1) + row(" db-s\xc3\xbc"
                                                   "d ",
                                                   "J\xc3\xb6rg", "", "abc"));
    QCOMPARE(modeOf(optionsPath()), 0600u);

    // The same connection twice gives two rows, both saved; without a
    // keyring, the password in clear text as the user chose.
    d->EditHost->setText(QStringLiteral("localhost"));
    d->EditUser->setText(QStringLiteral("root"));
    d->EditPass->setText(QStringLiteral("geheim"));
    d->EditPort->setText(QStringLiteral("3306"));
    messages.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    d->AddBtn->click();
    d->AddBtn->click();
    QCOMPARE(messages.shown.size(), 2);
    messages.clear();
    QCOMPARE(d->ListView1->count(), 3);
    QCOMPARE(rowOf(*d, 1), rowOf(*d, 2));
    QList<SavedConnection> inFile = rowsInFile(optionsPath());
    QCOMPARE(inFile.size(), 3);
    QCOMPARE(inFile[1], inFile[2]);
    QCOMPARE(inFile[2].password, QStringLiteral("geheim"));

    // "Löschen" with no row selected rewrites the file unchanged.
    const QByteArray before = readAll(optionsPath());
    QVERIFY(!d->ListView1->hasSelection());
    d->DelBtn->click();
    QCOMPARE(d->ListView1->count(), 3);
    QCOMPARE(readAll(optionsPath()), before);

    // With a row selected it deletes that row.
    d->ListView1->selectRow(0);
    d->DelBtn->click();
    QCOMPARE(d->ListView1->count(), 2);
    inFile = rowsInFile(optionsPath());
    QCOMPARE(inFile.size(), 2);
    QCOMPARE(inFile[0].host, QStringLiteral("localhost"));

    // A new dialog (the next start) reads the same rows, and saving them again
    // writes the same bytes.
    const QByteArray saved = readAll(optionsPath());
    d = std::make_unique<TDialog>();
    QCOMPARE(d->ListView1->count(), 2);
    QCOMPARE(rowOf(*d, 1), (QStringList{QStringLiteral("localhost"), QStringLiteral("root"),
                                        QStringLiteral("gespeichert"), QStringLiteral("3306")}));
    d->SaveOptions();
    QCOMPARE(readAll(optionsPath()), saved);

    // Three rows written by hand, one of them from the old 8-bit program,
    // come back in order; the one that was Windows-1252 is saved as UTF-8.
    QVERIFY(writeAll(optionsPath(), le32(3) + row("eins", "u1", "p1", "1") +
                                        row("M\xfcller", "u2", "", "2") +
                                        row("drei", "u3", "p3", "3")));
    d = std::make_unique<TDialog>();
    QCOMPARE(hostsOf(*d), (QStringList{QStringLiteral("eins"), QStringLiteral("Müller"),
                                       QStringLiteral("drei")}));
    QCOMPARE(rowOf(*d, 1)[2], QString());
    d->SaveOptions();
    QCOMPARE(readAll(optionsPath()), le32(3) + row("eins", "u1", "p1", "1") +
                                         row("M\xc3\xbcller", "u2", "", "2") +
                                         row("drei", "u3", "p3", "3"));

    // Two running instances: B's row survives A's save, and A's list shows it.
    TDialog a, b;
    b.EditHost->setText(QStringLiteral("host-B"));
    b.AddBtn->click();
    a.EditHost->setText(QStringLiteral("host-A"));
    a.AddBtn->click();
    const QStringList all{QStringLiteral("eins"), QStringLiteral("Müller"), QStringLiteral("drei"),
                          QStringLiteral("host-A"), QStringLiteral("host-B")};
    QCOMPARE(hostsOf(a), all);
    QCOMPARE(rowsInFile(optionsPath()).size(), 5);
    QVERIFY(messages.shown.isEmpty());
  }

  void doubleClick() {
    QVERIFY(writeAll(optionsPath(), le32(2) + row("erster.example", "anna", "eins", "3310") +
                                        row("zweiter.example", "bernd", "", "3320")));
    MessageRecorder messages;
    TDialog d;
    QCOMPARE(d.ListView1->count(), 2);

    // A double-click on the empty part of the list, with no row selected, does nothing.
    showAndActivate(d);
    d.setResult(-1);
    d.EditTime->setText(QStringLiteral("45"));
    QWidget *viewport = d.ListView1->viewport();
    const QPoint empty(10, viewport->height() - 4);
    QVERIFY(!d.ListView1->indexAt(empty).isValid());
    // Through the window, so that the double-click arrives as the system sends it:
    // press, release, press, double-click, release.
    auto doubleClickAt = [&d, viewport](const QPoint &pos) {
      QTest::mouseDClick(d.windowHandle(), Qt::LeftButton, {}, viewport->mapTo(&d, pos));
    };
    doubleClickAt(empty);
    QVERIFY(d.isVisible());
    QCOMPARE(d.result(), -1);
    QCOMPARE(d.EditHost->text(), QStringLiteral("localhost"));
    d.ListView1DblClick();
    QVERIFY(d.isVisible());
    QCOMPARE(d.EditHost->text(), QStringLiteral("localhost"));

    // A double-click on a row fills the edits from it and closes as if
    // "&Verbinden" had been pressed; the time-out stays.
    doubleClickAt(rowCentre(d, 1));
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QVERIFY(!d.isVisible());
    QCOMPARE(d.EditHost->text(), QStringLiteral("zweiter.example"));
    QCOMPARE(d.EditUser->text(), QStringLiteral("bernd"));
    QCOMPARE(d.EditPass->text(), QString());
    QCOMPARE(d.EditPort->text(), QStringLiteral("3320"));
    QCOMPARE(d.EditTime->text(), QStringLiteral("45"));

    // Through the modal seam, as the main window shows it.
    ModalScript script;
    script.push([](QDialog &dialog) {
      auto &dlg = static_cast<TDialog &>(dialog);
      dlg.ListView1->selectRow(0);
      dlg.ListView1DblClick();
      return dlg.result();
    });
    QCOMPARE(ExecModal(d), int(QDialog::Accepted));
    QCOMPARE(d.EditHost->text(), QStringLiteral("erster.example"));
    QCOMPARE(d.EditPass->text(), QStringLiteral("eins"));

    // A saved host longer than one typed into the edit arrives whole.
    const QString longHost = QStringLiteral("ein-sehr-langer-rechnername-der-mehr-als-"
                                            "sechzig-zeichen-hat.intern.example.org");
    QVERIFY(longHost.size() > 60);
    d.ListView1->items().setCell(0, 0, longHost);
    d.ListView1->selectRow(0);
    d.ListView1DblClick();
    QCOMPARE(d.EditHost->text(), longHost);
    QVERIFY(messages.shown.isEmpty());
  }

  // Without a keyring (the tests' session bus has none) the user says per
  // connection where its password goes; the list never shows it.
  void passwordWithoutKeyring_data() {
    QTest::addColumn<int>("answer"); // to the question where the password goes
    QTest::addColumn<int>("prompt"); // how the prompt at the connect ends; -1: none shows
    QTest::addColumn<QByteArray>("inFile");
    QTest::addColumn<QString>("shown"); // in the "Pass" column
    const int yes = int(MessageAnswer::Yes), no = int(MessageAnswer::No);
    QTest::newRow("in clear text") << yes << -1 << QByteArray("<b>Geh eim</b>") << "gespeichert";
    QTest::newRow("asked at the connect")
        << no << int(QDialog::Accepted) << QByteArray() << "wird erfragt";
    QTest::newRow("asked, and not given")
        << no << int(QDialog::Rejected) << QByteArray() << "wird erfragt";
  }
  void passwordWithoutKeyring() {
    QFETCH(int, answer);
    QFETCH(int, prompt);
    QFETCH(QByteArray, inFile);
    QFETCH(QString, shown);
    const QString password = QStringLiteral("<b>Geh eim</b>");
    MessageRecorder messages;
    messages.answers.push_back(MessageAnswer(answer));
    auto d = std::make_unique<TDialog>();
    d->EditHost->setText(QStringLiteral("db.example"));
    d->EditUser->setText(QStringLiteral("anna"));
    d->EditPass->setText(password);
    d->EditPort->setText(QStringLiteral("3310"));
    d->AddBtn->click();
    const Message question = messages.shown.value(0);
    QVERIFY2(question.buttons == MessageButtons::PlainFileOrAsk &&
                 question.text.startsWith("Das Passwort von „anna@db.example:3310“ kann nicht im "
                                          "Schlüsselbund aufbewahrt werden: kein Schlüsselbund "
                                          "erreichbar"),
             qPrintable(question.text));
    QCOMPARE(readAll(optionsPath()), le32(1) + row("db.example", "anna", inFile, "3310"));

    // The next start says where the password is, never what it is.
    d = std::make_unique<TDialog>();
    QCOMPARE(rowOf(*d, 0)[2], shown);
    QVERIFY(listShows(*d, QStringLiteral("db.example")) && !listShows(*d, password));
    // A double-click connects with it, or asks for it in a masked edit.
    ModalScript script;
    QString label;
    if (prompt >= 0)
      script.push([&](QDialog &dialog) {
        auto *asking = qobject_cast<TPasswordPrompt *>(&dialog);
        if (!asking)
          return int(QDialog::Rejected);
        label = asking->LabelText->text() + QString::number(asking->EditPass->echoMode());
        asking->EditPass->setText(password);
        return prompt;
      });
    d->setResult(-1);
    d->ListView1->selectRow(0);
    d->ListView1DblClick();
    QCOMPARE(label, prompt < 0 ? QString()
                               : "Passwort für „anna@db.example:3310“:" +
                                     QString::number(QLineEdit::Password));
    const bool given = prompt != int(QDialog::Rejected);
    QCOMPARE(d->result(), given ? int(QDialog::Accepted) : -1);
    QCOMPARE(d->EditPass->text(), given ? password : QString());
    QCOMPARE(messages.shown.size(), 1);
  }

  void inPlaceHostEdit() {
    QVERIFY(writeAll(optionsPath(), le32(2) + row("alt.example", "anna", "eins", "3310") +
                                        row("zwei.example", "bernd", "", "3320")));
    MessageRecorder messages;
    TDialog d;
    showAndActivate(d);
    d.setResult(-1);

    // F2 on the selected row edits its host; Enter takes the edit and leaves the dialog open.
    d.ListView1->setFocus();
    d.ListView1->selectRow(0);
    QTest::keyClick(d.ListView1, Qt::Key_F2);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("alt.example"));
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("neu.example"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(d.ListView1->caption(0), QStringLiteral("neu.example"));
    QVERIFY(d.isVisible());
    QCOMPARE(d.result(), -1);
    // The edit is saved at once, so that the next start shows it too.
    QTRY_COMPARE(rowsInFile(optionsPath()).value(0).host, QStringLiteral("neu.example"));
    QCOMPARE(TDialog().ListView1->caption(0), QStringLiteral("neu.example"));

    // Escape in the editor drops the edit and leaves the dialog open.
    QTest::keyClick(d.ListView1, Qt::Key_F2);
    editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("verworfen"));
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_VERIFY(QApplication::focusWidget() == d.ListView1);
    QCOMPARE(d.ListView1->caption(0), QStringLiteral("neu.example"));
    QVERIFY(d.isVisible());
    QCOMPARE(d.result(), -1);

    // The next save ("Löschen" with nothing selected) keeps the edited host.
    d.ListView1->selectionModel()->clearSelection();
    d.DelBtn->click();
    const QList<SavedConnection> inFile = rowsInFile(optionsPath());
    QCOMPARE(inFile.size(), 2);
    QCOMPARE(inFile[0], (SavedConnection{QStringLiteral("neu.example"), QStringLiteral("anna"),
                                         QStringLiteral("eins"), QStringLiteral("3310")}));
    QVERIFY(messages.shown.isEmpty());
    d.reject();
  }

  void failedSaveIsReported() {
    QVERIFY(writeAll(optionsPath(), le32(1) + row("alt.example", "anna", "eins", "3310")));
    const QByteArray old = readAll(optionsPath());
    MessageRecorder messages;
    TDialog d;

    // The disk takes only a few bytes more than the old file holds.
    {
      FileSizeLimit limit(static_cast<rlim_t>(old.size()) + 8);
      d.AddBtn->click();
    }
    QCOMPARE(messages.shown.size(), 1);
    const Message &shown = messages.shown.first();
    QCOMPARE(shown.title, QStringLiteral("VoVID Adizad"));
    QCOMPARE(shown.icon, MessageIcon::Critical);
    // The reason after the file name: what the system said.
    QCOMPARE(shown.text, QStringLiteral("Die gespeicherten Verbindungen konnten nicht in „%1“ "
                                        "geschrieben werden: %2.")
                             .arg(optionsPath(), qt_error_string(EFBIG)));
    // The list keeps the new row, the old file stays whole, nothing half-written remains.
    QCOMPARE(d.ListView1->count(), 2);
    QCOMPARE(readAll(optionsPath()), old);
    QCOMPARE(QDir(m_program).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("options.dat"), QStringLiteral("options.dat.lock")}));

    // Once the disk takes it again, the next save writes both rows.
    messages.clear();
    d.DelBtn->click();
    QVERIFY(messages.shown.isEmpty());
    QCOMPARE(rowsInFile(optionsPath()).size(), 2);
  }

  void fallsBackToConfigDirectory() {
    // Beside a program in a directory this user may not write to, the saved
    // connections live in ~/.config/quellwerk, for saving and for loading.
    QVERIFY(dropPermissionOverrides());
    QVERIFY(setMode(m_program, 0555));
    const bool refuses = refusesNewFiles(m_program);
    const QString path = SavedConnectionsFilePath();
    if (!refuses) {
      setMode(m_program, 0755);
      QSKIP("this process may write to any directory");
    }
    const QString fallback = QuellwerkConfigDirectory() + QStringLiteral("/options.dat");
    QCOMPARE(path, fallback);
    {
      MessageRecorder messages;
      TDialog d;
      d.EditHost->setText(QStringLiteral("rueckfall.example"));
      d.AddBtn->click();
      QVERIFY(messages.shown.isEmpty());
      TDialog again;
      QCOMPARE(hostsOf(again), QStringList{QStringLiteral("rueckfall.example")});
    }
    QVERIFY(!QFile::exists(optionsPath()));
    QCOMPARE(modeOf(fallback), 0600u);

    // When neither place takes the file, the failure is reported and names it;
    // the old file stays whole.
    const QByteArray old = readAll(fallback);
    QVERIFY(setMode(QuellwerkConfigDirectory(), 0555));
    {
      MessageRecorder messages;
      TDialog d;
      d.AddBtn->click();
      QCOMPARE(messages.shown.size(), 1);
      QVERIFY2(messages.shown[0].text.contains(fallback), qPrintable(messages.shown[0].text));
      QCOMPARE(d.ListView1->count(), 2);
    }
    setMode(QuellwerkConfigDirectory(), 0755);
    QCOMPARE(readAll(fallback), old);
    QFile::remove(fallback);

    setMode(m_program, 0755);
  }

  void positionMemory() {
    MessageRecorder messages;
    TDialog d;
    const QString ini = FormStorageFile();
    const QRect screen = d.screen()->availableGeometry();
    const int ppi = currentPixelsPerInch(d);

    // Nothing saved: centred.
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QVERIFY(qAbs(d.frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(d.frameGeometry().center().y() - screen.center().y()) <= 1);

    // Closing writes the section, whichever way the dialog closes.
    auto expectSaved = [&](const QPoint &topLeft) {
      const QSettings settings(ini, QSettings::IniFormat);
      QCOMPARE(settings.value(QStringLiteral("TDialog/FormVersion")).toString(),
               QStringLiteral("0"));
      QCOMPARE(settings.value(QStringLiteral("TDialog/Flags")).toString(), QStringLiteral("0"));
      QCOMPARE(settings.value(QStringLiteral("TDialog/ShowCmd")).toString(), QStringLiteral("1"));
      QCOMPARE(settings.value(QStringLiteral("TDialog/PixelsPerInch")).toInt(), ppi);
      QCOMPARE(settings.value(QStringLiteral("TDialog/MinMaxPos")).toString(),
               QStringLiteral("-1,-1,-1,-1"));
      QCOMPARE(settings.value(QStringLiteral("TDialog/NormPos")).toString(),
               QStringLiteral("%1,%2,%3,%4")
                   .arg(topLeft.x())
                   .arg(topLeft.y())
                   .arg(topLeft.x() + d.frameGeometry().width())
                   .arg(topLeft.y() + d.frameGeometry().height()));
      QCOMPARE(settings.value(QStringLiteral("TDialog/Visible")).toString(), QStringLiteral("0"));
    };
    d.move(30, 40);
    d.reject();
    expectSaved(QPoint(30, 40));
    QVERIFY(readAll(ini).contains("[TDialog]"));

    // Shown again: at the saved place.
    d.show();
    QCOMPARE(d.frameGeometry().topLeft(), QPoint(30, 40));
    d.move(50, 60);
    d.accept();
    expectSaved(QPoint(50, 60));
    d.show();
    QCOMPARE(d.frameGeometry().topLeft(), QPoint(50, 60));
    d.move(70, 80);
    d.close();
    expectSaved(QPoint(70, 80));

    // Saved at the same pixels per inch by an earlier run: that place.
    auto writeSection = [&](int pixelsPerInch, const QString &normPos) {
      QFile::remove(ini);
      QSettings settings(ini, QSettings::IniFormat);
      settings.setValue(QStringLiteral("TDialog/PixelsPerInch"), pixelsPerInch);
      settings.setValue(QStringLiteral("TDialog/NormPos"), normPos);
    };
    writeSection(ppi, QStringLiteral("12,34,435,358"));
    TDialog next;
    next.show();
    QCOMPARE(next.frameGeometry().topLeft(), QPoint(12, 34));
    next.reject();

    // Another pixels per inch, a damaged rectangle, or a place off every screen: centred.
    const QStringList elsewhere{QStringLiteral("12,34"), QStringLiteral("a,b,c,d"),
                                QStringLiteral("5000,5000,5423,5324"),
                                QStringLiteral("-2147483648,0,2147483647,100")};
    for (int pixelsPerInch : {ppi + 24, ppi}) {
      for (const QString &normPos : elsewhere) {
        writeSection(pixelsPerInch,
                     pixelsPerInch == ppi ? normPos : QStringLiteral("12,34,435,358"));
        TDialog other;
        other.show();
        QVERIFY2(qAbs(other.frameGeometry().center().x() - screen.center().x()) <= 1,
                 qPrintable(normPos));
        QVERIFY2(qAbs(other.frameGeometry().center().y() - screen.center().y()) <= 1,
                 qPrintable(normPos));
        other.reject();
      }
    }
    QVERIFY(messages.shown.isEmpty());
  }
};

QTEST_MAIN(ConnectionDialogTest)
#include "tst_connectiondialog.moc"
