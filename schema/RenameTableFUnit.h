// The dialog that asks for the new name of a table.
#pragma once

#include "schema/NameDialog.h"

#include <QPoint>

// "Tabelle umbenennen": the new name of a table, shown at its designed place.
class TRenameTableForm : public TNameDialog {
  Q_OBJECT
public:
  explicit TRenameTableForm(QWidget *parent = nullptr);
  QLineEdit *&TableNameEd = NameEd;
  static constexpr QPoint DesignedPosition{187, 191};

protected:
  void showEvent(QShowEvent *event) override;
};
