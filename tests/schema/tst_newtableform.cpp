// The new-table designer: its layout, the OK rule, adding, editing and
// deleting field rows through the shared field editor, and its keys.
#include "fields/ColumnClause.h"
#include "fields/EditFieldFUnit.h"
#include "fields/FieldTypeRules.h"
#include "fields/RxSpinEdit.h"
#include "schema/NewTableFUnit.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QtTest>

#include <memory>

namespace {

TEditFieldForm &editorOf(QDialog &dialog) {
  auto *editor = qobject_cast<TEditFieldForm *>(&dialog);
  if (!editor)
    qFatal("the designer showed something other than the field editor");
  return *editor;
}

// A script that fills the editor as a user would and closes it with OK.
std::function<int(QDialog &)> accepting(const QString &name, const QString &type = {},
                                        std::function<void(TEditFieldForm &)> more = {}) {
  return [=](QDialog &dialog) {
    TEditFieldForm &e = editorOf(dialog);
    e.Edit1->setText(name);
    if (!type.isEmpty()) {
      e.ComboBox1->setCurrentIndex(FieldTypeIndex(type));
      e.ComboBox1Change();
    }
    if (more)
      more(e);
    return int(QDialog::Accepted);
  };
}

std::function<int(QDialog &)> cancelling(std::function<void(TEditFieldForm &)> meanwhile = {}) {
  return [=](QDialog &dialog) {
    if (meanwhile)
      meanwhile(editorOf(dialog));
    return int(QDialog::Rejected);
  };
}

FieldRow rowOf(std::initializer_list<QString> cells) {
  FieldRow r;
  std::size_t i = 0;
  for (const QString &c : cells)
    r[i++] = c;
  return r;
}

QStringList names(const TNewTableForm &form) {
  QStringList list;
  for (const FieldRow &r : form.FieldRows())
    list << r[CellName];
  return list;
}

QPoint rowCentre(ReportListView *list, int row) {
  return list->visualRect(list->items().index(row, 0)).center();
}

// One designer with its own editor, as the program creates them.
struct Forms {
  TEditFieldForm editor;
  TNewTableForm designer{&editor};
};

} // namespace

class NewTableFormTest : public QObject {
  Q_OBJECT
private slots:
  void layoutAndCaptions() {
    Forms f;
    TNewTableForm &d = f.designer;
    QCOMPARE(d.windowTitle(), QStringLiteral("Neue Tabelle erstellen"));
    QVERIFY(d.width() >= 650 && d.height() >= 480);
    QVERIFY(d.minimumSize() != d.maximumSize()); // resizable
    for (QWidget *w : d.findChildren<QWidget *>())
      if (w->focusPolicy() != Qt::NoFocus && !w->parentWidget()->inherits("QAbstractScrollArea"))
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    QVERIFY(d.StatusBar1->currentMessage().isEmpty());

    QHeaderView *header = d.ListView1->header();
    QCOMPARE(header->count(), 13);
    for (int i = 0; i < 13; ++i)
      QVERIFY2(header->sectionSize(i) >= header->sectionSizeHint(i),
               qPrintable(QString::number(i)));
    QCOMPARE(d.ListView1->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(d.ListView1->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!d.BitBtnXP1->isEnabled());
  }

  void okRule() {
    Forms f;
    TNewTableForm &d = f.designer;
    ModalScript modal;
    d.Clear();
    QVERIFY(!d.BitBtnXP1->isEnabled());
    QTest::keyClicks(d.TableNameEd, "kunden");
    QVERIFY(!d.BitBtnXP1->isEnabled()); // a name alone does not do

    modal.push(cancelling());
    d.NewFieldBtn->click();
    QCOMPARE(d.RowCount(), 0);
    QVERIFY(!d.BitBtnXP1->isEnabled());

    modal.push(accepting("id"));
    d.NewFieldBtn->click();
    QCOMPARE(d.RowCount(), 1);
    QVERIFY(d.BitBtnXP1->isEnabled());

    modal.push(cancelling()); // cancelled: OK stays as it was
    d.NewFieldBtn->click();
    QVERIFY(d.BitBtnXP1->isEnabled());

    d.TableNameEd->clear(); // rows alone do not do
    QVERIFY(!d.BitBtnXP1->isEnabled());
    QTest::keyClicks(d.TableNameEd, " "); // blanks are a name
    QVERIFY(d.BitBtnXP1->isEnabled());

    d.ListView1->selectRow(0);
    d.BitBtnXP5->click(); // the last row gone
    QCOMPARE(d.RowCount(), 0);
    QVERIFY(!d.BitBtnXP1->isEnabled());
    QCOMPARE(modal.shownCount, 3);

    // Emptying for a new showing.
    modal.push(accepting("a"));
    d.NewFieldBtn->click();
    QVERIFY(d.BitBtnXP1->isEnabled());
    d.Clear();
    QVERIFY(d.TableName().isEmpty());
    QCOMPARE(d.RowCount(), 0);
    QVERIFY(!d.BitBtnXP1->isEnabled());
  }

  void newFieldsThroughTheEditor() {
    Forms f;
    TNewTableForm &d = f.designer;
    ModalScript modal;
    d.Clear();
    // The editor is prepared before it is shown.
    f.editor.Edit1->setText("old");
    f.editor.Edit2->setText("old");
    modal.push([](QDialog &dialog) {
      TEditFieldForm &e = editorOf(dialog);
      [&] {
        QVERIFY(e.Edit1->text().isEmpty() && e.Edit2->text().isEmpty());
        QCOMPARE(e.ComboBox1->currentText(), QStringLiteral("VARCHAR"));
        QVERIFY(!e.BitBtnXP1->isEnabled());
        for (QWidget *w :
             {static_cast<QWidget *>(e.RadioButton1), static_cast<QWidget *>(e.RadioButton2),
              static_cast<QWidget *>(e.RadioButton3), static_cast<QWidget *>(e.Edit3)})
          QVERIFY(!w->isEnabled());
      }();
      e.Edit1->setText("a");
      return int(QDialog::Accepted);
    });
    d.NewFieldBtn->click();
    QCOMPARE(ToCellList(d.FieldRows().value(0)),
             QStringList({"a", "VARCHAR", "12", "", "", "ja", "nein", "nein", "nein", "nein",
                          "nein", "nein", "nein"}));

    // The next one starts from the previous boxes and numbers.
    modal.push(accepting("b", "DECIMAL", [](TEditFieldForm &e) {
      e.RxSpinEdit1->setValue(10);
      e.CheckBox1->setChecked(false);
      e.CheckBox4->setChecked(true);
      e.Edit2->setText("0");
    }));
    d.NewFieldBtn->click();
    modal.push([](QDialog &dialog) {
      TEditFieldForm &e = editorOf(dialog);
      [&] {
        QVERIFY(e.Edit1->text().isEmpty() && e.Edit2->text().isEmpty());
        QCOMPARE(e.ComboBox1->currentText(), QStringLiteral("VARCHAR"));
        QCOMPARE(e.RxSpinEdit1->text(), QStringLiteral("10"));
        QVERIFY(!e.CheckBox1->isChecked() && e.CheckBox4->isChecked());
        QVERIFY(!e.CheckBox4->isEnabled()); // zerofill is not for VARCHAR
      }();
      e.Edit1->setText("c");
      e.ComboBox1->setCurrentIndex(FieldTypeIndex("DATE"));
      e.ComboBox1Change();
      return int(QDialog::Accepted);
    });
    d.NewFieldBtn->click();
    const QList<FieldRow> rows = d.FieldRows();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(ToCellList(rows[1]), QStringList({"b", "DECIMAL", "10", "2", "0", "nein", "nein",
                                               "nein", "ja", "nein", "nein", "nein", "nein"}));
    // DATE: neither length nor decimals.
    QCOMPARE(ToCellList(rows[2]), QStringList({"c", "DATE", "", "", "", "nein", "nein", "nein",
                                               "nein", "nein", "nein", "nein", "nein"}));
    // Rows in the order of adding; two alike are both kept.
    modal.push(accepting("a"));
    d.NewFieldBtn->click();
    QCOMPARE(names(d), QStringList({"a", "b", "c", "a"}));
  }

  void editRows() {
    Forms f;
    TNewTableForm &d = f.designer;
    ModalScript modal;
    d.Clear();
    d.TableNameEd->setText("t");
    modal.push(accepting("first"));
    d.NewFieldBtn->click();
    modal.push(accepting("v", "VARCHAR", [](TEditFieldForm &e) {
      e.RxSpinEdit1->setValue(30);
      e.CheckBox7->setChecked(true);
    }));
    d.NewFieldBtn->click();
    modal.push(accepting("last"));
    d.NewFieldBtn->click();

    // Nothing selected: nothing shown.
    d.ListView1->clearSelection();
    d.BitBtnXP4->click();
    QCOMPARE(modal.shownCount, 3);

    // The selected row goes into the editor; VARCHAR to DATE empties length
    // and decimals; the row keeps its place.
    d.ListView1->selectRow(1);
    modal.push([](QDialog &dialog) {
      TEditFieldForm &e = editorOf(dialog);
      [&] {
        QCOMPARE(e.Edit1->text(), QStringLiteral("v"));
        QCOMPARE(e.ComboBox1->currentText(), QStringLiteral("VARCHAR"));
        QCOMPARE(e.RxSpinEdit1->text(), QStringLiteral("30"));
        QCOMPARE(e.RxSpinEdit2->text(), QString());
        QVERIFY(e.CheckBox7->isChecked() && e.CheckBox1->isChecked());
        QVERIFY(e.BitBtnXP1->isEnabled());
        QVERIFY(!e.RadioButton1->isEnabled()); // left disabled from adding
      }();
      e.ComboBox1->setCurrentIndex(FieldTypeIndex("DATE"));
      e.ComboBox1Change();
      return int(QDialog::Accepted);
    });
    d.BitBtnXP4->click();
    QCOMPARE(names(d), QStringList({"first", "v", "last"}));
    QCOMPARE(ToCellList(d.FieldRows()[1]),
             QStringList({"v", "DATE", "", "", "", "ja", "nein", "nein", "nein", "nein", "nein",
                          "ja", "nein"}));

    // DATE back to VARCHAR: the length box shows the row's empty length, and
    // unless a length is typed the row gets none.
    modal.push([](QDialog &dialog) {
      TEditFieldForm &e = editorOf(dialog);
      e.ComboBox1->setCurrentIndex(FieldTypeIndex("VARCHAR"));
      e.ComboBox1Change();
      [&] { QCOMPARE(e.RxSpinEdit1->text(), QString()); }();
      return int(QDialog::Accepted);
    });
    d.BitBtnXP4->click();
    QCOMPARE(d.FieldRows()[1][CellType], QStringLiteral("VARCHAR"));
    QCOMPARE(d.FieldRows()[1][CellLength], QString());

    // Cancel leaves every cell as it was, whatever was changed meanwhile.
    const FieldRow before = d.FieldRows()[1];
    modal.push(cancelling([](TEditFieldForm &e) {
      e.Edit1->setText("changed");
      e.ComboBox1->setCurrentIndex(FieldTypeIndex("INT"));
      e.ComboBox1Change();
      e.CheckBox2->setChecked(true);
    }));
    d.BitBtnXP4->click();
    QCOMPARE(d.FieldRows()[1], before);
    QVERIFY(d.BitBtnXP1->isEnabled());

    // A box ticked and then disabled by the type gives "nein".
    d.ListView1->selectRow(0);
    modal.push([](QDialog &dialog) {
      TEditFieldForm &e = editorOf(dialog);
      e.ComboBox1->setCurrentIndex(FieldTypeIndex("INT"));
      e.ComboBox1Change();
      e.CheckBox3->setChecked(true);
      e.ComboBox1->setCurrentIndex(FieldTypeIndex("TEXT"));
      e.ComboBox1Change();
      return int(QDialog::Accepted);
    });
    d.BitBtnXP4->click();
    QCOMPARE(d.FieldRows()[0][CellType], QStringLiteral("TEXT"));
    QCOMPARE(d.FieldRows()[0][CellUnsigned], QStringLiteral("nein"));
  }

  void editRowOfUnknownType() {
    // A carried row may hold a type word the list lacks: the editor keeps
    // its type selection, and the flags are taken over by exact "ja" only.
    Forms f;
    TNewTableForm &d = f.designer;
    ModalScript modal;
    d.Clear();
    f.editor.PrepareNewField(false);
    f.editor.ComboBox1->setCurrentIndex(FieldTypeIndex("TEXT"));
    d.AppendFieldRow(rowOf(
        {"g", "GEOMETRY", "", "", "", "ja", "Ja", "nein", "nein", "nein", "nein", "nein", "ja"}));
    d.ListView1->selectRow(0);
    modal.push([](QDialog &dialog) {
      TEditFieldForm &e = editorOf(dialog);
      [&] {
        QCOMPARE(e.Edit1->text(), QStringLiteral("g"));
        QCOMPARE(e.ComboBox1->currentText(), QStringLiteral("TEXT"));
        QVERIFY(e.CheckBox1->isChecked() && !e.CheckBox2->isChecked() && e.CheckBox8->isChecked());
      }();
      return int(QDialog::Accepted);
    });
    d.BitBtnXP4->click();
    QCOMPARE(ToCellList(d.FieldRows()[0]),
             QStringList({"g", "TEXT", "", "", "", "ja", "nein", "nein", "nein", "nein", "nein",
                          "nein", "ja"}));
  }

  void doubleClick() {
    Forms f;
    TNewTableForm &d = f.designer;
    ModalScript modal;
    d.Clear();
    d.AppendFieldRow(rowOf(
        {"a", "INT", "11", "", "", "ja", "nein", "nein", "nein", "nein", "nein", "nein", "nein"}));
    d.AppendFieldRow(rowOf(
        {"b", "INT", "11", "", "", "ja", "nein", "nein", "nein", "nein", "nein", "nein", "nein"}));
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QWidget *viewport = d.ListView1->viewport();

    // No row selected: a double click below the rows does nothing.
    d.ListView1->clearSelection();
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(20, viewport->height() - 5));
    QCOMPARE(modal.shownCount, 0);

    // A double click on a row edits that row.
    modal.push(accepting("B"));
    QTest::mouseClick(viewport, Qt::LeftButton, {}, rowCentre(d.ListView1, 1));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, rowCentre(d.ListView1, 1));
    QCOMPARE(modal.shownCount, 1);
    QCOMPARE(names(d), QStringList({"a", "B"}));
    d.hide();
  }

  void deleteRows() {
    Forms f;
    TNewTableForm &d = f.designer;
    d.Clear();
    d.TableNameEd->setText("t");
    for (const char *n : {"a", "b", "c"})
      d.AppendFieldRow(rowOf({n, "INT"}));
    d.ListView1->clearSelection();
    d.BitBtnXP5->click();
    QCOMPARE(names(d), QStringList({"a", "b", "c"}));
    QVERIFY(d.BitBtnXP1->isEnabled()); // the rule was evaluated
    d.ListView1->selectRow(1);
    d.BitBtnXP5->click();
    QCOMPARE(names(d), QStringList({"a", "c"}));
  }

  void keys() {
    Forms f;
    TNewTableForm &d = f.designer;
    ModalScript modal;
    d.Clear();
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.focusWidget(), d.TableNameEd);

    // OK disabled: Enter presses "Neues Feld...".
    modal.push(accepting("a"));
    QTest::keyClick(d.TableNameEd, Qt::Key_Return);
    QCOMPARE(modal.shownCount, 1);
    QCOMPARE(d.RowCount(), 1);
    QVERIFY(d.isVisible());

    // Escape presses "Abbrechen", not "Feld löschen".
    d.ListView1->selectRow(0);
    QTest::keyClick(d.TableNameEd, Qt::Key_Escape);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QCOMPARE(d.RowCount(), 1);

    // OK enabled: Enter presses OK, also from the grid.
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTest::keyClicks(d.TableNameEd, "t");
    QVERIFY(d.BitBtnXP1->isEnabled());
    d.ListView1->setFocus();
    QTest::keyClick(d.ListView1, Qt::Key_Return);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(modal.shownCount, 1);
    QCOMPARE(d.TableName(), QStringLiteral("t"));
  }

  void carriesOneRow() {
    Forms f;
    TNewTableForm &d = f.designer;
    d.AppendFieldRow(rowOf({"x", "INT"}));
    const FieldRow row = rowOf({"n`1", "CHAR", "5", "", "it's", "nein", "nein", "nein", "nein",
                                "ja", "nein", "nein", "ja"});
    d.ClearRows();
    d.AppendFieldRow(row);
    QCOMPARE(d.FieldRows(), QList<FieldRow>({row}));
  }

  void statementFromTheDesigner() {
    // The worked example, composed as a user would.
    Forms f;
    TNewTableForm &d = f.designer;
    ModalScript modal;
    d.Clear();
    QTest::keyClicks(d.TableNameEd, "kunden");
    modal.push(accepting("id", "INT", [](TEditFieldForm &e) {
      e.RxSpinEdit1->setValue(11);
      e.CheckBox2->setChecked(true);
      e.CheckBox3->setChecked(true);
      e.CheckBox6->setChecked(true);
    }));
    d.NewFieldBtn->click();
    modal.push(accepting("name", "VARCHAR", [](TEditFieldForm &e) {
      e.RxSpinEdit1->setValue(30);
      e.CheckBox2->setChecked(false);
    }));
    d.NewFieldBtn->click();
    QVERIFY(d.BitBtnXP1->isEnabled());
    QCOMPARE(CreateTableStatement(d.TableName(), d.FieldRows(), EscapeStringLiteral),
             QStringLiteral("CREATE TABLE `kunden` (`id` INT(11) unsigned NOT NULL "
                            "AUTO_INCREMENT,\r`name` VARCHAR(30), PRIMARY KEY (`id`))"));
  }
};

QTEST_MAIN(NewTableFormTest)
#include "tst_newtableform.moc"
