#pragma once
// The Qt model of one side's records for the editor's grid: cells read from
// the document when shown, a filter (name, NIP, document number) and a sort
// kept as a list of the table's rows. Edits are not made here: setData hands
// the typed text to editRequested, so that the panel makes it undoable.

#include <QAbstractTableModel>
#include <QString>
#include <memory>
#include <vector>

#include "editor/record_table.h"

class RecordModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit RecordModel(QObject* parent = nullptr);

  // A new table (another document, or the columns changed): sort and filter
  // are applied again.
  void SetTable(std::unique_ptr<kx::editor::RecordTable> table);
  kx::editor::RecordTable* Table() const { return m_table.get(); }

  // Rebuilds the list of shown rows (after records were added or removed).
  void Reload();
  // The cells changed in place: everything shown is read again.
  void CellsChanged();

  void SetFilter(const QString& text);
  const QString& Filter() const { return m_filter; }

  // The table's row of a shown row, and back (-1 when it is filtered out).
  int TableRow(int viewRow) const { return m_view.at(viewRow); }
  int ViewRow(int tableRow) const;
  const std::vector<int>& ShownRows() const { return m_view; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  void sort(int column, Qt::SortOrder order) override;

  // An amount in grosze in the Polish form: "1 234,56".
  static QString ShownAmount(int64_t cents);

 signals:
  // The user typed text into a cell of the table's row.
  void editRequested(int tableRow, int column, const QString& text);

 private:
  void ApplyView();

  std::unique_ptr<kx::editor::RecordTable> m_table;
  std::vector<int> m_view;
  QString m_filter;
  int m_sortColumn = -1;
  Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
