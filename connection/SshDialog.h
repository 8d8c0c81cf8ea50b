// The SSH settings of one connection (host, port and user): whether it goes
// through an SSH host, and which. Opened from the connection dialog's
// "SSH..." button; the caller stores what it returns.
#pragma once

#include "common/BitBtnXP.h"
#include "connection/SshSettings.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

class TSshDialog : public QDialog {
  Q_OBJECT
public:
  explicit TSshDialog(QWidget *parent = nullptr);

  QLabel *LabelConnection;
  QCheckBox *UseSshBox;
  QLabel *LabelSshHost;
  QLineEdit *EditSshHost;
  QLabel *LabelSshUser;
  QLineEdit *EditSshUser;
  QLabel *LabelSshPort;
  QLineEdit *EditSshPort;
  QLabel *LabelKeyFile;
  QLineEdit *EditKeyFile;
  BitBtnXP *BrowseBtn;
  QLabel *HintLabel;
  BitBtnXP *ButtonOK;
  BitBtnXP *ButtonCancel;

  // Shows the settings of the connection `name` ("user@host:port").
  void Fill(const QString &name, const SshSettings &settings);
  // What the controls say now (an SSH port that is no number reads as 0).
  SshSettings Settings() const;

public slots:
  void BrowseBtnClick();
  void ButtonOKClick();

private:
  void EnableControls();
};
