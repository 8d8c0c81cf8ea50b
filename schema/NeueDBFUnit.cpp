#include "schema/NeueDBFUnit.h"

#include "common/FormTools.h"

#include <QLineEdit>

TNewDBForm::TNewDBForm(QWidget *parent)
    : TNameDialog(QStringLiteral("Neue Datenbank"), QStringLiteral("Datenbank Name:"), parent) {
  setObjectName(QStringLiteral("NewDBForm"));
  DBNameEd->setObjectName(QStringLiteral("DBNameEd"));
}

void TNewDBForm::showEvent(QShowEvent *event) {
  TNameDialog::showEvent(event);
  if (!m_placed) {
    m_placed = true;
    CentreOnScreen(this);
  }
  FormShow();
}

void TNewDBForm::FormShow() { DBNameEd->setFocus(); }
