// The field editor "Feld bearbeiten": name, type, length, decimals, default
// value, eight attribute boxes and, where the caller allows it, the column's
// position. One instance serves every caller and keeps what they do not
// reset (the boxes, both numbers, the position choice) between uses.
#pragma once

#include "common/BitBtnXP.h"
#include "fields/ColumnClause.h"
#include "fields/FieldRow.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QRadioButton;
class RxSpinEdit;

class TEditFieldForm : public QDialog {
  Q_OBJECT
public:
  explicit TEditFieldForm(QWidget *parent = nullptr);

  // Controls, in creation order.
  QLabel *Label1;
  QLineEdit *Edit1;
  QLabel *Label2;
  QComboBox *ComboBox1;
  QLabel *Label3;
  RxSpinEdit *RxSpinEdit1;
  QLabel *Label4;
  RxSpinEdit *RxSpinEdit2;
  QCheckBox *CheckBox1;
  QCheckBox *CheckBox2;
  QCheckBox *CheckBox3;
  QCheckBox *CheckBox4;
  QCheckBox *CheckBox5;
  QCheckBox *CheckBox6;
  QCheckBox *CheckBox7;
  QCheckBox *CheckBox8;
  QLabel *Label5;
  QLineEdit *Edit2;
  QRadioButton *RadioButton1;
  QRadioButton *RadioButton2;
  QRadioButton *RadioButton3;
  QLineEdit *Edit3;
  QFrame *Bevel1;
  BitBtnXP *BitBtnXP1;
  BitBtnXP *BitBtnXP2;

  // The eight attribute boxes in field row order (null ... index).
  QList<QCheckBox *> flagBoxes() const;

  // Prepares a new field: empty name and default, type "VARCHAR" with its
  // rule applied, OK disabled. The attribute boxes, both numbers (a number
  // box left empty shows its number again) and the position choice stay as
  // the last use left them. `withPosition` enables
  // the position buttons and the name beside them (adding to an existing
  // table) or disables them (a table still being designed).
  void PrepareNewField(bool withPosition);
  // Enables or disables the three position buttons and Edit3.
  void SetPositionEnabled(bool enabled);

  // Puts a field row into the editor: name, type (the first list item equal
  // to the type word; when none is, the type selection stays as it was),
  // length and decimals texts (empty ones included), default, and each box
  // ticked exactly when its cell is "ja"; then applies the type rule. The
  // position controls are left alone. Returns whether the type word was found.
  bool FillFromRow(const FieldRow &row);

  // The field row the editor describes: length and decimals only where their
  // box is enabled, a flag "ja" only for a box that is ticked and enabled.
  FieldRow ReadFieldRow() const;
  // The position choice: "Als erstes Feld", "Hinter diesem Feld:" with the
  // name as typed, or "Als letztes Feld".
  FieldPlacement ReadPlacement() const;

public slots:
  // Enables OK exactly when Edit1 is not empty; runs on every change of
  // Edit1 and Edit2.
  void Edit1Change();
  // The type rule: enables the length and decimals boxes and the type-bound
  // attribute boxes that the selected type allows. Ticks are never changed.
  void ComboBox1Change();

protected:
  void showEvent(QShowEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

private:
  void FormShow();
  void BitBtnXP1Click();
  void buildLayout();
  bool m_placed = false;
};
