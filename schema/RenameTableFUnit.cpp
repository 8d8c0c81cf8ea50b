#include "schema/RenameTableFUnit.h"

#include <QLineEdit>

TRenameTableForm::TRenameTableForm(QWidget *parent)
    : TNameDialog(QStringLiteral("Tabelle umbenennen"), QStringLiteral("Tabellen Name:"), parent) {
  setObjectName(QStringLiteral("RenameTableForm"));
  TableNameEd->setObjectName(QStringLiteral("TableNameEd"));
  move(DesignedPosition);
}

void TRenameTableForm::showEvent(QShowEvent *event) {
  TNameDialog::showEvent(event);
  TableNameEd->setFocus();
}
