// The whole-number spin box of the field editor: 1 to 10000, steps of 1, a
// typed number outside the range is pulled to the nearest bound when the box
// loses the focus. Besides a number it can show nothing at all: a field whose
// type takes no length is put back into the editor with an empty length, and
// the box shows that empty text until the user types or steps.
#pragma once

#include <QSpinBox>

class RxSpinEdit : public QSpinBox {
  Q_OBJECT
public:
  RxSpinEdit(int value, QWidget *parent);

  // Shows `text`: a whole number as that value (pulled into the range), an
  // empty or non-numeric text as an empty box that keeps its last value.
  void setText(const QString &text);
  bool isBlank() const { return m_blank; }

protected:
  QString textFromValue(int value) const override;
  // An empty box is a valid state that keeps its number.
  QValidator::State validate(QString &input, int &pos) const override;
  int valueFromText(const QString &text) const override;
  void stepBy(int steps) override;

private:
  void refresh();
  bool m_blank = false;
};
