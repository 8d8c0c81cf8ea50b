// "Spalte bearbeiten" and "Neue Spalte": every part of one column (type
// with length and decimals, ENUM and SET values, UNSIGNED, ZEROFILL,
// COMPRESSED, character set and collation, NULL, default, ON UPDATE,
// AUTO_INCREMENT, visibility, generation, CHECK, comment) and where it
// stands. The dialog shows what it is given and hands back what it shows;
// the structure window turns that into the statement.
#pragma once

#include "clientlib/ColumnDesign.h"
#include "clientlib/TableOptions.h"
#include "common/BitBtnXP.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

class TColumnEditorForm : public QDialog {
  Q_OBJECT
public:
  explicit TColumnEditorForm(QWidget *parent);

  // What the dialog needs of the table besides the column.
  struct TableContext {
    QStringList columns; // in their order
    QString collation;   // the table's default
    QString characterSet;
    bool systemVersioned = false;
  };
  // Starts on an existing column, or on a new one (`isNew`), which a
  // position of "Unchanged" puts at the end.
  void Prepare(const ColumnDesign &design, bool isNew, const TableContext &table,
               const ServerCatalog &catalog);
  ColumnDesign ReadDesign() const;
  ColumnPlace ReadPlace() const;

  QLineEdit *NameEd;
  QComboBox *TypeBox;
  QLineEdit *LengthEd;
  QLineEdit *DecimalsEd;
  QListWidget *ValueList;
  BitBtnXP *AddValueBtn;
  BitBtnXP *RemoveValueBtn;
  BitBtnXP *ValueUpBtn;
  BitBtnXP *ValueDownBtn;
  QCheckBox *UnsignedBox;
  QCheckBox *ZerofillBox;
  QCheckBox *CompressedBox;
  QComboBox *CharsetBox;
  QComboBox *CollationBox;
  QCheckBox *NullBox;
  QCheckBox *AutoIncrementBox;
  QCheckBox *InvisibleBox;
  QCheckBox *WithoutVersioningBox;
  QComboBox *DefaultKindBox; // keine, NULL, Text, Zahl oder Ausdruck
  QLineEdit *DefaultEd;
  QLineEdit *OnUpdateEd;
  QComboBox *GenerationBox; // nein, VIRTUAL, STORED, ROW START, ROW END
  QLineEdit *ExpressionEd;
  QLineEdit *CheckEd;
  QPlainTextEdit *CommentEd;
  QComboBox *PlaceBox;
  BitBtnXP *OkBtn;
  BitBtnXP *CancelBtn;

public slots:
  void TypeBoxChange();
  void CharsetBoxChange();
  void AddValueBtnClick();
  void RemoveValueBtnClick();
  void MoveValue(int by);
  void UpdateControls();
  void accept() override;

protected:
  void keyPressEvent(QKeyEvent *event) override;

private:
  ServerCatalog m_catalog;
  TableContext m_table;
  QString m_name; // the column's name when the dialog opened
};
