// A list in report mode: rows of texts under column headers, whole-row
// selection, one selected row at most; a text cut short by its column shows
// whole as the cell's tooltip. Built for lists of many thousand rows:
// rows live in one flat vector, and a refill or an emptying raises no change
// notification, while selecting a row from code does (changed()).
//
// A refill between beginUpdate and endUpdate is built beside the rows that
// the views show; the views learn of it once, at the end, as one model reset,
// and only if the rows came out different. A refill with the same rows (the
// common case: every click lists the databases again) costs no layout and no
// repaint: the list only loses its selection and current row, as after a reset.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QTreeView>

#include <vector>

class ReportListModel : public QAbstractTableModel {
  Q_OBJECT
public:
  explicit ReportListModel(QObject *parent = nullptr);

  void setColumns(const QStringList &captions);
  void setFirstColumnEditable(bool editable) { m_firstColumnEditable = editable; }

  QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
  int rowCount(const QModelIndex &parent = {}) const override;
  int columnCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;
  bool setData(const QModelIndex &index, const QVariant &value, int role) override;

  // Row access, as the program fills and reads the list (during an update:
  // the rows built so far). Cells beyond those given are empty.
  int rows() const { return m_columns ? static_cast<int>(current().size() / m_columns) : 0; }
  const QString &cell(int row, int column) const;
  void setCell(int row, int column, const QString &text);
  void appendRow(const QString &caption);
  void appendRow(const QString &caption, const QString &second);
  void appendRow(const QStringList &cells);
  // Appends a row whose caption comes from the client library as UTF-8. In
  // an update, a caption equal to the one shown at that row is shared with
  // it instead of being converted again.
  void appendUtf8Row(const char *caption);
  void appendUtf8Row(const char *caption, const QString &second);
  void removeRow(int row);
  void clear();

  // Between beginUpdate and endUpdate the model changes without telling the
  // views; the views keep seeing the rows as they were. Calls nest.
  void beginUpdate();
  enum class UpdateEnd { Nested, Unchanged, Reset };
  // Ends an update: when the rows differ from those shown, the views are
  // reset once (Reset); when they are the same, nothing is told (Unchanged).
  UpdateEnd endUpdate();

private:
  int shownRows() const { return m_columns ? static_cast<int>(m_cells.size() / m_columns) : 0; }
  const std::vector<QString> &current() const { return m_building ? m_next : m_cells; }
  std::vector<QString> &editable();
  // Appends one cell; during an update a cell that equals the one shown at
  // its place is shared with it (`same` compares, `make` builds a new one).
  template <typename Same, typename Make> void pushCellSharing(Same same, Make make);
  void pushCell(QString text);
  // Appends one row: `fill` pushes its cells, the rest stay empty; outside an
  // update the views are told of the new row.
  template <typename Fill> void appendWith(Fill fill);
  void padRow();
  void changed(int firstRow, int lastRow);
  QStringList m_captions;
  std::vector<QString> m_cells; // the rows the views show: row-major, m_columns per row
  std::size_t m_columns = 0;
  int m_updateDepth = 0;
  bool m_firstColumnEditable = false;
  // During an update, once the rows change: the rows being built, and how
  // many leading cells of them are known to be the very cells shown.
  std::vector<QString> m_next;
  bool m_building = false;
  std::size_t m_sharedCells = 0;
  bool m_sharedKnown = true;
};

class ReportListView : public QTreeView {
  Q_OBJECT
public:
  explicit ReportListView(QWidget *parent = nullptr);

  void setColumns(const QStringList &captions, const QList<int> &widths);
  void setFirstColumnEditable(bool editable);

  ReportListModel &items() { return m_model; }
  const ReportListModel &items() const { return m_model; }
  int count() const { return m_model.rows(); }
  QString caption(int row) const { return m_model.cell(row, 0); }
  // The first row whose caption is `caption`, or -1.
  int rowOf(const QString &caption) const;

  // The selected row, or -1.
  int selectedRow() const;
  bool hasSelection() const { return selectedRow() >= 0; }
  // Selects `row` as the user would (a change notification); a row that does
  // not exist leaves the list without a selection.
  void selectRow(int row);

  // Suspends repainting and row-by-row notifications; a refill between the
  // two raises no change notification. Calls nest. The list shows the rows
  // it had until the update ends, and repaints then only if they changed.
  void beginUpdate();
  void endUpdate();
  // For a message box shown while the list is in an update: keeps the list
  // from repainting at all until the update ends (it repaints whole then).
  void holdRepaint();
  // Empties the list without a change notification.
  void clear();

signals:
  // The selection changed (by the user, or by selectRow).
  void changed();
  // The user moved the selection without a click that reports it: with the
  // keyboard, or by dragging the mouse from one row to another.
  void movedWithoutClick();

protected:
  void keyPressEvent(QKeyEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;

protected:
  // A cell whose text is cut short shows the whole text as its tooltip.
  bool viewportEvent(QEvent *event) override;

private:
  // Whether the cell shows its text cut short ("...") at its present width.
  bool isElided(const QModelIndex &index) const;
  void dropSelectionQuietly();
  ReportListModel m_model;
  int m_updateDepth = 0;
  bool m_held = false;
  int m_rowAtPress = -1;
  bool m_clickReported = false;
};

// Holds a list in its update state for one scope, also when an exception passes.
class ListUpdate {
public:
  explicit ListUpdate(ReportListView &list) : m_list(list) { m_list.beginUpdate(); }
  ~ListUpdate() { m_list.endUpdate(); }
  ListUpdate(const ListUpdate &) = delete;
  ListUpdate &operator=(const ListUpdate &) = delete;

private:
  ReportListView &m_list;
};
