#include "editor/ui/RecordModel.h"

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <numeric>

using kx::editor::ColumnKind;
using kx::editor::RecordTable;

RecordModel::RecordModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordModel::SetTable(std::unique_ptr<RecordTable> table) {
  beginResetModel();
  m_table = std::move(table);
  if (m_table && m_sortColumn >= m_table->ColumnCount()) m_sortColumn = -1;
  ApplyView();
  endResetModel();
}

void RecordModel::Reload() {
  beginResetModel();
  ApplyView();
  endResetModel();
}

void RecordModel::CellsChanged() {
  if (rowCount() == 0) return;
  emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void RecordModel::SetFilter(const QString& text) {
  if (text == m_filter) return;
  m_filter = text;
  Reload();
}

int RecordModel::ViewRow(int tableRow) const {
  auto at = std::find(m_view.begin(), m_view.end(), tableRow);
  return at == m_view.end() ? -1 : static_cast<int>(at - m_view.begin());
}

void RecordModel::ApplyView() {
  m_view.clear();
  if (!m_table) return;
  const QString needle = m_filter.trimmed();
  for (int row = 0; row < m_table->RowCount(); ++row) {
    if (!needle.isEmpty() && !QString::fromStdString(m_table->SearchText(row)).contains(needle, Qt::CaseInsensitive)) {
      continue;
    }
    m_view.push_back(row);
  }
  if (m_sortColumn < 0) return;
  // The records are numbered in document order.
  if (m_table->Column(m_sortColumn).kind == ColumnKind::Lp && m_sortOrder == Qt::AscendingOrder) return;
  // One key per row, then a stable sort: numbers by value (empty first),
  // texts in the Polish order.
  const int column = m_sortColumn;
  std::vector<size_t> order(m_view.size());
  std::iota(order.begin(), order.end(), 0);
  if (m_table->Column(column).Numeric()) {
    std::vector<std::pair<bool, int64_t>> keys;
    keys.reserve(m_view.size());
    for (int row : m_view) {
      std::optional<int64_t> v = m_table->CellNumber(row, column);
      keys.emplace_back(v.has_value(), v.value_or(0));
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
  } else {
    QCollator collator{QLocale(QLocale::Polish, QLocale::Poland)};
    collator.setNumericMode(true);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(m_view.size());
    for (int row : m_view) keys.push_back(collator.sortKey(QString::fromStdString(m_table->CellText(row, column))));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a].compare(keys[b]) < 0; });
  }
  if (m_sortOrder == Qt::DescendingOrder) std::reverse(order.begin(), order.end());
  std::vector<int> sorted;
  sorted.reserve(m_view.size());
  for (size_t i : order) sorted.push_back(m_view[i]);
  m_view = std::move(sorted);
}

int RecordModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_view.size());
}

int RecordModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !m_table ? 0 : m_table->ColumnCount();
}

QString RecordModel::ShownAmount(int64_t cents) {
  static const QLocale pl(QLocale::Polish, QLocale::Poland);
  return pl.toString(static_cast<double>(cents) / 100.0, 'f', 2);
}

QVariant RecordModel::data(const QModelIndex& index, int role) const {
  if (!m_table || !index.isValid() || index.row() >= rowCount()) return {};
  const int row = m_view[index.row()];
  const auto& column = m_table->Column(index.column());
  switch (role) {
    case Qt::DisplayRole: {
      const bool money =
          column.kind == ColumnKind::Amount || column.kind == ColumnKind::NetSum || column.kind == ColumnKind::TaxSum;
      if (money) {
        // An amount that is no number (or "?" of the sums) is shown as it is.
        if (std::optional<int64_t> v = m_table->CellNumber(row, index.column())) return ShownAmount(*v);
      }
      return QString::fromStdString(m_table->CellText(row, index.column()));
    }
    case Qt::EditRole: return QString::fromStdString(m_table->CellText(row, index.column()));
    case Qt::TextAlignmentRole:
      return column.Numeric() ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                              : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default: return {};
  }
}

QVariant RecordModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (!m_table || orientation != Qt::Horizontal || section >= m_table->ColumnCount()) return {};
  const auto& column = m_table->Column(section);
  if (role == Qt::DisplayRole) return QString::fromStdString(column.title);
  if (role == Qt::ToolTipRole) {
    if (column.kind == ColumnKind::NetSum) return tr("Suma kwot netto wiersza");
    if (column.kind == ColumnKind::TaxSum) return tr("Suma podatku wiersza");
    if (column.kind == ColumnKind::Markers) return tr("Oznaczenia GTU i procedur, oddzielone spacjami");
    if (column.kind == ColumnKind::Ksef) return tr("Numer KSeF albo OFF, BFK, DI");
    return QString::fromStdString(column.element);
  }
  return {};
}

Qt::ItemFlags RecordModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (m_table && index.isValid() && m_table->Column(index.column()).Editable()) f |= Qt::ItemIsEditable;
  return f;
}

bool RecordModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!m_table || role != Qt::EditRole || !index.isValid()) return false;
  const int row = m_view[index.row()];
  const QString text = value.toString();
  if (text == QString::fromStdString(m_table->CellText(row, index.column()))) return false;
  emit editRequested(row, index.column(), text);
  return false;  // the change, if any, came through the panel's command
}

void RecordModel::sort(int column, Qt::SortOrder order) {
  m_sortColumn = column;
  m_sortOrder = order;
  Reload();
}
