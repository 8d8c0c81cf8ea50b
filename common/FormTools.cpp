#include "common/FormTools.h"

#include "common/BitBtnXP.h"

#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>

void CentreOnScreen(QWidget *window) {
  QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

void SetUpFixedDialog(QDialog *dialog, const QString &objectName, const QString &title) {
  dialog->setObjectName(objectName);
  dialog->setWindowTitle(title);
  dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint);
}

QHBoxLayout *OkCancelRow(QWidget *parent, BitBtnXP *&ok, BitBtnXP *&cancel) {
  ok = new BitBtnXP(QStringLiteral("OK"), BitBtnXP::Kind::Ok, parent);
  ok->setDefault(true);
  ok->setDesignSize(97, 23);
  ok->setObjectName(QStringLiteral("ButtonOK"));
  cancel = new BitBtnXP(QStringLiteral("Abbrechen"), BitBtnXP::Kind::Cancel, parent);
  cancel->setDesignSize(89, 23);
  cancel->setObjectName(QStringLiteral("ButtonCancel"));
  auto *row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}
