// The yardstick for start-up time and memory: the least a Qt Widgets program
// does to show one empty window of the main window's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(750, 550);
  window.show();
  return QApplication::exec();
}
