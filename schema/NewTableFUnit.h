// The new-table designer "Neue Tabelle erstellen": a table name and a grid of
// field rows, composed one field at a time through the shared field editor.
// The designer talks to no server; its caller reads the name and the rows
// after it closed with OK. Between showings the add- and change-field
// commands use the grid to carry their one field row.
#pragma once

#include "common/BitBtnXP.h"
#include "common/ReportListView.h"
#include "fields/FieldRow.h"

#include <QDialog>
#include <QList>

#include <optional>

class QLabel;
class QLineEdit;
class QStatusBar;
class TEditFieldForm;

class TNewTableForm : public QDialog, public FieldRowCarrier {
  Q_OBJECT
public:
  TNewTableForm(TEditFieldForm *editor, QWidget *parent = nullptr);

  // Controls, in creation order.
  QWidget *Panel1; // top strip
  QLabel *Label1;
  QLineEdit *TableNameEd;
  ReportListView *ListView1;
  QWidget *Panel2; // right strip
  BitBtnXP *NewFieldBtn;
  BitBtnXP *BitBtnXP4;
  BitBtnXP *BitBtnXP5;
  QWidget *Panel3; // bottom strip
  BitBtnXP *BitBtnXP1;
  BitBtnXP *BitBtnXP2;
  QStatusBar *StatusBar1;

  // The field editor that adds and edits rows; the designer is created before it.
  void SetFieldEditor(TEditFieldForm *editor) { m_editor = editor; }

  // Empties the designer for a new showing: no name, no rows, OK disabled;
  // or, after KeepDesign, puts the kept design back instead (once).
  void Clear();
  // Keeps the present name and rows for the next showing: a design that the
  // server refused is not lost (the grid itself also carries the field
  // commands' rows meanwhile).
  void KeepDesign();
  // The table name as typed.
  QString TableName() const;
  // The grid's rows, top to bottom.
  QList<FieldRow> FieldRows() const override;
  int RowCount() const { return ListView1->count(); }
  // The grid as carrier of one field row: empty it, then append the row.
  void ClearRows() override;
  void AppendFieldRow(const FieldRow &row) override;

public slots:
  void TableNameEdChange();
  void NewFieldBtnClick();
  void BitBtnXP4Click();
  void ListView1DblClick();
  void BitBtnXP5Click();

protected:
  void showEvent(QShowEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void FormShow();
  // OK is enabled exactly when there is a table name and at least one row.
  void UpdateOkButton();
  void setRow(int row, const FieldRow &cells);
  QList<BitBtnXP *> buttonsInCreationOrder() const;
  void buildLayout();

  TEditFieldForm *m_editor;
  bool m_placed = false;
  struct Design {
    QString name;
    QList<FieldRow> rows;
  };
  std::optional<Design> m_kept;
};
