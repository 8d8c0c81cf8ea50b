// The "Info" dialog: a picture, the product's name, a copyright line with the
// current year, and a button that opens the project's web site.
#pragma once

#include <QDialog>
#include <QUrl>

class BitBtnXP;
class QLabel;

class TAboutBox : public QDialog {
  Q_OBJECT
public:
  explicit TAboutBox(QWidget *parent = nullptr);

  QLabel *ProgramIcon;
  QLabel *ProductName;
  QLabel *Copyright;
  BitBtnXP *WebBtn;
  BitBtnXP *OKButton;

  static QUrl WebAddress();
  // The copyright line for a given year.
  static QString CopyrightLine(int year);

  // The dialog takes its size when first shown: measuring the large bold
  // product name loads a font face that the start of the program need not.
  void setVisible(bool visible) override;

public slots:
  void WebBtnClick();
};
