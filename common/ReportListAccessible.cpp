#include "common/ReportListAccessible.h"

#include "common/ReportListView.h"

#include <QAccessibleObject>
#include <QHash>
#include <QHeaderView>
#include <QPointer>

int ReportListAccessibleChild(const QModelIndex &index) {
  return (index.row() + 1) * index.model()->columnCount() + index.column();
}

namespace {

// What the cells and headers share: the list they belong to.
class ListPart : public QAccessibleInterface {
public:
  explicit ListPart(ReportListView *view) : m_view(view) {}
  QObject *object() const override { return nullptr; }
  QAccessibleInterface *parent() const override {
    return QAccessible::queryAccessibleInterface(m_view.data());
  }
  QAccessibleInterface *child(int) const override { return nullptr; }
  QAccessibleInterface *childAt(int, int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface *) const override { return -1; }

protected:
  QAbstractItemModel *model() const { return m_view->model(); }
  QPointer<ReportListView> m_view;
};

class HeaderCell : public ListPart {
public:
  HeaderCell(ReportListView *view, int column) : ListPart(view), m_column(column) {}
  int column() const { return m_column; }

  bool isValid() const override { return m_view && m_column < model()->columnCount(); }
  QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!m_view)
      return s;
    const QHeaderView *header = m_view->header();
    s.invisible = !header->testAttribute(Qt::WA_WState_Visible);
    s.disabled = !header->isEnabled();
    return s;
  }
  QRect rect() const override {
    if (!m_view)
      return {};
    const QHeaderView *header = m_view->header();
    const QPoint zero = header->mapToGlobal(QPoint(0, 0));
    return QRect(zero.x() + header->sectionPosition(m_column), zero.y(),
                 header->sectionSize(m_column), header->height());
  }
  QString text(QAccessible::Text t) const override {
    if (!isValid())
      return {};
    if (t == QAccessible::Description)
      return model()
          ->headerData(m_column, Qt::Horizontal, Qt::AccessibleDescriptionRole)
          .toString();
    if (t != QAccessible::Name)
      return {};
    const QString name =
        model()->headerData(m_column, Qt::Horizontal, Qt::AccessibleTextRole).toString();
    return name.isEmpty() ? model()->headerData(m_column, Qt::Horizontal).toString() : name;
  }
  void setText(QAccessible::Text, const QString &) override {}

private:
  int m_column;
};

class Cell : public ListPart,
             public QAccessibleTableCellInterface,
             public QAccessibleActionInterface {
public:
  Cell(ReportListView *view, int row, int column) : ListPart(view), m_row(row), m_column(column) {}

  void *interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TableCellInterface)
      return static_cast<QAccessibleTableCellInterface *>(this);
    if (t == QAccessible::ActionInterface)
      return static_cast<QAccessibleActionInterface *>(this);
    return nullptr;
  }
  bool isValid() const override {
    return m_view && m_row < model()->rowCount() && m_column < model()->columnCount();
  }
  QAccessible::Role role() const override { return QAccessible::TreeItem; }
  QAccessible::State state() const override {
    QAccessible::State s;
    if (!isValid())
      return s;
    const QRect list(m_view->mapToGlobal(QPoint(0, 0)), m_view->size());
    s.invisible = !list.intersects(rect());
    s.selected = isSelected();
    s.focused = m_view->selectionModel()->currentIndex() == index();
    if (index().flags() & Qt::ItemIsSelectable) {
      s.selectable = true;
      s.focusable = true;
    }
    return s;
  }
  QRect rect() const override {
    if (!isValid())
      return {};
    QRect r = m_view->visualRect(index());
    if (!r.isNull())
      r.translate(m_view->viewport()->mapTo(m_view.data(), QPoint(0, 0)) +
                  m_view->mapToGlobal(QPoint(0, 0)));
    return r;
  }
  QString text(QAccessible::Text t) const override {
    if (!isValid())
      return {};
    if (t == QAccessible::Description)
      return index().data(Qt::AccessibleDescriptionRole).toString();
    if (t != QAccessible::Name)
      return {};
    const QString name = index().data(Qt::AccessibleTextRole).toString();
    return name.isEmpty() ? index().data(Qt::DisplayRole).toString() : name;
  }
  void setText(QAccessible::Text, const QString &text) override {
    if (isValid() && (index().flags() & Qt::ItemIsEditable))
      model()->setData(index(), text);
  }

  // As a table cell.
  int columnExtent() const override { return 1; }
  int rowExtent() const override { return 1; }
  QList<QAccessibleInterface *> columnHeaderCells() const override {
    return {table()->child(m_column)};
  }
  QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
  int columnIndex() const override { return isValid() ? m_column : -1; }
  int rowIndex() const override { return isValid() ? m_row : -1; }
  bool isSelected() const override {
    return isValid() && m_view->selectionModel()->isSelected(index());
  }
  QAccessibleInterface *table() const override { return parent(); }

  // Toggling selects the cell's row, or leaves it when the list lets it go.
  QStringList actionNames() const override { return {toggleAction()}; }
  void doAction(const QString &actionName) override {
    if (actionName != toggleAction() || !isValid() ||
        m_view->selectionMode() == QAbstractItemView::NoSelection)
      return;
    QAccessibleTableInterface *list = table()->tableInterface();
    if (isSelected())
      list->unselectRow(m_row);
    else
      list->selectRow(m_row);
  }
  QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
  QModelIndex index() const { return model()->index(m_row, m_column); }
  int m_row, m_column;
};

} // namespace

// The list itself. Its children are made when first asked for and kept
// until the rows change.
class ReportListAccessible : public QAccessibleObject, public QAccessibleTableInterface {
public:
  explicit ReportListAccessible(ReportListView *view) : QAccessibleObject(view) {
    view->m_accessible = this;
  }
  ~ReportListAccessible() override {
    if (ReportListView *list = view())
      list->m_accessible = nullptr;
    forgetChildren();
  }

  void *interface_cast(QAccessible::InterfaceType t) override {
    return t == QAccessible::TableInterface ? static_cast<QAccessibleTableInterface *>(this)
                                            : nullptr;
  }
  QAccessible::Role role() const override { return QAccessible::Tree; }
  QAccessible::State state() const override {
    QAccessible::State s;
    const ReportListView *list = view();
    s.invisible = !list->testAttribute(Qt::WA_WState_Visible);
    s.focusable = list->focusPolicy() != Qt::NoFocus;
    s.focused = list->hasFocus();
    s.disabled = !list->isEnabled();
    return s;
  }
  QString text(QAccessible::Text t) const override {
    return t == QAccessible::Description ? view()->accessibleDescription()
                                         : view()->accessibleName();
  }
  QRect rect() const override {
    const ReportListView *list = view();
    return list->isVisible() ? QRect(list->mapToGlobal(QPoint(0, 0)), list->size()) : QRect();
  }
  QAccessibleInterface *parent() const override {
    return QAccessible::queryAccessibleInterface(view()->parent());
  }
  int childCount() const override { return (rowCount() + 1) * columnCount(); }
  QAccessibleInterface *child(int number) const override {
    const int columns = columnCount();
    if (number < 0 || columns == 0 || number >= childCount())
      return nullptr;
    if (const auto known = m_children.constFind(number); known != m_children.cend())
      return QAccessible::accessibleInterface(*known);
    QAccessibleInterface *part;
    if (number < columns)
      part = new HeaderCell(view(), number);
    else
      part = new Cell(view(), number / columns - 1, number % columns);
    m_children.insert(number, QAccessible::registerAccessibleInterface(part));
    return part;
  }
  int indexOfChild(const QAccessibleInterface *part) const override {
    if (!part || !part->parent() || part->parent()->object() != view())
      return -1;
    if (const auto *header = dynamic_cast<const HeaderCell *>(part))
      return header->column();
    if (auto *cell = const_cast<QAccessibleInterface *>(part)->tableCellInterface())
      return (cell->rowIndex() + 1) * columnCount() + cell->columnIndex();
    return -1;
  }
  QAccessibleInterface *childAt(int x, int y) const override {
    const ReportListView *list = view();
    const QPoint offset = list->viewport()->mapTo(list, QPoint(0, 0));
    const QModelIndex index = list->indexAt(list->mapFromGlobal(QPoint(x, y) - offset));
    return index.isValid() ? child(ReportListAccessibleChild(index)) : nullptr;
  }
  QAccessibleInterface *focusChild() const override {
    const QModelIndex current = view()->currentIndex();
    return current.isValid() ? child(ReportListAccessibleChild(current)) : nullptr;
  }

  // As a table.
  QAccessibleInterface *cellAt(int row, int column) const override {
    if (row < 0 || column < 0 || row >= rowCount() || column >= columnCount())
      return nullptr;
    return child((row + 1) * columnCount() + column);
  }
  QAccessibleInterface *caption() const override { return nullptr; }
  QAccessibleInterface *summary() const override { return nullptr; }
  QString columnDescription(int column) const override {
    return view()->model()->headerData(column, Qt::Horizontal).toString();
  }
  QString rowDescription(int) const override { return {}; }
  int columnCount() const override { return view()->model()->columnCount(); }
  int rowCount() const override { return view()->model()->rowCount(); }
  int selectedCellCount() const override { return selection()->selectedIndexes().size(); }
  int selectedColumnCount() const override { return selection()->selectedColumns().size(); }
  int selectedRowCount() const override { return selection()->selectedRows().size(); }
  QList<QAccessibleInterface *> selectedCells() const override {
    QList<QAccessibleInterface *> cells;
    for (const QModelIndex &index : selection()->selectedIndexes())
      cells.append(child(ReportListAccessibleChild(index)));
    return cells;
  }
  QList<int> selectedColumns() const override {
    QList<int> columns;
    for (const QModelIndex &index : selection()->selectedColumns())
      columns.append(index.column());
    return columns;
  }
  QList<int> selectedRows() const override {
    QList<int> rows;
    for (const QModelIndex &index : selection()->selectedRows())
      rows.append(index.row());
    return rows;
  }
  bool isColumnSelected(int column) const override {
    return selection()->isColumnSelected(column, QModelIndex());
  }
  bool isRowSelected(int row) const override {
    return row >= 0 && row < rowCount() && selection()->isRowSelected(row, QModelIndex());
  }
  // One row at a time, selected whole, with one change notification; the
  // lists beside follow it as they follow a row chosen with the keyboard.
  bool selectRow(int row) override {
    ReportListView *list = view();
    if (row < 0 || row >= rowCount() || list->selectionMode() == QAbstractItemView::NoSelection)
      return false;
    const int before = list->selectedRow();
    selection()->select(list->model()->index(row, 0),
                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (list->selectedRow() != before)
      emit list->movedWithoutClick();
    return true;
  }
  bool selectColumn(int) override { return false; }
  // The one selected row stays selected, as with the mouse.
  bool unselectRow(int) override { return false; }
  bool unselectColumn(int) override { return false; }
  void modelChange(QAccessibleTableModelChangeEvent *event) override {
    if (event->modelChangeType() != QAccessibleTableModelChangeEvent::DataChanged)
      forgetChildren();
  }

private:
  ReportListView *view() const { return static_cast<ReportListView *>(object()); }
  QItemSelectionModel *selection() const { return view()->selectionModel(); }
  void forgetChildren() {
    for (const QAccessible::Id id : std::as_const(m_children))
      QAccessible::deleteAccessibleInterface(id);
    m_children.clear();
  }
  mutable QHash<int, QAccessible::Id> m_children;
};

namespace {

QAccessibleInterface *ReportListFactory(const QString &className, QObject *object) {
  if (className == QLatin1String(ReportListView::staticMetaObject.className()) &&
      object->isWidgetType())
    return new ReportListAccessible(static_cast<ReportListView *>(object));
  return nullptr;
}

} // namespace

void InstallReportListAccessibility() {
  static const bool installed = (QAccessible::installFactory(ReportListFactory), true);
  (void)installed;
}
