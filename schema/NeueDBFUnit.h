// The dialog that asks for the name of a new database.
#pragma once

#include "schema/NameDialog.h"

// "Neue Datenbank": the name of a database to create.
class TNewDBForm : public TNameDialog {
  Q_OBJECT
public:
  explicit TNewDBForm(QWidget *parent = nullptr);
  QLineEdit *&DBNameEd = NameEd;

protected:
  void showEvent(QShowEvent *event) override;

private:
  void FormShow();
  bool m_placed = false;
};
