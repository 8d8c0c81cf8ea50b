// The main window without a server: layout, enabling rules, keys, the
// handler edge, the information dialog, and the real message box.
#include "about/AboutBoxUnit.h"
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "connection/verbindungFUnit.h"
#include "fields/EditFieldFUnit.h"
#include "schema/NeueDBFUnit.h"
#include "schema/NewTableFUnit.h"
#include "schema/RenameTableFUnit.h"
#include "tests/support/TestSupport.h"

#include <QDate>
#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>

class MainWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TMainForm> form;

  QList<BitBtnXP *> lowerButtons() const {
    return {form->NewDBBtn,       form->DropDBBtn,   form->NewTableBtn, form->DelTableBtn,
            form->TableRenameBtn, form->NewFieldBtn, form->DelFieldBtn, form->ChangeFieldBnt};
  }
  QList<bool> lowerEnabled() const {
    QList<bool> states;
    for (BitBtnXP *b : lowerButtons())
      states << b->isEnabled();
    return states;
  }
  static void fill(ReportListView *list, int rows) {
    for (int i = 0; i < rows; ++i)
      list->items().appendRow(QStringLiteral("r%1").arg(i), QStringLiteral("t"));
  }
  // Pretends to be connected with a handle that was never connected.
  void fakeConnected() {
    form->Session->PretendConnectedForTests();
    form->connectbtn->setEnabled(false);
    form->cancelbtn->setEnabled(true);
  }

private slots:
  void initTestCase() {
    LoadRealClientLibrary();
    InstallGermanTranslations();
  }
  void init() { form = OpenMainForm(false); }
  void cleanup() { CloseMainForm(form); }
  void cleanupTestCase() { ReleaseClientLibrary(); }

  // At start the main window comes alone; the other forms follow, in their
  // order, right after its first paint, or before anything else is handled
  // when that comes first.
  void dialogsFollowTheFirstPaint_data() {
    QTest::addColumn<bool>("keyFirst");
    QTest::newRow("the first paint") << false;
    QTest::newRow("a key before it") << true;
  }
  void dialogsFollowTheFirstPaint() {
    QFETCH(bool, keyFirst);
    CloseMainForm(form);
    form = ShowMainFormFirst();
    QVERIFY(form->isVisible());
    QVERIFY(!form->Dialog && !form->AboutBox);
    if (keyFirst) {
      // What the main window finds when the key reaches it.
      struct KeyWatch : QObject {
        TMainForm &form;
        bool dialogsThere = false;
        explicit KeyWatch(TMainForm &f) : form(f) {}
        bool eventFilter(QObject *, QEvent *event) override {
          if (event->type() == QEvent::KeyPress)
            dialogsThere = form.AboutBox != nullptr;
          return false;
        }
      } watch(*form);
      form->installEventFilter(&watch);
      QTest::keyClick(form.get(), Qt::Key_Shift);
      form->removeEventFilter(&watch);
      QVERIFY(watch.dialogsThere);
    } else {
      QVERIFY(QTest::qWaitForWindowExposed(form.get()));
      QTRY_VERIFY(form->AboutBox);
    }
    QList<QObject *> dialogs;
    for (QObject *child : form->children())
      if (qobject_cast<QDialog *>(child))
        dialogs << child;
    QCOMPARE(dialogs, (QList<QObject *>{form->Dialog, form->NewDBForm, form->RenameTableForm,
                                        form->NewTableForm, form->EditFieldForm, form->AboutBox}));
  }

  // The buttons' captions, kinds and first state (rule R1), the lists' ways,
  // and the tab order. That nothing is cut or overlaps is the screenshot
  // test's to check.
  void layout() {
    QCOMPARE(form->windowTitle(), QStringLiteral("Quellwerk 1.0"));
    QCOMPARE(form->minimumSize(), QSize(320, 240));
    QVERIFY(form->Dialog && form->AboutBox);
    using K = BitBtnXP::Kind;
    const QList<std::tuple<BitBtnXP *, const char *, K, bool>> expected{
        {form->connectbtn, "Verbinden...", K::Ok, true},
        {form->cancelbtn, "Trennen", K::Cancel, false},
        {form->EndeBtn, "Ende", K::Cancel, true},
        {form->AboutBtn, "Über...", K::Custom, true},
        {form->NewDBBtn, "Neue Datenbank...", K::All, true},
        {form->DropDBBtn, "Datenbank löschen...", K::Cancel, false},
        {form->NewTableBtn, "Neue Tabelle...", K::All, false},
        {form->DelTableBtn, "Tabelle löschen...", K::Cancel, false},
        {form->TableRenameBtn, "Tabelle umbenennen...", K::Custom, false},
        {form->NewFieldBtn, "Neue Feld...", K::All, false},
        {form->DelFieldBtn, "Feld löschen...", K::Cancel, false},
        {form->ChangeFieldBnt, "Feld ändern...", K::Custom, false}};
    for (const auto &[button, caption, kind, enabled] : expected) {
      QCOMPARE(button->text(), QString::fromUtf8(caption));
      QCOMPARE(button->kind(), kind);
      QCOMPARE(button->isEnabled(), enabled);
      QVERIFY(!button->icon().isNull());
    }
    QVERIFY(form->TableRenameBtn->hasCancelRole() && form->ChangeFieldBnt->hasCancelRole());
    for (ReportListView *l : {form->ListView1, form->ListView2, form->ListView3}) {
      QCOMPARE(l->selectionMode(), QAbstractItemView::SingleSelection);
      QCOMPARE(l->selectionBehavior(), QAbstractItemView::SelectRows);
      QCOMPARE(l->editTriggers(), QAbstractItemView::NoEditTriggers);
      QCOMPARE(l->count(), 0);
      QVERIFY(!l->accessibleName().isEmpty());
    }

    // Tab order: upper panel, database and table lists, lower panel, field list.
    const QList<QWidget *> order{form->connectbtn,  form->cancelbtn,      form->EndeBtn,
                                 form->AboutBtn,    form->ListView1,      form->ListView2,
                                 form->NewDBBtn,    form->DropDBBtn,      form->NewTableBtn,
                                 form->DelTableBtn, form->TableRenameBtn, form->NewFieldBtn,
                                 form->DelFieldBtn, form->ChangeFieldBnt, form->ListView3};
    for (int i = 0; i + 1 < order.size(); ++i) {
      QWidget *next = order[i]->nextInFocusChain();
      while (next->focusPolicy() == Qt::NoFocus || !order.contains(next))
        next = next->nextInFocusChain();
      QCOMPARE(next, order[i + 1]);
    }
  }

  void enablingRules() {
    // R4: a selection in the database list enables drop database and new table.
    fill(form->ListView1, 3);
    fill(form->ListView2, 3);
    fill(form->ListView3, 3);
    QCOMPARE(lowerEnabled(), (QList<bool>{true, false, false, false, false, false, false, false}));
    form->ListView1->selectRow(1);
    QCOMPARE(lowerEnabled(), (QList<bool>{true, true, true, false, false, false, false, false}));

    // R5: table buttons need both selections.
    form->ListView2->selectRow(0);
    QCOMPARE(lowerEnabled(), (QList<bool>{true, true, true, true, true, true, false, false}));
    // R6.
    form->ListView3->selectRow(2);
    QCOMPARE(lowerEnabled(), (QList<bool>{true, true, true, true, true, true, true, true}));

    // Emptying or refilling is not a change notification: the buttons keep their state.
    form->ListView3->clear();
    form->ListView2->clear();
    form->ListView1->beginUpdate();
    form->ListView1->clear();
    fill(form->ListView1, 2);
    form->ListView1->endUpdate();
    QVERIFY(!form->ListView1->hasSelection());
    QCOMPARE(lowerEnabled(), (QList<bool>{true, true, true, true, true, true, true, true}));

    // A table selected without a database: R5 disables.
    fill(form->ListView2, 2);
    form->ListView2->selectRow(1);
    QCOMPARE(lowerEnabled(), (QList<bool>{true, true, true, false, false, false, true, true}));

    // A click into the empty part of the database list deselects: R4 disables,
    // the other lists keep their contents.
    form->ListView1->selectRow(0);
    QVERIFY(form->DropDBBtn->isEnabled());
    QWidget *viewport = form->ListView1->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(20, viewport->height() - 5));
    QVERIFY(!form->ListView1->hasSelection());
    QVERIFY(!form->DropDBBtn->isEnabled() && !form->NewTableBtn->isEnabled());
    QCOMPARE(form->ListView2->count(), 2);

    // "Neue Datenbank..." is never disabled.
    QVERIFY(form->NewDBBtn->isEnabled());

    // A refill with as many rows but other texts shows them and drops the
    // selection as quietly as one with another number of rows.
    form->ListView1->selectRow(1);
    const QList<bool> selected = lowerEnabled();
    form->ListView1->beginUpdate();
    form->ListView1->clear();
    form->ListView1->items().appendRow(QStringLiteral("andere"));
    form->ListView1->items().appendRow(QStringLiteral("neue"));
    form->ListView1->endUpdate();
    QVERIFY(!form->ListView1->hasSelection());
    QCOMPARE(lowerEnabled(), selected);
    QCOMPARE(form->ListView1->model()->index(1, 0).data().toString(), QStringLiteral("neue"));
  }

  void disconnectKeepsLowerButtons() {
    fakeConnected();
    fill(form->ListView1, 2);
    fill(form->ListView2, 2);
    fill(form->ListView3, 2);
    form->ListView1->selectRow(0);
    form->ListView2->selectRow(0);
    form->ListView3->selectRow(0);
    const QList<bool> before = lowerEnabled();
    form->cancelbtn->click();
    QVERIFY(form->connectbtn->isEnabled());
    QVERIFY(!form->cancelbtn->isEnabled());
    QVERIFY(!form->Session->connected());
    QCOMPARE(form->ListView1->count() + form->ListView2->count() + form->ListView3->count(), 0);
    QCOMPARE(lowerEnabled(), before);
  }

  void keys() {
    // Escape while connected disconnects.
    fakeConnected();
    QTest::keyClick(form->ListView1, Qt::Key_Escape);
    QVERIFY(form->connectbtn->isEnabled());
    QVERIFY(form->isVisible());

    // Enter clicks "Verbinden..."; cancelling the dialog ends the program.
    {
      ModalScript script;
      QDialog *shown = nullptr;
      script.push([&](QDialog &d) {
        shown = &d;
        return int(QDialog::Rejected);
      });
      form->ListView2->setFocus();
      QTest::keyClick(form->ListView2, Qt::Key_Return);
      QCOMPARE(shown, static_cast<QDialog *>(form->Dialog));
      QVERIFY(!form->isVisible());
    }

    // Escape while not connected ends the program.
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QTest::keyClick(form->ListView3, Qt::Key_Escape);
    QVERIFY(!form->isVisible());

    // Enter with the focus on a button clicks that button, not "Verbinden...".
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    ModalScript script;
    script.push([](QDialog &) { return int(QDialog::Accepted); });
    form->AboutBtn->setFocus();
    QTest::keyClick(form->AboutBtn, Qt::Key_Return);
    QCOMPARE(script.shownCount, 1);
    QVERIFY(form->isVisible());
  }

  void endAndCloseBox() {
    form->EndeBtn->click();
    QVERIFY(!form->isVisible());
    // Closing while connected disconnects first.
    form->show();
    fakeConnected();
    form->close();
    QVERIFY(form->connectbtn->isEnabled());
    QVERIFY(!form->Session->connected());
  }

  void escapedErrorsAreShownAndTheProgramGoesOn() {
    MessageRecorder messages;
    RunHandler(form.get(), [] { throw std::runtime_error("Kaputt"); });
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].text, QStringLiteral("Kaputt."));
    QCOMPARE(messages.shown[0].title, QStringLiteral("VoVID Adizad"));
    QCOMPARE(messages.shown[0].icon, MessageIcon::Critical);
    QCOMPARE(messages.shown[0].buttons, MessageButtons::Ok);

    // Without a client library a connect attempt names the library and fails cleanly.
    ReleaseClientLibrary();
    ModalScript script;
    script.push([](QDialog &) { return int(QDialog::Accepted); });
    form->connectbtn->click();
    LoadRealClientLibrary();
    QCOMPARE(messages.shown.size(), 2);
    QCOMPARE(messages.shown[1].text,
             QStringLiteral("Die Client-Bibliothek „libmariadb.so.3“ ist nicht geladen."));
    QVERIFY(form->connectbtn->isEnabled());
    QVERIFY(form->isVisible());
  }

  void aboutBox() {
    ModalScript script;
    QDialog *shown = nullptr;
    script.push([&](QDialog &d) {
      shown = &d;
      return int(QDialog::Accepted);
    });
    form->AboutBtn->click();
    QCOMPARE(shown, static_cast<QDialog *>(form->AboutBox));
    QCOMPARE(form->AboutBox->windowTitle(), QStringLiteral("Info"));
    QCOMPARE(form->AboutBox->ProductName->text(), QStringLiteral("Quellwerk 1.0"));
    QVERIFY(
        form->AboutBox->Copyright->text().contains(QString::number(QDate::currentDate().year())));
    QVERIFY(!form->AboutBox->ProgramIcon->pixmap().isNull());
    // The program's own icon, on every window: one picture, of the size the
    // information dialog shows it.
    QCOMPARE(form->windowIcon().availableSizes(), QList<QSize>{QSize(48, 48)});
    QCOMPARE(form->AboutBox->ProgramIcon->pixmap().size(), QSize(48, 48));
    QCOMPARE(form->Dialog->windowIcon().cacheKey(), form->windowIcon().cacheKey());
    QVERIFY(TAboutBox::WebAddress().isValid());
    QVERIFY(TAboutBox::WebAddress().scheme().startsWith(QLatin1String("http")));
  }

  // A cell whose text its column cuts short shows the whole text as its
  // tooltip, as plain text; a cell that fits shows none.
  void tooltipsOfElidedCells_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("elided");
    QTest::newRow("fits") << 0 << "kunden" << false;
    QTest::newRow("long name") << 0 << "bestellpositionen_mit_rabatt_und_lieferadresse" << true;
    QTest::newRow("markup") << 0 << "<img src=gibts-nicht.png> und <b>fett</b> &amp;  zwei" << true;
    QTest::newRow("entity") << 0 << "Müller &amp; Söhne, Niederlassung Süd, Lager 7" << true;
    QTest::newRow("type") << 1 << "VAR STRING (4294967295,31) PRIMARY UNIQUE KEY" << true;
  }
  void tooltipsOfElidedCells() {
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(bool, elided);
    ReportListView *list = form->ListView3;
    list->items().appendRow(column == 0 ? text : QStringLiteral("id"), column == 1 ? text : "");
    const QRect cell = list->visualRect(list->model()->index(0, column));
    QHelpEvent help(QEvent::ToolTip, cell.center(), list->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(list->viewport(), &help);
    if (!elided) {
      QTRY_VERIFY(!QToolTip::isVisible());
      return;
    }
    QVERIFY(QToolTip::isVisible());
    // What the tooltip's label shows: its text, or what the text says as rich text.
    QString shown = QToolTip::text();
    if (Qt::mightBeRichText(shown)) {
      QTextDocument document;
      document.setHtml(shown);
      shown = document.toPlainText();
    }
    QCOMPARE(shown, text);
    // On one line: a name is not broken at its "/" or "<".
    for (QWidget *tip : QApplication::topLevelWidgets())
      if (tip->inherits("QTipLabel") && tip->isVisible())
        QVERIFY(tip->height() < 2 * tip->fontMetrics().lineSpacing());
    QToolTip::hideText();
  }

  // The real message box, with Qt's own buttons in German.
  void realMessageBox() {
    const auto realBoxes = qScopeGuard(
        [failing = SetMessageHandler({})]() mutable { SetMessageHandler(std::move(failing)); });
    QStringList buttonTexts;
    QString title, text;
    QTimer::singleShot(0, [&] {
      auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
      QVERIFY(box);
      title = box->windowTitle();
      text = box->text();
      for (QAbstractButton *b : box->buttons())
        buttonTexts << b->text().remove(QLatin1Char('&'));
      QCOMPARE(box->icon(), QMessageBox::Question);
      QCOMPARE(box->defaultButton(), box->button(QMessageBox::Yes));
      box->button(QMessageBox::No)->click();
    });
    const MessageAnswer answer =
        ShowMessage(form.get(), QStringLiteral("Wirklich?"), QStringLiteral("Frage"),
                    MessageButtons::YesNoCancel, MessageIcon::Question);
    QCOMPARE(answer, MessageAnswer::No);
    QCOMPARE(title, QStringLiteral("Frage"));
    QCOMPARE(text, QStringLiteral("Wirklich?"));
    buttonTexts.sort();
    QCOMPARE(buttonTexts, (QStringList{"Abbrechen", "Ja", "Nein"}));

    // A name is never read as markup.
    const QString markup = QStringLiteral("<img src=/dev/zero><h1>orders</h1><!--");
    QTimer::singleShot(0, [&] {
      auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
      QVERIFY(box);
      QCOMPARE(box->textFormat(), Qt::PlainText);
      QCOMPARE(box->text(), markup);
      QCOMPARE(box->buttons().size(), 1);
      QCOMPARE(box->buttons()[0]->text(), QStringLiteral("OK"));
      QCOMPARE(box->icon(), QMessageBox::NoIcon);
      QTest::keyClick(box, Qt::Key_Escape);
    });
    QCOMPARE(ShowMessage(form.get(), markup), MessageAnswer::Ok);
  }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
