// The TLS settings of one connection (host, port and user): whether TLS is
// required, and how the server's certificate is checked. Opened from the
// connection dialog's "TLS..." button; the caller stores what it returns.
#pragma once

#include "common/BitBtnXP.h"
#include "connection/TlsSettings.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

class TTlsDialog : public QDialog {
  Q_OBJECT
public:
  explicit TTlsDialog(QWidget *parent = nullptr);

  QLabel *LabelConnection;
  QCheckBox *RequiredBox;
  QGroupBox *CheckGroup;
  QRadioButton *CheckNone;
  QRadioButton *CheckCa;
  QLineEdit *EditCaFile;
  BitBtnXP *BrowseBtn;
  QRadioButton *CheckFingerprint;
  QLabel *LabelFingerprint;
  QLabel *FingerprintValue; // in two lines, selectable
  BitBtnXP *ForgetBtn;
  BitBtnXP *ButtonOK;
  BitBtnXP *ButtonCancel;

  // Shows the settings of the connection `name` ("user@host:port").
  void Fill(const QString &name, const TlsSettings &settings);
  // What the controls say now.
  TlsSettings Settings() const;

public slots:
  void BrowseBtnClick();
  void ForgetBtnClick();
  void ButtonOKClick();

private:
  void EnableControls();
  // The trusted certificate as shown and as the client library checks it.
  QString m_fingerprint;
  QString m_libraryFingerprint;
};
