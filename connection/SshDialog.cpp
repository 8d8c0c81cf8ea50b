#include "connection/SshDialog.h"

#include "common/FormTools.h"
#include "common/Interaction.h"
#include "connection/IntegerText.h"
#include "ssh/SshTunnel.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TSshDialog::TSshDialog(QWidget *parent) : QDialog(parent) {
  SetUpFixedDialog(this, QStringLiteral("SshDialog"), QStringLiteral("Verbindung über SSH"));

  LabelConnection = new QLabel(this);
  // A host or user name is shown as typed, never read as markup.
  LabelConnection->setTextFormat(Qt::PlainText);
  UseSshBox = new QCheckBox(QStringLiteral("Über &SSH verbinden (SSH-Tunnel)"), this);
  LabelSshHost = new QLabel(QStringLiteral("SSH-&Host:"), this);
  EditSshHost = new QLineEdit(this);
  EditSshHost->setPlaceholderText(QStringLiteral("Name, Adresse oder Alias aus ~/.ssh/config"));
  LabelSshUser = new QLabel(QStringLiteral("SSH-&Benutzer:"), this);
  EditSshUser = new QLineEdit(this);
  LabelSshPort = new QLabel(QStringLiteral("SSH-P&ort:"), this);
  EditSshPort = new QLineEdit(this);
  EditSshPort->setMaxLength(5);
  LabelKeyFile = new QLabel(QStringLiteral("S&chlüsseldatei:"), this);
  EditKeyFile = new QLineEdit(this);
  BrowseBtn = new BitBtnXP(QStringLiteral("&Durchsuchen..."), BitBtnXP::Kind::Custom, this);
  BrowseBtn->setGlyph(QStyle::SP_DirOpenIcon);
  HintLabel = new QLabel(
      QStringLiteral("Leere Felder nimmt ssh aus ~/.ssh/config (dort auch ProxyJump) oder aus "
                     "seinen Vorgaben; ein Schlüssel im SSH-Agenten wird genutzt. Der Schlüssel "
                     "des SSH-Hosts wird mit known_hosts geprüft. Host und Port der Datenbank "
                     "gelten so, wie der SSH-Host sie erreicht."),
      this);
  HintLabel->setWordWrap(true);
  QHBoxLayout *buttons = OkCancelRow(this, ButtonOK, ButtonCancel);

  LabelConnection->setObjectName(QStringLiteral("LabelConnection"));
  UseSshBox->setObjectName(QStringLiteral("UseSshBox"));
  LabelSshHost->setObjectName(QStringLiteral("LabelSshHost"));
  EditSshHost->setObjectName(QStringLiteral("EditSshHost"));
  LabelSshUser->setObjectName(QStringLiteral("LabelSshUser"));
  EditSshUser->setObjectName(QStringLiteral("EditSshUser"));
  LabelSshPort->setObjectName(QStringLiteral("LabelSshPort"));
  EditSshPort->setObjectName(QStringLiteral("EditSshPort"));
  LabelKeyFile->setObjectName(QStringLiteral("LabelKeyFile"));
  EditKeyFile->setObjectName(QStringLiteral("EditKeyFile"));
  BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
  HintLabel->setObjectName(QStringLiteral("HintLabel"));

  const std::pair<QLabel *, QLineEdit *> fields[] = {{LabelSshHost, EditSshHost},
                                                     {LabelSshUser, EditSshUser},
                                                     {LabelSshPort, EditSshPort},
                                                     {LabelKeyFile, EditKeyFile}};
  for (const auto &[label, edit] : fields) {
    label->setBuddy(edit);
    edit->setAccessibleName(PlainCaption(label->text()).chopped(1));
  }
  EditSshUser->setAccessibleDescription(QStringLiteral("leer: aus ~/.ssh/config"));
  EditSshPort->setAccessibleDescription(QStringLiteral("leer: aus ~/.ssh/config oder 22"));
  EditKeyFile->setAccessibleDescription(QStringLiteral("leer: SSH-Agent und ~/.ssh/config"));
  UseSshBox->setAccessibleName(PlainCaption(UseSshBox->text()));
  BrowseBtn->setAccessibleName(QStringLiteral("Schlüsseldatei wählen"));

  auto *grid = new QGridLayout;
  grid->setColumnMinimumWidth(0, 20);
  for (int row = 0; row < 4; ++row) {
    grid->addWidget(fields[row].first, row, 1);
    grid->addWidget(fields[row].second, row, 2, 1, row == 3 ? 1 : 2);
  }
  EditSshPort->setMaximumWidth(
      EditSshPort->fontMetrics().horizontalAdvance(QStringLiteral("65535")) + 24);
  grid->addWidget(BrowseBtn, 3, 3);
  grid->setColumnStretch(2, 1);
  grid->setColumnMinimumWidth(2, 260);

  auto *outer = new QVBoxLayout(this);
  outer->addWidget(LabelConnection);
  outer->addWidget(UseSshBox);
  outer->addLayout(grid);
  outer->addWidget(HintLabel);
  outer->addLayout(buttons);
  outer->setSizeConstraint(QLayout::SetFixedSize);

  SetTabChain({UseSshBox, EditSshHost, EditSshUser, EditSshPort, EditKeyFile, BrowseBtn, ButtonOK,
               ButtonCancel});
  connect(ButtonOK, &QPushButton::clicked, this,
          [this] { RunHandler(this, [this] { ButtonOKClick(); }); });
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(BrowseBtn, &QPushButton::clicked, this,
          [this] { RunHandler(this, [this] { BrowseBtnClick(); }); });
  connect(UseSshBox, &QCheckBox::toggled, this, [this] { EnableControls(); });
}

void TSshDialog::Fill(const QString &name, const SshSettings &settings) {
  LabelConnection->setText(QStringLiteral("Verbindung: %1").arg(name));
  UseSshBox->setChecked(settings.enabled);
  EditSshHost->setText(settings.host);
  EditSshUser->setText(settings.user);
  EditSshPort->setText(settings.port > 0 ? QString::number(settings.port) : QString());
  EditKeyFile->setText(settings.keyFile);
  EnableControls();
}

SshSettings TSshDialog::Settings() const {
  return {UseSshBox->isChecked(), EditSshHost->text().trimmed(), EditSshUser->text().trimmed(),
          NumberInRange(EditSshPort->text(), 1, 65535, 0).value_or(0), EditKeyFile->text()};
}

void TSshDialog::BrowseBtnClick() {
  const QString start = EditKeyFile->text().isEmpty() ? QDir::homePath() + QStringLiteral("/.ssh")
                                                      : EditKeyFile->text();
  const QString file =
      QFileDialog::getOpenFileName(this, QStringLiteral("Schlüsseldatei wählen"), start);
  if (!file.isEmpty())
    EditKeyFile->setText(file);
}

void TSshDialog::ButtonOKClick() {
  if (UseSshBox->isChecked()) {
    const SshSettings settings = Settings();
    // A port that is no number is out of range, so that it is named as such.
    const std::int32_t port = NumberInRange(EditSshPort->text(), 1, 65535, 0).value_or(-1);
    const QString problem =
        SshRouteProblem({settings.host, settings.user, port, settings.keyFile, {}, 0, 0});
    if (!problem.isEmpty()) {
      ShowMessage(this, problem);
      return;
    }
  }
  accept();
}

void TSshDialog::EnableControls() {
  for (QWidget *control : std::initializer_list<QWidget *>{LabelSshHost, EditSshHost, LabelSshUser,
                                                           EditSshUser, LabelSshPort, EditSshPort,
                                                           LabelKeyFile, EditKeyFile, BrowseBtn})
    control->setEnabled(UseSshBox->isChecked());
}
