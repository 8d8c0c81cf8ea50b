// The field editor: its controls, the type rule, the field row it gives,
// what it keeps between uses, and its keys.
#include "fields/EditFieldFUnit.h"
#include "fields/FieldTypeRules.h"
#include "fields/RxSpinEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

#include <memory>

namespace {

FieldRow rowOf(std::initializer_list<QString> cells) {
  FieldRow r;
  std::size_t i = 0;
  for (const QString &c : cells)
    r[i++] = c;
  return r;
}

QStringList cellsOf(const FieldRow &row) { return ToCellList(row); }

void selectType(TEditFieldForm &form, const QString &word) {
  const int index = FieldTypeIndex(word);
  QVERIFY2(index >= 0, qPrintable(word));
  form.ComboBox1->setCurrentIndex(index);
  form.ComboBox1Change();
}

// Which of length, decimals, unsigned, zerofill, binary and auto increment a
// type allows, by family.
QString allowedFor(const QString &type) {
  static const QStringList integers{"BIGINT", "INT", "INTEGER", "MEDIUMINT", "SMALLINT", "TINYINT"};
  static const QStringList decimals{"DECIMAL", "DOUBLE PRECISION", "DOUBLE",
                                    "FLOAT",   "NUMERIC",          "REAL"};
  static const QStringList characters{"CHAR", "VARCHAR"};
  static const QStringList lengthOnly{"BLOB", "LONGBLOB",  "LONGTEXT", "MEDIUMBLOB", "MEDIUMTEXT",
                                      "TEXT", "TIMESTAMP", "TINYBLOB", "TINYTEXT"};
  static const QStringList nothing{"BIT",  "BOOL",     "DATE",    "DATETIME",
                                   "TIME", "YEAR (2)", "YEAR (4)"};
  // Letters: L length, D decimals, U unsigned, Z zerofill, B binary, A auto increment.
  if (integers.contains(type))
    return QStringLiteral("LUZA");
  if (decimals.contains(type))
    return QStringLiteral("LDZ");
  if (characters.contains(type))
    return QStringLiteral("LB");
  if (lengthOnly.contains(type))
    return QStringLiteral("L");
  if (nothing.contains(type))
    return QString();
  return QStringLiteral("?");
}

QString enabledLetters(const TEditFieldForm &form) {
  QString s;
  if (form.RxSpinEdit1->isEnabled())
    s += 'L';
  if (form.RxSpinEdit2->isEnabled())
    s += 'D';
  if (form.CheckBox3->isEnabled())
    s += 'U';
  if (form.CheckBox4->isEnabled())
    s += 'Z';
  if (form.CheckBox5->isEnabled())
    s += 'B';
  if (form.CheckBox6->isEnabled())
    s += 'A';
  return s;
}

} // namespace

class EditFieldFormTest : public QObject {
  Q_OBJECT
private slots:
  void controlsAndFirstState() {
    TEditFieldForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Feld bearbeiten"));
    const QList<QCheckBox *> boxes = form.flagBoxes();
    QCOMPARE(boxes.size(), 8);
    for (int i = 0; i < 8; ++i)
      QCOMPARE(boxes[i]->isChecked(), i == 0);
    QVERIFY(form.RadioButton1->isChecked());
    QVERIFY(!form.RadioButton2->isChecked() && !form.RadioButton3->isChecked());
    QVERIFY(form.BitBtnXP1->isEnabled());

    QVERIFY(form.Edit1->text().isEmpty() && form.Edit2->text().isEmpty() &&
            form.Edit3->text().isEmpty());
    QCOMPARE(form.ComboBox1->currentIndex(), -1);
    QVERIFY(!form.ComboBox1->isEditable());
    const QStringList words{"BIGINT",     "BIT",       "BLOB",
                            "BOOL",       "CHAR",      "DATE",
                            "DATETIME",   "DECIMAL",   "DOUBLE PRECISION",
                            "DOUBLE",     "FLOAT",     "INT",
                            "INTEGER",    "LONGBLOB",  "LONGTEXT",
                            "MEDIUMBLOB", "MEDIUMINT", "MEDIUMTEXT",
                            "NUMERIC",    "REAL",      "SMALLINT",
                            "TEXT",       "TIME",      "TIMESTAMP",
                            "TINYBLOB",   "TINYINT",   "TINYTEXT",
                            "VARCHAR",    "YEAR (2)",  "YEAR (4)"};
    QCOMPARE(form.ComboBox1->count(), 30);
    for (int i = 0; i < 30; ++i)
      QCOMPARE(form.ComboBox1->itemText(i), words[i]);
    QCOMPARE(form.ComboBox1->itemText(NewFieldTypeIndex), QStringLiteral("VARCHAR"));

    for (RxSpinEdit *spin : {form.RxSpinEdit1, form.RxSpinEdit2}) {
      QCOMPARE(spin->minimum(), 1);
      QCOMPARE(spin->maximum(), 10000);
      QCOMPARE(spin->singleStep(), 1);
    }
    QCOMPARE(form.RxSpinEdit1->text(), QStringLiteral("12"));
    QCOMPARE(form.RxSpinEdit2->text(), QStringLiteral("2"));

    // Tab order: the eight boxes, then the upper fields and buttons, then the
    // default and the position controls.
    const QList<QWidget *> chain{
        form.CheckBox1,    form.CheckBox2,    form.CheckBox3,    form.CheckBox4, form.CheckBox5,
        form.CheckBox6,    form.CheckBox7,    form.CheckBox8,    form.Edit1,     form.ComboBox1,
        form.RxSpinEdit1,  form.RxSpinEdit2,  form.BitBtnXP1,    form.BitBtnXP2, form.Edit2,
        form.RadioButton1, form.RadioButton2, form.RadioButton3, form.Edit3};
    QList<QWidget *> walked;
    QWidget *w = form.CheckBox1;
    do {
      if ((w->focusPolicy() & Qt::TabFocus) && w->parentWidget() == &form)
        walked << w; // not the spin boxes' inner edits
      w = w->nextInFocusChain();
    } while (w != form.CheckBox1 && walked.size() < 40);
    QCOMPARE(walked, chain);

    // At least the designed size, and fixed.
    QVERIFY(form.width() >= 336 && form.height() >= 407);
    QCOMPARE(form.minimumSize(), form.maximumSize());
  }

  void typeRuleForEveryType() {
    TEditFieldForm form;
    // With no type chosen, everything is open.
    form.ComboBox1Change();
    QCOMPARE(enabledLetters(form), QStringLiteral("LDUZBA"));
    for (int i = 0; i < form.ComboBox1->count(); ++i) {
      const QString type = form.ComboBox1->itemText(i);
      // Start from the opposite state so that each box must be set.
      for (QCheckBox *b : form.flagBoxes())
        b->setEnabled(allowedFor(type).isEmpty());
      form.ComboBox1->setCurrentIndex(i);
      form.ComboBox1Change();
      QCOMPARE(enabledLetters(form), allowedFor(type));
      for (QCheckBox *b : {form.CheckBox1, form.CheckBox2, form.CheckBox7, form.CheckBox8})
        QVERIFY2(b->isEnabled(), qPrintable(type + " " + b->text()));
    }
    // Choosing a type in the list applies the rule without further help.
    form.ComboBox1->setCurrentIndex(FieldTypeIndex("DATE"));
    QCOMPARE(enabledLetters(form), QString());
  }

  void ticksSurviveTypeChanges() {
    TEditFieldForm form;
    form.Edit1->setText("n");
    selectType(form, "INT");
    form.CheckBox3->setChecked(true); // unsigned
    form.CheckBox6->setChecked(true); // auto increment
    QCOMPARE(form.ReadFieldRow()[CellUnsigned], QStringLiteral("ja"));
    selectType(form, "VARCHAR");
    // Greyed out but still ticked; it counts as not set.
    QVERIFY(!form.CheckBox3->isEnabled() && form.CheckBox3->isChecked());
    QCOMPARE(form.ReadFieldRow()[CellUnsigned], QStringLiteral("nein"));
    QCOMPARE(form.ReadFieldRow()[CellAutoIncrement], QStringLiteral("nein"));
    // Back on INT it counts again; the numbers were never touched.
    selectType(form, "INT");
    QCOMPARE(form.ReadFieldRow()[CellUnsigned], QStringLiteral("ja"));
    QCOMPARE(form.ReadFieldRow()[CellAutoIncrement], QStringLiteral("ja"));
    QCOMPARE(form.RxSpinEdit1->value(), 12);
    QCOMPARE(form.RxSpinEdit2->value(), 2);
  }

  void fieldRowFromTheEditor() {
    TEditFieldForm form;
    // The first use, left as prepared and named a.
    form.PrepareNewField(false);
    form.Edit1->setText("a");
    QCOMPARE(cellsOf(form.ReadFieldRow()),
             QStringList({"a", "VARCHAR", "12", "", "", "ja", "nein", "nein", "nein", "nein",
                          "nein", "nein", "nein"}));

    // DATE: no length, no decimals, whatever the boxes show.
    selectType(form, "DATE");
    QCOMPARE(form.ReadFieldRow()[CellLength], QString());
    QCOMPARE(form.ReadFieldRow()[CellDecimals], QString());
    // DECIMAL: both, as shown.
    selectType(form, "DECIMAL");
    form.RxSpinEdit1->setValue(10);
    form.Edit2->setText("0,5 'x'");
    for (QCheckBox *b : form.flagBoxes())
      b->setChecked(true);
    QCOMPARE(cellsOf(form.ReadFieldRow()),
             QStringList({"a", "DECIMAL", "10", "2", "0,5 'x'", "ja", "ja", "nein", "ja", "nein",
                          "nein", "ja", "ja"}));
    // A disabled box counts as "nein" even when ticked; every cell is "ja" or "nein".
    selectType(form, "BIGINT");
    QCOMPARE(cellsOf(form.ReadFieldRow()),
             QStringList({"a", "BIGINT", "10", "", "0,5 'x'", "ja", "ja", "ja", "ja", "nein", "ja",
                          "ja", "ja"}));
  }

  void okFollowsTheName() {
    TEditFieldForm form;
    form.PrepareNewField(true);
    QVERIFY(!form.BitBtnXP1->isEnabled());
    QTest::keyClicks(form.Edit2, "x"); // the default alone does not do
    QVERIFY(!form.BitBtnXP1->isEnabled());
    QTest::keyClicks(form.Edit1, "n");
    QVERIFY(form.BitBtnXP1->isEnabled());
    form.Edit1->clear();
    QVERIFY(!form.BitBtnXP1->isEnabled());
    QTest::keyClicks(form.Edit1, " "); // blanks are a name
    QVERIFY(form.BitBtnXP1->isEnabled());
    // OK closes with OK even then.
    form.BitBtnXP1->click();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.ReadFieldRow()[CellName], QStringLiteral(" "));
  }

  void keptBetweenUses() {
    TEditFieldForm form;
    form.PrepareNewField(true);
    QVERIFY(form.RadioButton1->isEnabled() && form.Edit3->isEnabled());
    form.Edit1->setText("a");
    form.Edit2->setText("x");
    selectType(form, "DECIMAL");
    form.RxSpinEdit1->setValue(30);
    form.RxSpinEdit2->setValue(4);
    form.CheckBox1->setChecked(false);
    form.CheckBox2->setChecked(true);
    form.CheckBox4->setChecked(true);
    form.RadioButton3->setChecked(true);
    form.Edit3->setText("ort");
    form.BitBtnXP2->click(); // cancelled: kept all the same
    QCOMPARE(form.result(), int(QDialog::Rejected));

    form.PrepareNewField(false);
    QVERIFY(form.Edit1->text().isEmpty() && form.Edit2->text().isEmpty());
    QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("VARCHAR"));
    QVERIFY(!form.BitBtnXP1->isEnabled());
    for (QWidget *w :
         {static_cast<QWidget *>(form.RadioButton1), static_cast<QWidget *>(form.RadioButton2),
          static_cast<QWidget *>(form.RadioButton3), static_cast<QWidget *>(form.Edit3)})
      QVERIFY(!w->isEnabled());
    QCOMPARE(form.RxSpinEdit1->text(), QStringLiteral("30"));
    QCOMPARE(form.RxSpinEdit2->text(), QStringLiteral("4"));
    QVERIFY(!form.CheckBox1->isChecked());
    QVERIFY(form.CheckBox2->isChecked() && form.CheckBox4->isChecked());
    QVERIFY(form.RadioButton3->isChecked());
    QCOMPARE(form.Edit3->text(), QStringLiteral("ort"));
    // Zerofill is ticked but not allowed for VARCHAR.
    form.Edit1->setText("b");
    QCOMPARE(cellsOf(form.ReadFieldRow()),
             QStringList({"b", "VARCHAR", "30", "", "", "nein", "ja", "nein", "nein", "nein",
                          "nein", "nein", "nein"}));
  }

  void placement() {
    TEditFieldForm form;
    form.Edit3->setText("ort");
    QCOMPARE(form.ReadPlacement().position, FieldPosition::Last);
    form.RadioButton2->setChecked(true);
    QCOMPARE(form.ReadPlacement().position, FieldPosition::First);
    QCOMPARE(PositionClause(form.ReadPlacement()), QStringLiteral(" FIRST"));
    form.RadioButton3->setChecked(true);
    QVERIFY(!form.RadioButton2->isChecked()); // one group
    QCOMPARE(PositionClause(form.ReadPlacement()), QStringLiteral(" AFTER `ort`"));
    form.Edit3->clear();
    QCOMPARE(PositionClause(form.ReadPlacement()), QString());
  }

  void fillFromRow() {
    TEditFieldForm form;
    form.PrepareNewField(false);
    selectType(form, "INT");
    // A known type: every cell taken over, then the type rule applied.
    const FieldRow dec = rowOf(
        {"preis", "DECIMAL", "10", "3", "0", "nein", "ja", "ja", "ja", "nein", "ja", "nein", "ja"});
    QVERIFY(form.FillFromRow(dec));
    QCOMPARE(form.Edit1->text(), QStringLiteral("preis"));
    QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("DECIMAL"));
    QCOMPARE(form.RxSpinEdit1->text(), QStringLiteral("10"));
    QCOMPARE(form.RxSpinEdit2->text(), QStringLiteral("3"));
    QCOMPARE(form.Edit2->text(), QStringLiteral("0"));
    QVERIFY(form.BitBtnXP1->isEnabled());
    // Unsigned and auto increment show ticked but disabled for DECIMAL.
    QVERIFY(form.CheckBox3->isChecked() && !form.CheckBox3->isEnabled());
    QVERIFY(form.CheckBox6->isChecked() && !form.CheckBox6->isEnabled());
    QCOMPARE(cellsOf(form.ReadFieldRow()),
             QStringList({"preis", "DECIMAL", "10", "3", "0", "nein", "ja", "nein", "ja", "nein",
                          "nein", "nein", "ja"}));

    // Only exactly "ja" ticks a box; an unknown type leaves the selection.
    const FieldRow odd =
        rowOf({"g", "GEOMETRY", "", "", "", "Ja", "ja ", "", "ja", "JA", "nein", "x", "ja"});
    QVERIFY(!form.FillFromRow(odd));
    QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("DECIMAL"));
    QList<bool> ticks;
    for (QCheckBox *b : form.flagBoxes())
      ticks << b->isChecked();
    QCOMPARE(ticks, QList<bool>({false, false, false, true, false, false, false, true}));
    // Case matters for the type word too.
    QVERIFY(!form.FillFromRow(rowOf({"v", "varchar"})));
    QCOMPARE(form.ComboBox1->currentText(), QStringLiteral("DECIMAL"));
    QVERIFY(form.FillFromRow(rowOf({"y", "YEAR (2)"})));
    QCOMPARE(form.ComboBox1->currentIndex(), 28);
  }

  void emptyLengthStaysEmpty() {
    TEditFieldForm form;
    form.PrepareNewField(false);
    // A DATE row has no length; switched to VARCHAR the box shows nothing ...
    QVERIFY(form.FillFromRow(rowOf(
        {"d", "DATE", "", "", "", "ja", "nein", "nein", "nein", "nein", "nein", "nein", "nein"})));
    selectType(form, "VARCHAR");
    QCOMPARE(form.RxSpinEdit1->text(), QString());
    // ... also once the dialog is on screen and closed with OK ...
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.RxSpinEdit1->text(), QString());
    // Passing through the box without typing leaves it empty (where the
    // platform lets the test activate a window).
    QApplication::setActiveWindow(&form);
    if (QTest::qWaitForWindowActive(&form, 1000)) {
      form.RxSpinEdit1->setFocus();
      QVERIFY(form.RxSpinEdit1->hasFocus());
      form.Edit2->setFocus();
      QVERIFY(!form.RxSpinEdit1->hasFocus());
      QCOMPARE(form.RxSpinEdit1->text(), QString());
    }
    form.BitBtnXP1->click();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.ReadFieldRow()[CellLength], QString());
    // ... but a new field shows the kept numbers again: an empty length
    // would send VARCHAR without one.
    form.FillFromRow(rowOf({"f", "FLOAT", "", ""}));
    form.PrepareNewField(false);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.RxSpinEdit1->text(), QStringLiteral("12"));
    QCOMPARE(form.RxSpinEdit2->text(), QStringLiteral("2"));
    QCOMPARE(form.ReadFieldRow()[CellLength], QStringLiteral("12"));
    form.RxSpinEdit1->setText({});
    // Typing a number fills it; so does a step.
    form.RxSpinEdit1->setFocus();
    QTest::keyClicks(form.RxSpinEdit1, "30");
    QCOMPARE(form.RxSpinEdit1->text(), QStringLiteral("30"));
    form.RxSpinEdit1->setText({});
    form.RxSpinEdit1->stepUp();
    QVERIFY(!form.RxSpinEdit1->text().isEmpty());
    QCOMPARE(form.RxSpinEdit1->text(), QString::number(form.RxSpinEdit1->value()));
    form.hide();
  }

  void numbersStayInRange() {
    TEditFieldForm form;
    form.PrepareNewField(false);
    form.Edit1->setText("n");
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.RxSpinEdit1->setFocus();
    form.RxSpinEdit1->selectAll();
    QTest::keyClicks(form.RxSpinEdit1, "x-0");
    QCOMPARE(form.RxSpinEdit1->text(), QStringLiteral("0")); // letters and signs refused
    // Pressing OK takes the number as entered, pulled into the range.
    form.BitBtnXP1->click();
    QCOMPARE(form.ReadFieldRow()[CellLength], QStringLiteral("1"));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.RxSpinEdit1->setFocus();
    form.RxSpinEdit1->selectAll();
    QTest::keyClicks(form.RxSpinEdit1, "99999");
    QCOMPARE(form.RxSpinEdit1->text(), QStringLiteral("9999"));
    form.RxSpinEdit1->setText("20000");
    QCOMPARE(form.RxSpinEdit1->text(), QStringLiteral("10000"));
    form.hide();
  }

  void showingAndKeys() {
    TEditFieldForm form;
    form.PrepareNewField(false);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.focusWidget(), form.Edit1);

    // Enter with an empty name does nothing; with a name it is OK.
    QTest::keyClick(form.Edit1, Qt::Key_Return);
    QVERIFY(form.isVisible());
    QTest::keyClicks(form.Edit1, "a");
    QTest::keyClick(form.Edit1, Qt::Key_Return);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Accepted));

    // Enter on a check box is OK too, and leaves the box alone.
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.CheckBox2->setFocus();
    const bool ticked = form.CheckBox2->isChecked();
    QTest::keyClick(form.CheckBox2, Qt::Key_Return);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.CheckBox2->isChecked(), ticked);

    // Escape cancels, wherever the focus is.
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.focusWidget(), form.Edit1);
    QTest::keyClick(form.Edit1, Qt::Key_Escape);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(form.Edit1->text(), QStringLiteral("a")); // nothing reset by closing
  }
};

QTEST_MAIN(EditFieldFormTest)
#include "tst_editfieldform.moc"
