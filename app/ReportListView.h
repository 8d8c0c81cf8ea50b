// A list in report mode: rows of texts under column headers, whole-row
// selection, one selected row at most. Built for lists of many thousand rows:
// rows live in one flat vector, a refill is one model reset, and a refill or
// an emptying raises no change notification, while selecting a row from code
// does (changed()).
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

  int rowCount(const QModelIndex &parent = {}) const override;
  int columnCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;
  bool setData(const QModelIndex &index, const QVariant &value, int role) override;

  // Row access. Cells beyond those given are empty.
  int rows() const { return m_columns ? static_cast<int>(m_cells.size() / m_columns) : 0; }
  const QString &cell(int row, int column) const;
  void setCell(int row, int column, const QString &text);
  void appendRow(const QString &caption);
  void appendRow(const QString &caption, const QString &second);
  void appendRow(const QStringList &cells);
  void removeRow(int row);
  void clear();

  // Between beginUpdate and endUpdate the model changes without telling the
  // views row by row; endUpdate resets them once.
  void beginUpdate();
  void endUpdate();

private:
  void changed(int firstRow, int lastRow);
  QStringList m_captions;
  std::vector<QString> m_cells; // row-major, m_columns per row
  std::size_t m_columns = 0;
  int m_updateDepth = 0;
  bool m_firstColumnEditable = false;
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

  // The selected row, or -1.
  int selectedRow() const;
  bool hasSelection() const { return selectedRow() >= 0; }
  // Selects `row` as the user would (a change notification); a row that does
  // not exist leaves the list without a selection.
  void selectRow(int row);

  // Suspends repainting and row-by-row notifications; a refill between the
  // two raises no change notification. Calls nest.
  void beginUpdate();
  void endUpdate();
  // Empties the list without a change notification.
  void clear();

signals:
  // The selection changed (by the user, or by selectRow).
  void changed();

private:
  ReportListModel m_model;
  int m_updateDepth = 0;
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
