// The fair yardstick for start-up time: a Qt Widgets window of the main
// window's size with what the main window shows at start, and nothing of
// the program: three lists with headers and twelve buttons with text and
// icons, in layouts.
#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(750, 550);
  auto *layout = new QVBoxLayout(&window);
  auto *lists = new QHBoxLayout;
  const QList<QStringList> headers{{QStringLiteral("Datenbanken")},
                                   {QStringLiteral("Tabellen der Datenbank")},
                                   {QStringLiteral("Felder"), QStringLiteral("Typ")}};
  for (const QStringList &header : headers) {
    auto *list = new QTreeWidget;
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setHeaderLabels(header);
    lists->addWidget(list);
  }
  layout->addLayout(lists);
  auto *buttons = new QGridLayout;
  const QStyle::StandardPixmap icons[] = {QStyle::SP_DialogOkButton, QStyle::SP_DialogCancelButton,
                                          QStyle::SP_DialogApplyButton};
  for (int i = 0; i < 12; ++i)
    buttons->addWidget(new QPushButton(window.style()->standardIcon(icons[i % 3]),
                                       QStringLiteral("Schaltfläche %1...").arg(i + 1)),
                       i / 4, i % 4);
  layout->addLayout(buttons);
  window.show();
  return QApplication::exec();
}
