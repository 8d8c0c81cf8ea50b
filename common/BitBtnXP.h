// The glyph push button used on every form: a push button with a picture and
// a kind that sets its picture and its keyboard role. OK makes it a default
// button (Enter), Cancel a cancel button (Escape); All only sets the picture.
#pragma once

#include <QPushButton>
#include <QStyle>

class QKeyEvent;

class BitBtnXP : public QPushButton {
  Q_OBJECT
public:
  enum class Kind { Custom, Ok, Cancel, All };

  BitBtnXP(const QString &caption, Kind kind, QWidget *parent);

  Kind kind() const { return m_kind; }
  // Own picture for buttons of kind Custom.
  void setGlyph(QStyle::StandardPixmap pixmap);
  // Keyboard roles; set by the kind, and settable for buttons with their own picture.
  void setDefaultRole(bool on) { m_defaultRole = on; }
  void setCancelRole(bool on) { m_cancelRole = on; }
  bool hasDefaultRole() const { return m_defaultRole; }
  bool hasCancelRole() const { return m_cancelRole; }

  // At least the designed size, and never smaller than the text needs.
  void setDesignSize(int width, int height);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

private:
  Kind m_kind;
  QSize m_designSize;
  bool m_defaultRole = false;
  bool m_cancelRole = false;
};

// Enter and Escape for a form whose buttons are given in creation order:
// Enter (when the focus is not on a button) clicks the first enabled default
// button, Escape the first enabled cancel button. Returns whether the key
// was used.
bool HandleFormKey(QKeyEvent *event, const QList<BitBtnXP *> &buttonsInCreationOrder);

// The text of a caption without its accelerator marks, for accessible names.
QString PlainCaption(const QString &caption);
