// "Tabelle ändern": a table's storage engine, row format, default character
// set and collation for new columns, and comment. The dialog shows what it
// is given and hands back what it shows.
#pragma once

#include "clientlib/TableOptions.h"
#include "common/BitBtnXP.h"
#include "structure/StructureStatements.h"

#include <QDialog>

class QComboBox;
class QPlainTextEdit;

class TTableOptionsForm : public QDialog {
  Q_OBJECT
public:
  explicit TTableOptionsForm(QWidget *parent);

  void Prepare(const QString &table, const TableOptionChoice &choice, const ServerCatalog &catalog);
  TableOptionChoice ReadChoice() const;

  QComboBox *EngineBox;
  QComboBox *RowFormatBox;
  QComboBox *CharsetBox;
  QComboBox *CollationBox;
  QPlainTextEdit *CommentEd;
  BitBtnXP *OkBtn;
  BitBtnXP *CancelBtn;

public slots:
  void CharsetBoxChange();

protected:
  void keyPressEvent(QKeyEvent *event) override;

private:
  ServerCatalog m_catalog;
  QString m_tableCollation;
};
