// "Neuer Fremdschlüssel": an optional name, the referenced database and
// table chosen from lists, the pairs of columns (a column of this table and
// the one it refers to) in order, and the actions on delete and update.
#pragma once

#include "common/BitBtnXP.h"
#include "structure/StructureStatements.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLineEdit;
class QTreeWidget;

class TNewForeignKeyForm : public QDialog {
  Q_OBJECT
public:
  explicit TNewForeignKeyForm(QWidget *parent);

  // How the dialog learns the tables of a database and the columns of a
  // table when the user picks them (empty after a failure, which the
  // function reports itself).
  using TableLister = std::function<QStringList(const QString &database)>;
  using ColumnLister = std::function<QStringList(const QString &database, const QString &table)>;

  // Starts afresh for a table: its columns, the server's databases, and the
  // referenced table first offered (the table itself).
  void Prepare(const QString &database, const QString &table, const QStringList &columns,
               const QStringList &databases, TableLister tables, ColumnLister columnsOf);
  ForeignKeyDefinition ReadKey() const;

  QLineEdit *NameEd;
  QComboBox *DatabaseBox;
  QComboBox *TableBox;
  QComboBox *ColumnBox;           // a column of this table
  QComboBox *ReferencedColumnBox; // a column of the referenced table
  BitBtnXP *AddBtn;
  BitBtnXP *RemoveBtn;
  QTreeWidget *PairList; // column, referenced column
  QComboBox *OnDeleteBox;
  QComboBox *OnUpdateBox;
  BitBtnXP *OkBtn;
  BitBtnXP *CancelBtn;

public slots:
  void DatabaseBoxChange();
  void TableBoxChange();
  void AddBtnClick();
  void RemoveBtnClick();
  void UpdateButtons();

protected:
  void keyPressEvent(QKeyEvent *event) override;

private:
  TableLister m_tables;
  ColumnLister m_columns;
};
