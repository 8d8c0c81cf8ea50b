// Renders every form as a user meets it into PNG files for the documentation:
// the main window connected to the test server with all three lists filled,
// the connection dialog with saved connections and its TLS settings, the
// new-database and rename dialogs, the new-table designer with field rows,
// the field editor, the information dialog, and each tab of a structure
// window with its two dialogs. The pictures go into $QW_SCREENSHOT_DIR, or
// into the build folder (QW_SCREENSHOT_DEFAULT_DIR) when that is not set.
//
// Besides writing the pictures, the test checks what would spoil them: every
// label, button and box shows its whole text, and no two controls of a form
// overlap.
#include "about/AboutBoxUnit.h"
#include "app/Forms.h"
#include "app/mysql_test_main.h"
#include "clientlib/ServerSession.h"
#include "common/WaitWindow.h"
#include "compare/CompareCommand.h"
#include "connection/PasswordPrompt.h"
#include "connection/PasswordStore.h"
#include "connection/SavedConnections.h"
#include "connection/SshDialog.h"
#include "connection/TlsDialog.h"
#include "connection/verbindungFUnit.h"
#include "fields/EditFieldFUnit.h"
#include "schema/NeueDBFUnit.h"
#include "schema/NewTableFUnit.h"
#include "schema/RenameTableFUnit.h"
#include "sqlfile/ExportForm.h"
#include "sqlfile/ProgressWindow.h"
#include "ssh/SshPromptDialog.h"
#include "structure/StructureForm.h"
#include "tests/support/TestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyleOptionFrame>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {

const QString Db = QStringLiteral("laden");

QString outputDirectory() {
  const QString dir = qEnvironmentVariable("QW_SCREENSHOT_DIR");
  return dir.isEmpty() ? QStringLiteral(QW_SCREENSHOT_DEFAULT_DIR) : dir;
}

FieldRow rowOf(std::initializer_list<QString> cells) {
  FieldRow row;
  std::size_t i = 0;
  for (const QString &cell : cells)
    row[i++] = cell;
  return row;
}

// The texts that a control cannot show whole in its present size.
QStringList clippedTexts(const QWidget &form) {
  QStringList clipped;
  for (const QLabel *label : form.findChildren<QLabel *>()) {
    if (!label->isVisible() || label->text().isEmpty() || !label->pixmap().isNull() ||
        label->wordWrap())
      continue;
    const QSize need = label->fontMetrics().size(Qt::TextShowMnemonic, label->text());
    const QRect room = label->contentsRect();
    if (need.width() > room.width() || need.height() > room.height())
      clipped << label->objectName() + QStringLiteral(" „") + label->text() + QStringLiteral("“");
  }
  // A text that the program shows read-only must fit its box.
  for (const QLineEdit *edit : form.findChildren<QLineEdit *>()) {
    if (!edit->isVisible() || !edit->isReadOnly() || edit->text().isEmpty())
      continue;
    QStyleOptionFrame option;
    option.initFrom(edit);
    const QRect room = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    if (edit->fontMetrics().horizontalAdvance(edit->text()) + 4 > room.width())
      clipped << edit->accessibleName() + QStringLiteral(" „") + edit->text() + QStringLiteral("“");
  }
  for (const QAbstractButton *button : form.findChildren<QAbstractButton *>()) {
    if (!button->isVisible() || button->text().isEmpty())
      continue;
    if (button->sizeHint().width() > button->width() ||
        button->sizeHint().height() > button->height())
      clipped << button->objectName() + QStringLiteral(" „") + button->text() + QStringLiteral("“");
  }
  return clipped;
}

// Pairs of visible controls of the same parent whose rectangles overlap.
QStringList overlaps(const QWidget &form) {
  QStringList found;
  QList<const QWidget *> parents{&form};
  for (const QWidget *child : form.findChildren<QWidget *>())
    parents << child;
  for (const QWidget *parent : parents) {
    QList<const QWidget *> controls;
    for (const QObject *object : parent->children()) {
      const auto *widget = qobject_cast<const QWidget *>(object);
      if (widget && widget->isVisible() && !widget->isWindow() &&
          (qobject_cast<const QLabel *>(widget) || qobject_cast<const QAbstractButton *>(widget) ||
           qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QComboBox *>(widget)))
        controls << widget;
    }
    for (qsizetype i = 0; i < controls.size(); ++i)
      for (qsizetype j = i + 1; j < controls.size(); ++j)
        if (controls[i]->geometry().intersects(controls[j]->geometry()))
          found << controls[i]->objectName() + QStringLiteral(" / ") + controls[j]->objectName();
  }
  return found;
}

// A call that runs for as long as a window that waits for it is looked at.
struct RunningCall : PendingCall {
  bool finished() const override { return false; }
  void wait() override {}
  bool waitFor(std::chrono::milliseconds) override { return false; }
  bool notifyWhenFinished(std::function<void()>) override { return true; }
  void cancel() override {}
  bool cancelRequested() const override { return false; }
};

} // namespace

class ScreenshotTest : public QObject {
  Q_OBJECT

  QTemporaryDir m_home;
  QDir m_out;
  std::unique_ptr<TMainForm> form;
  std::unique_ptr<AdminConnection> admin;

  // Shows a form, checks it and writes it as <name>.png.
  void capture(QWidget &widget, const QString &name) {
    if (!widget.isVisible()) {
      widget.show();
      QVERIFY(QTest::qWaitForWindowExposed(&widget));
    }
    QCoreApplication::processEvents();
    const QStringList clipped = clippedTexts(widget);
    QVERIFY2(clipped.isEmpty(), qPrintable(name + QStringLiteral(": ") + clipped.join(", ")));
    const QStringList overlapping = overlaps(widget);
    QVERIFY2(overlapping.isEmpty(),
             qPrintable(name + QStringLiteral(": ") + overlapping.join(", ")));
    const QString path = m_out.filePath(name + QStringLiteral(".png"));
    QVERIFY2(widget.grab().save(path, "PNG"), qPrintable(path));
  }

private slots:
  void initTestCase() {
    QVERIFY(m_home.isValid());
    // Settings and saved connections go to the test's own home.
    qputenv("HOME", QFile::encodeName(m_home.path()));
    QStandardPaths::setTestModeEnabled(true);
    const QString program = m_home.filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkpath(program));
    SetSavedConnectionsProgramDirectory(program);
    QString reason;
    QVERIFY2(WriteSavedConnectionsFile(SavedConnectionsFilePath(),
                                       {{QStringLiteral("localhost"), QStringLiteral("root"),
                                         QString(), QStringLiteral("3306")},
                                        {QStringLiteral("db.firma.local"), QStringLiteral("lager"),
                                         QStringLiteral("Kiefer7"), QStringLiteral("3306")},
                                        {QStringLiteral("192.168.10.20"), QStringLiteral("jürgen"),
                                         QString(), QStringLiteral("3307")}},
                                       &reason),
             qPrintable(reason));
    // The last one's password is in the keyring, so the list says so.
    StorePasswordPlace({QStringLiteral("192.168.10.20"), 3307, QStringLiteral("jürgen")},
                       PasswordPlace::Keyring);

    QVERIFY(QDir().mkpath(outputDirectory()));
    m_out = QDir(outputDirectory());
    InstallGermanTranslations();
    LoadRealClientLibrary();
    form = CreateForms();
  }

  void cleanupTestCase() {
    CloseMainForm(form);
    if (admin)
      admin->dropDatabase(Db);
  }

  void mainWindow() {
    QW_REQUIRE_SERVER();
    admin = std::make_unique<AdminConnection>();
    admin->dropDatabase(Db);
    admin->exec(QStringLiteral("CREATE DATABASE `laden` CHARACTER SET utf8mb4"));
    admin->exec(QStringLiteral(
        "CREATE TABLE `laden`.`kunden` (`kundennr` INT UNSIGNED NOT NULL AUTO_INCREMENT "
        "PRIMARY KEY, `name` VARCHAR(60) NOT NULL, `straße` VARCHAR(80), `plz` CHAR(5), "
        "`ort` VARCHAR(40), `geändert_am` DATETIME, UNIQUE KEY (`name`, `plz`), KEY (`ort`))"));
    admin->exec(QStringLiteral(
        "CREATE TABLE `laden`.`artikel` (`artikelnr` INT UNSIGNED NOT NULL AUTO_INCREMENT "
        "PRIMARY KEY, `bezeichnung` VARCHAR(80) NOT NULL, `größe` VARCHAR(10), "
        "`preis` DECIMAL(10,2) NOT NULL DEFAULT 0.00, `gewicht_kg` FLOAT)"));
    admin->exec(QStringLiteral(
        "CREATE TABLE `laden`.`bestellungen` (`bestellnr` INT UNSIGNED NOT NULL AUTO_INCREMENT "
        "PRIMARY KEY, `kundennr` INT UNSIGNED NOT NULL, `bestellt_am` DATE NOT NULL, "
        "`bemerkung` TEXT COMMENT 'vom Kunden, wie eingegeben', KEY (`kundennr`), "
        "CONSTRAINT `bestellt_von` FOREIGN KEY (`kundennr`) REFERENCES `kunden` (`kundennr`)) "
        "COMMENT 'Eine Zeile je Bestellung'"));
    admin->exec(QStringLiteral(
        "CREATE TABLE `laden`.`bestellpositionen` (`bestellnr` INT UNSIGNED NOT NULL, "
        "`position` TINYINT UNSIGNED NOT NULL, `artikelnr` INT UNSIGNED NOT NULL, "
        "`menge` SMALLINT UNSIGNED NOT NULL DEFAULT 1, PRIMARY KEY (`bestellnr`, `position`), "
        "CONSTRAINT `gehört_zu` FOREIGN KEY (`bestellnr`) REFERENCES `bestellungen` (`bestellnr`) "
        "ON DELETE CASCADE)"));

    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    ConnectTo(*form);
    QVERIFY(form->connected());
    const int db = static_cast<int>(Captions(form->ListView1).indexOf(Db));
    QVERIFY(db >= 0);
    ClickRow(form->ListView1, db);
    const int table = static_cast<int>(Captions(form->ListView2).indexOf(QStringLiteral("kunden")));
    QVERIFY(table >= 0);
    ClickRow(form->ListView2, table);
    QCOMPARE(form->ListView3->count(), 6);
    form->ListView3->selectRow(1);
    capture(*form, QStringLiteral("main-window"));
  }

  // The structure window of a table with keys in both directions, one picture a tab.
  void structureWindow() {
    QW_REQUIRE_SERVER();
    ClickCaption(form->ListView2, QStringLiteral("bestellungen"));
    form->ShowStructure();
    TStructureForm *w = form->Structures->Find(Db, QStringLiteral("bestellungen"));
    QVERIFY(w);
    const char *names[] = {"structure-fields", "structure-indexes", "structure-foreign-keys",
                           "structure-table", "structure-create-table"};
    QCOMPARE(w->Tabs->count(), int(std::size(names)));
    w->FieldList->setCurrentItem(w->FieldList->topLevelItem(3));
    for (int tab = 0; tab < w->Tabs->count(); ++tab) {
      w->Tabs->setCurrentIndex(tab);
      capture(*w, QLatin1String(names[tab]));
    }
    // Its dialogs, as they open: the column editor on a column, a new index
    // and foreign key, and the table's options.
    ModalScript modal;
    for (const char *name : {"column-editor", "new-index", "new-foreign-key", "table-options"})
      modal.push([&, name](QDialog &d) {
        capture(d, QLatin1String(name));
        d.hide();
        return int(QDialog::Rejected);
      });
    w->EditColumnBtn->click();
    w->NewIndexBtn->click();
    w->NewForeignKeyBtn->click();
    w->ChangeTableBtn->click();
    QCOMPARE(modal.shownCount, 4);
    w->close();
  }

  // Comparing the demo database with a test copy that drifted apart: the
  // choice of the other database, then the result.
  void compareWindow() {
    QW_REQUIRE_SERVER();
    const QString copy = QStringLiteral("laden_test");
    admin->dropDatabase(copy);
    admin->exec(QStringLiteral("CREATE DATABASE `laden_test` CHARACTER SET utf8mb4"));
    for (const QString &table : admin->tables(Db))
      admin->exec(
          QStringLiteral("CREATE TABLE `laden_test`.%1 LIKE `laden`.%1").arg(QuoteName(table)));
    admin->exec(QStringLiteral("ALTER TABLE `laden_test`.`kunden` MODIFY `name` VARCHAR(40) NOT "
                               "NULL, ADD `telefon` VARCHAR(30), DROP KEY `ort`"));
    admin->exec(QStringLiteral("ALTER TABLE `laden_test`.`artikel` MODIFY `preis` DECIMAL(8,2) "
                               "NOT NULL DEFAULT 0.00 COMMENT 'netto'"));
    admin->exec(QStringLiteral("CREATE TABLE `laden_test`.`notizen` (`nr` INT PRIMARY KEY)"));
    ClickCaption(form->ListView1, Db);
    ModalScript modal;
    modal.push([&](QDialog &d) {
      auto &source = static_cast<TCompareSourceForm &>(d);
      const auto found = source.DatabaseList->findItems(copy, Qt::MatchExactly);
      if (!found.isEmpty())
        source.DatabaseList->setCurrentItem(found.first());
      capture(d, QStringLiteral("compare-source"));
      source.Sources->setCurrentIndex(1);
      source.ConnectionList->setCurrentItem(source.ConnectionList->topLevelItem(1));
      capture(d, QStringLiteral("compare-source-connection"));
      source.Sources->setCurrentIndex(2);
      source.FileEd->setText(QStringLiteral("/home/jürgen/schema/laden-2.4.sql"));
      capture(d, QStringLiteral("compare-source-file"));
      source.Sources->setCurrentIndex(0);
      d.hide();
      return int(QDialog::Accepted);
    });
    modal.push([&](QDialog &d) {
      capture(d, QStringLiteral("compare"));
      d.hide();
      return int(QDialog::Rejected);
    });
    form->CompareDatabase();
    QCOMPARE(modal.shownCount, 2);
    admin->dropDatabase(copy);
  }

  void connectionDialog() {
    TDialog &d = *form->Dialog;
    QCOMPARE(d.ListView1->count(), 3);
    d.EditHost->setText(QStringLiteral("localhost"));
    d.EditPort->setText(QStringLiteral("3306"));
    d.EditUser->setText(QStringLiteral("root"));
    d.ListView1->selectRow(0);
    capture(d, QStringLiteral("connection-dialog"));
    d.hide();
  }

  void passwordPrompt() {
    TPasswordPrompt prompt(form->Dialog);
    const ConnectionKey key{QStringLiteral("db.firma.local"), 3306, QStringLiteral("lager")};
    prompt.Fill(
        key,
        QStringLiteral("Das Passwort von „%1“ ist nicht im Schlüsselbund.").arg(key.caption()));
    prompt.EditPass->setText(QStringLiteral("Kiefer7"));
    capture(prompt, QStringLiteral("password-prompt"));
  }

  void tlsDialog() {
    TTlsDialog &t = form->Dialog->TlsForm();
    t.Fill(QStringLiteral("lager@db.firma.local:3306"),
           {true,
            TlsSettings::Check::Fingerprint,
            {},
            QStringLiteral("3F:3D:C1:7E:19:16:59:9D:E2:EF:C8:F9:2A:3D:B5:E9:12:1C:42:6D:63:63:38:"
                           "DC:D3:DC:38:A7:67:3A:00:93"),
            QStringLiteral("BB"),
            false});
    capture(t, QStringLiteral("tls-dialog"));
    t.hide();
  }

  void sshDialog() {
    TSshDialog &t = form->Dialog->SshForm();
    t.Fill(QStringLiteral("lager@db.firma.local:3306"),
           {true, QStringLiteral("bastion"), QString(), 0, QStringLiteral("~/.ssh/id_ed25519")});
    capture(t, QStringLiteral("ssh-dialog"));
    t.hide();
    TSshPromptDialog prompt(form.get());
    prompt.Fill(QStringLiteral("Passphrase für den SSH-Schlüssel „/home/jürgen/.ssh/id_ed25519“:"));
    capture(prompt, QStringLiteral("ssh-passphrase"));
  }

  void newDatabaseDialog() {
    TNewDBForm &d = *form->NewDBForm;
    d.DBNameEd->setText(QStringLiteral("lager_2025"));
    capture(d, QStringLiteral("new-database"));
    d.hide();
  }

  void renameTableDialog() {
    TRenameTableForm &d = *form->RenameTableForm;
    d.TableNameEd->setText(QStringLiteral("kunden_archiv"));
    capture(d, QStringLiteral("rename-table"));
    d.hide();
  }

  void newTableDesigner() {
    TNewTableForm &d = *form->NewTableForm;
    d.Clear();
    d.TableNameEd->setText(QStringLiteral("lieferanten"));
    const QString ja = FlagYes, nein = FlagNo;
    d.AppendFieldRow(rowOf({QStringLiteral("lieferantennr"), QStringLiteral("INT"), QString(),
                            QString(), QString(), nein, ja, ja, nein, nein, ja, nein, nein}));
    d.AppendFieldRow(
        rowOf({QStringLiteral("firma"), QStringLiteral("VARCHAR"), QStringLiteral("80"), QString(),
               QString(), nein, nein, nein, nein, nein, nein, ja, nein}));
    d.AppendFieldRow(
        rowOf({QStringLiteral("straße"), QStringLiteral("VARCHAR"), QStringLiteral("80"), QString(),
               QString(), ja, nein, nein, nein, nein, nein, nein, nein}));
    d.AppendFieldRow(rowOf({QStringLiteral("rabatt"), QStringLiteral("DECIMAL"),
                            QStringLiteral("5"), QStringLiteral("2"), QStringLiteral("0.00"), nein,
                            nein, ja, nein, nein, nein, nein, nein}));
    d.AppendFieldRow(
        rowOf({QStringLiteral("land"), QStringLiteral("CHAR"), QStringLiteral("2"), QString(),
               QStringLiteral("DE"), nein, nein, nein, nein, nein, nein, nein, ja}));
    d.TableNameEdChange();
    QVERIFY(d.BitBtnXP1->isEnabled());
    d.ListView1->selectRow(1);
    capture(d, QStringLiteral("new-table"));
    d.hide();
  }

  void fieldEditor() {
    TEditFieldForm &e = *form->EditFieldForm;
    e.PrepareNewField(true);
    e.FillFromRow(rowOf({QStringLiteral("lagerbestand"), QStringLiteral("SMALLINT"),
                         QStringLiteral("5"), QString(), QStringLiteral("0"), FlagNo, FlagNo,
                         FlagYes, FlagNo, FlagNo, FlagNo, FlagNo, FlagYes}));
    e.RadioButton3->setChecked(true);
    e.Edit3->setText(QStringLiteral("preis"));
    e.Edit1Change();
    capture(e, QStringLiteral("field-editor"));
    e.hide();
  }

  void aboutBox() {
    TAboutBox &a = *form->AboutBox;
    capture(a, QStringLiteral("about"));
    a.hide();
  }

  void waitWindow() {
    TWaitForm w(
        QStringLiteral("Ändere die Tabelle „bestellpositionen_archiv_2025“ ..."), [] {},
        form.get());
    capture(w, QStringLiteral("wait"));
  }

  void exportDialog() {
    TExportForm d(QStringLiteral("Die Struktur der Datenbank „laden“ (Tabellen, Sichten und "
                                 "Trigger) wird als SQL in eine Datei geschrieben."),
                  true, form.get());
    d.FileEd->setText(QStringLiteral("/home/anna/laden.sql"));
    capture(d, QStringLiteral("export-structure"));
  }

  void progressWindow() {
    RunningCall call;
    TProgressForm w(
        QStringLiteral("SQL-Datei ausführen"),
        QStringLiteral("„laden.sql“ wird auf der Datenbank „laden_test“ ausgeführt ..."), call,
        form.get());
    w.showProgress(420,
                   QStringLiteral("12,3 von 29,4 MB · 4.711 Anweisungen · noch etwa 1:02 min"));
    capture(w, QStringLiteral("run-sql-file"));
  }
};

QTEST_MAIN(ScreenshotTest)
#include "tst_screenshots.moc"
