#include "connection/PasswordPrompt.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TPasswordPrompt::TPasswordPrompt(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PasswordPrompt"));
  setWindowTitle(QStringLiteral("Passwort eingeben"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  LabelText = new QLabel(this);
  // A host or user name is shown as typed, never read as markup.
  LabelText->setTextFormat(Qt::PlainText);
  LabelText->setWordWrap(true);
  LabelText->setMinimumWidth(360);
  EditPass = new QLineEdit(this);
  EditPass->setEchoMode(QLineEdit::Password);
  EditPass->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  EditPass->setMaxLength(128);
  EditPass->setAccessibleName(QStringLiteral("Passwort"));
  LabelText->setBuddy(EditPass);
  ButtonOK = new BitBtnXP(QStringLiteral("&Verbinden"), BitBtnXP::Kind::Ok, this);
  ButtonOK->setDefault(true);
  ButtonCancel = new BitBtnXP(QStringLiteral("A&bbrechen"), BitBtnXP::Kind::Cancel, this);
  ButtonOK->setDesignSize(97, 23);
  ButtonCancel->setDesignSize(89, 23);
  LabelText->setObjectName(QStringLiteral("LabelText"));
  EditPass->setObjectName(QStringLiteral("EditPass"));
  ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
  ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));

  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ButtonOK);
  buttons->addWidget(ButtonCancel);
  auto *outer = new QVBoxLayout(this);
  outer->setContentsMargins(16, 16, 16, 12);
  outer->addWidget(LabelText);
  outer->addWidget(EditPass);
  outer->addSpacing(6);
  outer->addLayout(buttons);
  outer->setSizeConstraint(QLayout::SetFixedSize);

  connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TPasswordPrompt::Fill(const ConnectionKey &key, const QString &why) {
  const QString question = QStringLiteral("Passwort für „%1“:").arg(key.caption());
  LabelText->setText(why.isEmpty() ? question : why + QStringLiteral("\n\n") + question);
  EditPass->clear();
  EditPass->setFocus();
}
