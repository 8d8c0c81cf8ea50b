#include "ssh/SshPromptDialog.h"

#include "common/FormTools.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TSshPromptDialog::TSshPromptDialog(QWidget *parent) : QDialog(parent) {
  SetUpFixedDialog(this, QStringLiteral("SshPromptDialog"), QStringLiteral("SSH-Anmeldung"));
  PromptLabel = new QLabel(this);
  // A key's file name or a host's prompt is shown as typed, never as markup.
  PromptLabel->setTextFormat(Qt::PlainText);
  PromptLabel->setWordWrap(true);
  PromptLabel->setMinimumWidth(360);
  EditAnswer = new QLineEdit(this);
  EditAnswer->setEchoMode(QLineEdit::Password);
  PromptLabel->setBuddy(EditAnswer);
  QHBoxLayout *buttons = OkCancelRow(this, ButtonOK, ButtonCancel);
  PromptLabel->setObjectName(QStringLiteral("PromptLabel"));
  EditAnswer->setObjectName(QStringLiteral("EditAnswer"));

  auto *outer = new QVBoxLayout(this);
  outer->addWidget(PromptLabel);
  outer->addWidget(EditAnswer);
  outer->addLayout(buttons);
  outer->setSizeConstraint(QLayout::SetFixedSize);
  SetTabChain({EditAnswer, ButtonOK, ButtonCancel});
  connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TSshPromptDialog::Fill(const QString &caption) {
  PromptLabel->setText(caption);
  EditAnswer->setAccessibleName(caption);
  EditAnswer->clear();
  EditAnswer->setFocus();
}
