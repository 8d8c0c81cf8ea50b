// "Neuer Index": a name, a kind, and the table's columns chosen in order,
// each with an optional prefix length.
#pragma once

#include "common/BitBtnXP.h"
#include "structure/StructureStatements.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;
class QSpinBox;
class QTreeWidget;

class TNewIndexForm : public QDialog {
  Q_OBJECT
public:
  explicit TNewIndexForm(QWidget *parent);

  // Starts afresh on the columns of a table.
  void Prepare(const QStringList &columns);
  IndexDefinition ReadIndex() const;

  QLineEdit *NameEd;
  QComboBox *KindBox;
  QListWidget *ColumnList; // the table's columns
  BitBtnXP *AddBtn;
  BitBtnXP *RemoveBtn;
  BitBtnXP *UpBtn;
  BitBtnXP *DownBtn;
  QTreeWidget *PartList; // the index's columns: name, prefix length
  QSpinBox *PrefixEd;    // the prefix length of the selected part
  BitBtnXP *OkBtn;
  BitBtnXP *CancelBtn;

public slots:
  void AddBtnClick();
  void RemoveBtnClick();
  void MovePart(int by);
  void UpdateButtons();

protected:
  void keyPressEvent(QKeyEvent *event) override;
};
