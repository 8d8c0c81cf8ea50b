// A secret that ssh asks for while it opens a tunnel (a key's passphrase, a
// password), typed into a masked edit.
#pragma once

#include "common/BitBtnXP.h"

#include <QDialog>

class QLabel;
class QLineEdit;

class TSshPromptDialog : public QDialog {
  Q_OBJECT
public:
  explicit TSshPromptDialog(QWidget *parent = nullptr);

  QLabel *PromptLabel;
  QLineEdit *EditAnswer;
  BitBtnXP *ButtonOK;
  BitBtnXP *ButtonCancel;

  // Shows `caption` above an empty edit.
  void Fill(const QString &caption);
};
