#include "common/FormTools.h"

#include "common/BitBtnXP.h"

#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>

#include <algorithm>

void CentreOnScreen(QWidget *window) {
  QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

void PlaceOverOwner(QWidget *window, const QWidget *owner) {
  QScreen *screen = owner && owner->screen() ? owner->screen() : window->screen();
  if (!screen)
    screen = QGuiApplication::primaryScreen();
  if (!screen)
    return;
  const QRect area = screen->availableGeometry();
  // The desktop's frame around a window that is not shown yet is unknown:
  // the owner's stands for it.
  QMargins frame;
  if (owner && owner->isVisible()) {
    const QRect outer = owner->frameGeometry(), inner = owner->geometry();
    frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                     outer.right() - inner.right(), outer.bottom() - inner.bottom());
  }
  const QRect room = area.marginsRemoved(frame);
  QRect placed(QPoint(), window->size().boundedTo(room.size()));
  placed.moveCenter(owner && owner->isVisible() ? owner->geometry().center() : area.center());
  placed.moveLeft(std::clamp(placed.left(), room.left(), room.right() - placed.width() + 1));
  placed.moveTop(std::clamp(placed.top(), room.top(), room.bottom() - placed.height() + 1));
  window->setGeometry(placed);
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
