#include "common/BitBtnXP.h"

#include <QApplication>
#include <QKeyEvent>

namespace {
QStyle::StandardPixmap pixmapOf(BitBtnXP::Kind kind) {
  switch (kind) {
  case BitBtnXP::Kind::Ok: return QStyle::SP_DialogOkButton;
  case BitBtnXP::Kind::Cancel: return QStyle::SP_DialogCancelButton;
  case BitBtnXP::Kind::All: return QStyle::SP_DialogApplyButton;
  case BitBtnXP::Kind::Custom: break;
  }
  return QStyle::SP_CustomBase;
}
} // namespace

BitBtnXP::BitBtnXP(const QString &caption, Kind kind, QWidget *parent)
    : QPushButton(caption, parent), m_kind(kind), m_defaultRole(kind == Kind::Ok),
      m_cancelRole(kind == Kind::Cancel) {
  if (kind != Kind::Custom)
    setGlyph(pixmapOf(kind));
  // Enter on a focused button clicks it, on every form.
  setAutoDefault(true);
  setAccessibleName(PlainCaption(caption));
}

void BitBtnXP::setGlyph(QStyle::StandardPixmap pixmap) { setIcon(style()->standardIcon(pixmap)); }

void BitBtnXP::setDesignSize(int width, int height) {
  m_designSize = QSize(width, height);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  updateGeometry();
}

QSize BitBtnXP::sizeHint() const { return QPushButton::sizeHint().expandedTo(m_designSize); }

bool HandleFormKey(QKeyEvent *event, const QList<BitBtnXP *> &buttonsInCreationOrder) {
  const int key = event->key();
  const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  const bool escape = key == Qt::Key_Escape;
  if ((!enter && !escape) || (event->modifiers() & ~Qt::KeypadModifier))
    return false;
  if (enter && qobject_cast<QAbstractButton *>(QApplication::focusWidget()))
    return false;
  for (BitBtnXP *button : buttonsInCreationOrder) {
    const bool role = enter ? button->hasDefaultRole() : button->hasCancelRole();
    if (role && button->isEnabled() && button->isVisibleTo(button->window())) {
      button->click();
      return true;
    }
  }
  return false;
}

QString PlainCaption(const QString &caption) {
  QString plain;
  plain.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
      ++i; // "&&" stands for one ampersand, "&x" for x
    plain += caption[i];
  }
  return plain;
}
