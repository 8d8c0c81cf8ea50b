// The small dialog that asks for one name: a label, an edit, a line above
// the button strip, "OK" and "Abbrechen". The new-database and rename-table
// dialogs are two of these.
#pragma once

#include "common/BitBtnXP.h"

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;

class TNameDialog : public QDialog {
  Q_OBJECT
public:
  TNameDialog(const QString &caption, const QString &label, QWidget *parent);

  QLabel *NameLabel;
  QLineEdit *NameEd;
  QFrame *Line;
  BitBtnXP *BitBtnXP1; // "OK"
  BitBtnXP *BitBtnXP2; // "Abbrechen"

protected:
  void keyPressEvent(QKeyEvent *event) override;
};
