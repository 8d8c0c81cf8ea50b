#include "connection/TlsDialog.h"

#include "clientlib/TlsProbe.h"
#include "common/FormTools.h"
#include "common/Interaction.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

TTlsDialog::TTlsDialog(QWidget *parent) : QDialog(parent) {
  SetUpFixedDialog(this, QStringLiteral("TlsDialog"), QStringLiteral("Verschlüsselung (TLS)"));

  LabelConnection = new QLabel(this);
  // A host or user name is shown as typed, never read as markup.
  LabelConnection->setTextFormat(Qt::PlainText);
  RequiredBox = new QCheckBox(QStringLiteral("Verschlüsselung &verlangen: ohne TLS nicht "
                                             "verbinden"),
                              this);
  CheckGroup = new QGroupBox(QStringLiteral("Identität des Servers prüfen"), this);
  CheckNone = new QRadioButton(QStringLiteral("&Nicht prüfen"), CheckGroup);
  CheckCa = new QRadioButton(QStringLiteral("Mit &CA-Datei:"), CheckGroup);
  EditCaFile = new QLineEdit(CheckGroup);
  BrowseBtn = new BitBtnXP(QStringLiteral("&Durchsuchen..."), BitBtnXP::Kind::Custom, CheckGroup);
  BrowseBtn->setGlyph(QStyle::SP_DirOpenIcon);
  CheckFingerprint = new QRadioButton(
      QStringLiteral("&Fingerabdruck beim ersten Verbinden bestätigen, danach prüfen"), CheckGroup);
  LabelFingerprint = new QLabel(QStringLiteral("Vertrauter Fingerabdruck (SHA-256):"), CheckGroup);
  FingerprintValue = new QLabel(CheckGroup);
  FingerprintValue->setTextFormat(Qt::PlainText);
  FingerprintValue->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                            Qt::TextSelectableByKeyboard);
  FingerprintValue->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  FingerprintValue->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // Room for two lines of sixteen bytes, also while none is trusted.
  FingerprintValue->setMinimumSize(
      FingerprintValue->fontMetrics().size(0, FingerprintLines(QString(95, QLatin1Char('D')))) +
      QSize(12, 8));
  ForgetBtn =
      new BitBtnXP(QStringLiteral("Fingerabdruck ver&gessen"), BitBtnXP::Kind::Custom, CheckGroup);
  ForgetBtn->setGlyph(QStyle::SP_TrashIcon);
  QHBoxLayout *buttons = OkCancelRow(this, ButtonOK, ButtonCancel);

  LabelConnection->setObjectName(QStringLiteral("LabelConnection"));
  RequiredBox->setObjectName(QStringLiteral("RequiredBox"));
  CheckGroup->setObjectName(QStringLiteral("CheckGroup"));
  CheckNone->setObjectName(QStringLiteral("CheckNone"));
  CheckCa->setObjectName(QStringLiteral("CheckCa"));
  EditCaFile->setObjectName(QStringLiteral("EditCaFile"));
  BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
  CheckFingerprint->setObjectName(QStringLiteral("CheckFingerprint"));
  LabelFingerprint->setObjectName(QStringLiteral("LabelFingerprint"));
  FingerprintValue->setObjectName(QStringLiteral("FingerprintValue"));
  ForgetBtn->setObjectName(QStringLiteral("ForgetBtn"));

  for (QWidget *control : std::initializer_list<QWidget *>{RequiredBox, CheckNone, CheckCa,
                                                           BrowseBtn, CheckFingerprint, ForgetBtn})
    control->setAccessibleName(PlainCaption(static_cast<QAbstractButton *>(control)->text()));
  EditCaFile->setAccessibleName(QStringLiteral("CA-Datei"));
  FingerprintValue->setAccessibleName(QStringLiteral("Vertrauter Fingerabdruck"));

  auto *check = new QGridLayout(CheckGroup);
  check->setColumnMinimumWidth(0, 20);
  check->addWidget(CheckNone, 0, 0, 1, 3);
  check->addWidget(CheckCa, 1, 0, 1, 3);
  check->addWidget(EditCaFile, 2, 1);
  check->addWidget(BrowseBtn, 2, 2);
  check->addWidget(CheckFingerprint, 3, 0, 1, 3);
  check->addWidget(LabelFingerprint, 4, 1, 1, 2);
  check->addWidget(FingerprintValue, 5, 1);
  check->addWidget(ForgetBtn, 5, 2);
  check->setColumnStretch(1, 1);

  auto *outer = new QVBoxLayout(this);
  outer->addWidget(LabelConnection);
  outer->addWidget(RequiredBox);
  outer->addWidget(CheckGroup);
  outer->addLayout(buttons);
  outer->setSizeConstraint(QLayout::SetFixedSize);

  SetTabChain({RequiredBox, CheckNone, CheckCa, EditCaFile, BrowseBtn, CheckFingerprint,
               FingerprintValue, ForgetBtn, ButtonOK, ButtonCancel});
  connect(ButtonOK, &QPushButton::clicked, this,
          [this] { RunHandler(this, [this] { ButtonOKClick(); }); });
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(BrowseBtn, &QPushButton::clicked, this,
          [this] { RunHandler(this, [this] { BrowseBtnClick(); }); });
  connect(ForgetBtn, &QPushButton::clicked, this,
          [this] { RunHandler(this, [this] { ForgetBtnClick(); }); });
  for (QRadioButton *choice : {CheckNone, CheckCa, CheckFingerprint})
    connect(choice, &QRadioButton::toggled, this, [this] { EnableControls(); });
}

void TTlsDialog::Fill(const QString &name, const TlsSettings &settings) {
  LabelConnection->setText(QStringLiteral("Verbindung: %1").arg(name));
  RequiredBox->setChecked(settings.required);
  CheckNone->setChecked(settings.check == TlsSettings::Check::None);
  CheckCa->setChecked(settings.check == TlsSettings::Check::CaFile);
  CheckFingerprint->setChecked(settings.check == TlsSettings::Check::Fingerprint);
  EditCaFile->setText(settings.caFile);
  m_fingerprint = settings.fingerprint;
  m_libraryFingerprint = settings.libraryFingerprint;
  EnableControls();
}

TlsSettings TTlsDialog::Settings() const {
  TlsSettings settings;
  settings.required = RequiredBox->isChecked();
  settings.check = CheckCa->isChecked()     ? TlsSettings::Check::CaFile
                   : CheckNone->isChecked() ? TlsSettings::Check::None
                                            : TlsSettings::Check::Fingerprint;
  settings.caFile = EditCaFile->text();
  settings.fingerprint = m_fingerprint;
  settings.libraryFingerprint = m_libraryFingerprint;
  return settings;
}

void TTlsDialog::BrowseBtnClick() {
  const QString file = QFileDialog::getOpenFileName(
      this, QStringLiteral("CA-Datei wählen"), EditCaFile->text(),
      QStringLiteral("Zertifikate (*.pem *.crt *.cer);;Alle Dateien (*)"));
  if (!file.isEmpty())
    EditCaFile->setText(file);
}

void TTlsDialog::ForgetBtnClick() {
  m_fingerprint.clear();
  m_libraryFingerprint.clear();
  EnableControls();
}

void TTlsDialog::ButtonOKClick() {
  if (CheckCa->isChecked() && EditCaFile->text().isEmpty()) {
    ShowMessage(this, QStringLiteral("Bitte geben Sie die CA-Datei an, mit der das Zertifikat des "
                                     "Servers geprüft werden soll."));
    EditCaFile->setFocus();
    return;
  }
  accept();
}

void TTlsDialog::EnableControls() {
  EditCaFile->setEnabled(CheckCa->isChecked());
  BrowseBtn->setEnabled(CheckCa->isChecked());
  FingerprintValue->setText(m_fingerprint.isEmpty() ? QStringLiteral("(keiner)")
                                                    : FingerprintLines(m_fingerprint));
  ForgetBtn->setEnabled(!m_fingerprint.isEmpty());
}
