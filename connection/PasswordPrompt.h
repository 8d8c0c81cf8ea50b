// Asks for the password of one connection whose password is not saved: at
// every connect when the user chose so, and when the keyring cannot give it.
// The password shows as "*" only, like the connection dialog's.
#pragma once

#include "common/BitBtnXP.h"
#include "connection/ConnectionKey.h"

#include <QDialog>

class QLabel;
class QLineEdit;

class TPasswordPrompt : public QDialog {
  Q_OBJECT
public:
  explicit TPasswordPrompt(QWidget *parent = nullptr);

  QLabel *LabelText;
  QLineEdit *EditPass;
  BitBtnXP *ButtonOK;
  BitBtnXP *ButtonCancel;

  // Asks for the password of `key`; `why`, when given, is said first.
  void Fill(const ConnectionKey &key, const QString &why);
};
