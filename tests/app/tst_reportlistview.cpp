// The report list against the tree view that the lists were built on
// before: set up as they were (no branches, rows of one height, whole rows
// selected, one at a time, cut texts ending in "..."), over the same rows,
// the two must look alike to the pixel, read alike to a screen reader, and
// answer keys, typed names and clicks alike.
#include "common/ReportListView.h"

#include <QAccessible>
#include <QDir>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QTreeView>
#include <QtTest>

#include <array>

namespace {

const QStringList Names{QStringLiteral("artikel"),
                        QStringLiteral("bestellpositionen"),
                        QStringLiteral("bestellungen"),
                        QStringLiteral("Übersicht_der_Bestände_mit_einem_Namen_der_nicht_passt"),
                        QStringLiteral("zwei\nZeilen"),
                        QStringLiteral("جدول_الطلبات"),
                        QString(),
                        QStringLiteral("kunden")};

// A list and, over its very rows, a tree view made as the lists were; both
// top-level windows of the same size at the same place.
struct Pair {
  ReportListView list;
  QTreeView tree;

  Pair(const QStringList &captions, const QList<int> &widths, int rows, QSize size) {
    list.setColumns(captions, widths);
    for (int row = 0; row < rows; ++row) {
      QStringList cells;
      for (int column = 0; column < captions.size(); ++column)
        cells << Names[(row + column) % Names.size()] + (row >= Names.size() ? "_" : "");
      list.items().appendRow(cells);
    }
    tree.setModel(&list.items());
    tree.setRootIsDecorated(false);
    tree.setItemsExpandable(false);
    tree.setUniformRowHeights(true);
    tree.setAllColumnsShowFocus(true);
    tree.setSelectionMode(QAbstractItemView::SingleSelection);
    tree.setSelectionBehavior(QAbstractItemView::SelectRows);
    tree.setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree.setTextElideMode(Qt::ElideRight);
    tree.header()->setStretchLastSection(false);
    tree.header()->setSectionsMovable(false);
    tree.setFont(list.font());
    for (int column = 0; column < widths.size(); ++column)
      tree.setColumnWidth(column, widths[column]);
    for (QAbstractItemView *view : views()) {
      view->setGeometry(QRect(QPoint(40, 40), size));
      view->show();
      QVERIFY(QTest::qWaitForWindowExposed(view));
    }
    // Both with the same past: once with the keyboard focus (which makes the
    // first row the current one), then without.
    for (QAbstractItemView *view : views()) {
      view->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(view));
      view->setFocus();
      view->clearFocus();
    }
  }
  std::array<QAbstractItemView *, 2> views() { return {&list, &tree}; }
  void selectRow(int row) {
    for (QAbstractItemView *view : views())
      view->selectionModel()->setCurrentIndex(list.items().index(row, 0),
                                              QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
  }
  // What `view` shows in its active window, with the keyboard focus or without.
  static QImage shot(QAbstractItemView *view, bool focused) {
    view->activateWindow();
    if (!QTest::qWaitForWindowActive(view))
      return {};
    if (focused)
      view->setFocus();
    else
      view->clearFocus();
    return view->grab().toImage();
  }
};

// Saves both pictures where they can be looked at when they differ.
void compareShots(const QImage &list, const QImage &tree, const char *what) {
  if (list == tree)
    return;
  const QString base = QDir::temp().filePath(QStringLiteral("tst_reportlistview-%1").arg(what));
  list.save(base + QStringLiteral("-list.png"));
  tree.save(base + QStringLiteral("-tree.png"));
  QFAIL(qPrintable(QStringLiteral("the pictures differ: %1-{list,tree}.png").arg(base)));
}

int childNumber(QAccessibleInterface *list, QAccessibleInterface *part) {
  return part ? list->indexOfChild(part) : -1;
}

// Everything a screen reader can ask of a list part, as one text.
QString describe(QAccessibleInterface *part) {
  if (!part)
    return QStringLiteral("(none)");
  QString text;
  QDebug(&text) << part->role() << part->text(QAccessible::Name)
                << part->text(QAccessible::Description) << part->rect() << part->childCount();
  const QAccessible::State s = part->state();
  QDebug(&text) << s.invisible << s.selected << s.focused << s.focusable << s.selectable
                << s.disabled << s.expandable << s.expanded << s.multiSelectable;
  if (QAccessibleTableCellInterface *cell = part->tableCellInterface()) {
    QDebug(&text) << cell->rowIndex() << cell->columnIndex() << cell->isSelected()
                  << cell->rowExtent() << cell->columnExtent();
    for (QAccessibleInterface *header : cell->columnHeaderCells()) {
      QDebug(&text) << header->text(QAccessible::Name);
      // The tree view hands out header cells that nobody keeps.
      if (!QAccessible::uniqueId(header))
        QAccessible::deleteAccessibleInterface(QAccessible::registerAccessibleInterface(header));
    }
  }
  if (QAccessibleActionInterface *actions = part->actionInterface())
    QDebug(&text) << actions->actionNames();
  return text;
}

QString describeTable(QAccessibleInterface *list) {
  QString text = describe(list);
  QAccessibleTableInterface *table = list->tableInterface();
  QDebug(&text) << table->rowCount() << table->columnCount() << table->selectedRows()
                << table->selectedRowCount() << table->selectedCellCount()
                << childNumber(list, list->focusChild());
  for (int column = 0; column < table->columnCount(); ++column)
    QDebug(&text) << table->columnDescription(column) << table->isColumnSelected(column);
  for (int row = 0; row < table->rowCount(); ++row) {
    QDebug(&text) << table->isRowSelected(row) << table->rowDescription(row);
    for (int column = 0; column < table->columnCount(); ++column) {
      QAccessibleInterface *cell = table->cellAt(row, column);
      QDebug(&text) << childNumber(list, cell) << describe(cell);
      const QPoint middle = cell->rect().center();
      QDebug(&text) << childNumber(list, list->childAt(middle.x(), middle.y()));
    }
  }
  for (int child = 0; child < list->childCount(); ++child)
    QDebug(&text) << child << childNumber(list, list->child(child)) << describe(list->child(child));
  return text;
}

enum class Scroll { None, Down, Right };

} // namespace

Q_DECLARE_METATYPE(Scroll)

class TestReportListView : public QObject {
  Q_OBJECT

private slots:
  void looksAsTheTreeView_data() {
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<Scroll>("scroll");
    QTest::newRow("empty") << 1 << 0 << -1 << false << Scroll::None;
    QTest::newRow("empty with the focus") << 2 << 0 << -1 << true << Scroll::None;
    QTest::newRow("one column, a few rows") << 1 << 8 << -1 << false << Scroll::None;
    QTest::newRow("a row selected") << 1 << 8 << 1 << false << Scroll::None;
    QTest::newRow("a row selected, with the focus") << 1 << 8 << 3 << true << Scroll::None;
    QTest::newRow("two columns, the focus") << 2 << 8 << 5 << true << Scroll::None;
    QTest::newRow("more rows than fit") << 2 << 60 << 2 << false << Scroll::None;
    QTest::newRow("scrolled to the end") << 1 << 60 << 58 << true << Scroll::Down;
    QTest::newRow("scrolled sideways") << 2 << 60 << 4 << true << Scroll::Right;
  }
  void looksAsTheTreeView() {
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(int, selected);
    QFETCH(bool, focused);
    QFETCH(Scroll, scroll);
    Pair pair(columns == 1 ? QStringList{QStringLiteral("Tabellen der Datenbank")}
                           : QStringList{QStringLiteral("Felder"), QStringLiteral("Typ")},
              columns == 1 ? QList<int>{225} : QList<int>{100, 170}, rows, QSize(300, 240));
    if (selected >= 0)
      pair.selectRow(selected);
    for (QAbstractItemView *view : pair.views()) {
      if (scroll == Scroll::Down)
        view->scrollToBottom();
      else if (scroll == Scroll::Right)
        view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum());
    }
    compareShots(Pair::shot(&pair.list, focused), Pair::shot(&pair.tree, focused),
                 QTest::currentDataTag());
  }

  // What reaches the screen after the rows change: the parts a refill
  // repaints (or leaves) add up to what the tree view repaints whole.
  void repaintsAsTheTreeView_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after"); // -1: as many rows with other texts
    QTest::addColumn<int>("selected");
    QTest::newRow("the rows go, the scroll bar too") << 60 << 1 << 30;
    QTest::newRow("rows come, and a scroll bar") << 1 << 60 << 0;
    QTest::newRow("other texts in as many rows") << 60 << -1 << 3;
    QTest::newRow("emptied") << 8 << 0 << 2;
  }
  void repaintsAsTheTreeView() {
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(int, selected);
    Pair pair({QStringLiteral("Tabellen der Datenbank")}, {225}, before, QSize(233, 300));
    // Neither list in the active window, so that both paint alike.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    pair.selectRow(selected);
    QTest::qWait(20);
    pair.list.beginUpdate();
    pair.list.clear();
    const int rows = after < 0 ? before : after;
    for (int row = 0; row < rows; ++row)
      pair.list.items().appendRow(
          QStringLiteral("%1_%2").arg(after < 0 ? "anders" : "neu").arg(row));
    pair.list.endUpdate();
    if (after < 0) {
      // The lists' tree view repainted whole and let the selection go, as
      // after a reset, when only the texts changed.
      const QSignalBlocker quiet(pair.tree.selectionModel());
      pair.tree.selectionModel()->clear();
      pair.tree.viewport()->update();
    }
    auto onScreen = [](QWidget &window) {
      return window.screen()->grabWindow(window.winId()).toImage();
    };
    // The tree view lays its rows out on a timer of its own, late on a busy
    // machine: the two are compared once both have settled (a list that
    // repaints too little stays wrong, since nothing paints it again).
    QImage list, tree;
    (void)QTest::qWaitFor(
        [&] {
          list = onScreen(pair.list);
          tree = onScreen(pair.tree);
          return list == tree;
        },
        2000);
    compareShots(list, tree, QTest::currentDataTag());
  }

  // The header's section dividers: a double click fits the column.
  void fitsColumnsAsTheTreeView() {
    Pair pair({QStringLiteral("Felder"), QStringLiteral("Typ")}, {40, 60}, 30, QSize(300, 240));
    for (QAbstractItemView *view : pair.views()) {
      QHeaderView *header = view == &pair.list ? pair.list.header() : pair.tree.header();
      QMetaObject::invokeMethod(view, "resizeColumnToContents", Q_ARG(int, 0));
      QMetaObject::invokeMethod(view, "resizeColumnToContents", Q_ARG(int, 1));
      QVERIFY(header->sectionSize(0) > 40);
    }
    QCOMPARE(pair.list.columnWidth(0), pair.tree.columnWidth(0));
    QCOMPARE(pair.list.columnWidth(1), pair.tree.columnWidth(1));
    compareShots(Pair::shot(&pair.list, false), Pair::shot(&pair.tree, false), "fitted");
  }

  void answersKeysAsTheTreeView_data() {
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("keys");
    QTest::newRow("down and up") << -1 << "↓↓↓↑";
    QTest::newRow("end and home") << 2 << "⇟⇟⇞↘↖";
    QTest::newRow("beyond the ends") << 0 << "↑↖↑↘↓↓";
    QTest::newRow("a typed name") << -1 << "bestellu";
    QTest::newRow("the same letter again") << 3 << "bbbb";
    QTest::newRow("umlaut and case") << -1 << "üb";
    QTest::newRow("nothing starts so") << 4 << "xq";
    QTest::newRow("left and right scroll") << 1 << "→→←";
    QTest::newRow("keys the list leaves alone") << 1 << "⏎␛";
  }
  void answersKeysAsTheTreeView() {
    QFETCH(int, selected);
    QFETCH(QString, keys);
    Pair pair({QStringLiteral("Felder"), QStringLiteral("Typ")}, {160, 170}, 60, QSize(260, 200));
    if (selected >= 0)
      pair.selectRow(selected);
    const QHash<QChar, Qt::Key> special{{u'↓', Qt::Key_Down},     {u'↑', Qt::Key_Up},
                                        {u'⇟', Qt::Key_PageDown}, {u'⇞', Qt::Key_PageUp},
                                        {u'↘', Qt::Key_End},      {u'↖', Qt::Key_Home},
                                        {u'→', Qt::Key_Right},    {u'←', Qt::Key_Left},
                                        {u'⏎', Qt::Key_Return},   {u'␛', Qt::Key_Escape}};
    for (const QChar key : keys) {
      QStringList seen;
      for (QAbstractItemView *view : pair.views()) {
        QKeyEvent press(QEvent::KeyPress, special.value(key, Qt::Key_unknown), Qt::NoModifier,
                        special.contains(key) ? QString() : QString(key));
        QCoreApplication::sendEvent(view, &press);
        const QModelIndexList rows = view->selectionModel()->selectedRows();
        seen << QStringLiteral("%1 %2 %3 %4 %5")
                    .arg(view->currentIndex().row())
                    .arg(rows.isEmpty() ? -1 : rows.first().row())
                    .arg(view->verticalScrollBar()->value())
                    .arg(view->horizontalScrollBar()->value())
                    .arg(press.isAccepted());
      }
      QCOMPARE(seen[0], seen[1]);
    }
  }

  void answersClicksAsTheTreeView() {
    Pair pair({QStringLiteral("Felder"), QStringLiteral("Typ")}, {100, 120}, 8, QSize(300, 240));
    const QRect cell = pair.list.visualRect(pair.list.items().index(2, 1));
    QCOMPARE(cell, pair.tree.visualRect(pair.list.items().index(2, 1)));
    const QList<QPoint> places{cell.center(),
                               {cell.left() - 50, cell.center().y()},
                               {250, cell.center().y()},
                               {20, pair.list.viewport()->height() - 5}};
    for (const QPoint &at : places) {
      QStringList seen;
      for (QAbstractItemView *view : pair.views()) {
        QSignalSpy clicked(view, &QAbstractItemView::clicked);
        QSignalSpy doubleClicked(view, &QAbstractItemView::doubleClicked);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        const int selectedAfterClick = view->selectionModel()->selectedRows().value(0).row();
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        seen << QStringLiteral("%1 %2 %3 %4")
                    .arg(selectedAfterClick)
                    .arg(view->currentIndex().row())
                    .arg(clicked.count())
                    .arg(doubleClicked.count());
      }
      QCOMPARE(seen[0], seen[1]);
    }
    // A drag from one row to another selects the row where it ends.
    QStringList dragged;
    for (QAbstractItemView *view : pair.views()) {
      QTest::mousePress(view->viewport(), Qt::LeftButton, {}, cell.center());
      QTest::mouseMove(view->viewport(), cell.center() + QPoint(0, 2 * cell.height()));
      QTest::mouseRelease(view->viewport(), Qt::LeftButton, {},
                          cell.center() + QPoint(0, 2 * cell.height()));
      dragged << QString::number(view->selectionModel()->selectedRows().value(0).row());
    }
    QCOMPARE(dragged[0], dragged[1]);
  }

  void readsAsTheTreeView() {
    Pair pair({QStringLiteral("Felder"), QStringLiteral("Typ")}, {100, 120}, 8, QSize(300, 240));
    pair.list.setAccessibleName(QStringLiteral("Felder Typ"));
    pair.tree.setAccessibleName(QStringLiteral("Felder Typ"));
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&pair.list);
    QAccessibleInterface *tree = QAccessible::queryAccessibleInterface(&pair.tree);
    QVERIFY(list && tree && list->tableInterface());
    QCOMPARE(list->role(), QAccessible::Tree);
    QCOMPARE(list->tableInterface()->cellAt(3, 1)->text(QAccessible::Name),
             pair.list.items().cell(3, 1));
    QCOMPARE(describeTable(list), describeTable(tree));
    pair.selectRow(4);
    QCOMPARE(describeTable(list), describeTable(tree));

    // A screen reader selects a row, or a cell's row with the cell's action,
    // as the keyboard does: one change, and the lists beside follow.
    QSignalSpy changed(&pair.list, &ReportListView::changed);
    QSignalSpy moved(&pair.list, &ReportListView::movedWithoutClick);
    QVERIFY(list->tableInterface()->selectRow(2));
    QCOMPARE(pair.list.selectedRow(), 2);
    list->tableInterface()->cellAt(5, 1)->actionInterface()->doAction(
        QAccessibleActionInterface::toggleAction());
    QCOMPARE(pair.list.selectedRow(), 5);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(moved.count(), 2);
    // The one selected row stays: a toggle never leaves the list without one.
    list->tableInterface()->cellAt(5, 0)->actionInterface()->doAction(
        QAccessibleActionInterface::toggleAction());
    QCOMPARE(pair.list.selectedRow(), 5);

    // A refill with other rows is read as such.
    pair.list.beginUpdate();
    pair.list.clear();
    pair.list.items().appendRow({QStringLiteral("neu"), QStringLiteral("INT")});
    pair.list.endUpdate();
    QCOMPARE(list->childCount(), 4);
    QCOMPARE(list->child(2)->text(QAccessible::Name), QStringLiteral("neu"));
    QCOMPARE(list->child(3)->text(QAccessible::Name), QStringLiteral("INT"));
  }
};

QTEST_MAIN(TestReportListView)
#include "tst_reportlistview.moc"
