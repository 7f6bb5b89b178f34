#pragma once
// The records of one side of a JPK_V7M document (sales or purchases) as a
// table for the editor's grid: the columns the file needs, each cell read
// from the record's elements when asked for, and typed edits written into
// the document in place, each followed by the numbering and control sums of
// RecalcJPK. The table keeps only the record handles in document order, so a
// file of 100 000 records opens and scrolls without reading it again.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "platform/xml/xml_node.h"

namespace kx::editor {

enum class RecordSide { Sales, Purchases };

enum class ColumnKind {
  Lp,       // the record's number (written by the numbering, not typed)
  Text,     // country code, NIP, name, document number
  Date,     // yyyy-mm-dd
  Ksef,     // NrKSeF, or one of the markers OFF, BFK, DI
  DocType,  // TypDokumentu (sales), DokumentZakupu (purchases)
  Markers,  // GTU and procedure markers (sales), IMP (purchases), as compact text
  Amount,   // a K_ amount or the margin amount
  NetSum,   // the row's net total as the declaration counts it (computed)
  TaxSum,   // the row's tax total (computed)
};

struct RecordColumn {
  ColumnKind kind = ColumnKind::Text;
  std::string element;  // the element it shows ("" for markers and sums)
  std::string title;    // the column header
  bool required = false;

  bool Editable() const { return kind != ColumnKind::Lp && kind != ColumnKind::NetSum && kind != ColumnKind::TaxSum; }
  bool Numeric() const {
    return kind == ColumnKind::Lp || kind == ColumnKind::Amount || kind == ColumnKind::NetSum ||
           kind == ColumnKind::TaxSum;
  }
};

// The elements one cell stands for, as (name, text) in the record's order:
// what an edit changes and what undoing it puts back.
using CellState = std::vector<std::pair<std::string, std::string>>;

// Sums of the numeric columns over rows, in grosze (0 for the other columns).
struct ColumnTotals {
  std::vector<int64_t> cents;
  int rows = 0;
  // Sale invoices of type FP among the rows: counted above, though the
  // declaration and the control sum leave them out.
  int fpRows = 0;
  int64_t fpNetCents = 0, fpTaxCents = 0;
};

class RecordTable {
 public:
  // allAmounts: a column for every K_ element of the side, not only those
  // the file holds (and the usual pair of the side).
  RecordTable(jpk::v7m::IXMLJPK jpk, RecordSide side, bool allAmounts = false);

  RecordSide Side() const { return m_side; }
  const jpk::v7m::IXMLJPK& Document() const { return m_jpk; }

  // Reads the records and the columns again (after a change made elsewhere).
  void Rebuild();
  void SetAllAmounts(bool allAmounts);

  int RowCount() const { return static_cast<int>(m_rows.size()); }
  int ColumnCount() const { return static_cast<int>(m_columns.size()); }
  const RecordColumn& Column(int column) const { return m_columns.at(column); }
  // The column of an element or a kind (first one); -1 when there is none.
  int ColumnOf(std::string_view element) const;
  int ColumnOf(ColumnKind kind) const;

  xml::XmlNode Record(int row) const { return m_rows.at(row); }
  // The row whose Lp has that number; -1 when none has.
  int RowOfLp(int64_t lp) const;

  std::string CellText(int row, int column) const;
  // The texts of every cell of a row.
  std::vector<std::string> RowTexts(int row) const;
  // An amount, a sum or Lp as a number (grosze; Lp: the number itself);
  // nothing when the cell is empty or not a number.
  std::optional<int64_t> CellNumber(int row, int column) const;
  // Contractor name, NIP and document number, for the filter.
  std::string SearchText(int row) const;
  // Sums of the numeric columns (Lp left out) over the rows; every row when
  // rows is null.
  ColumnTotals Totals(const std::vector<int>* rows = nullptr) const;

  // ---- edits: each changes the document in place, then renumbers and
  // writes the control sums (RecalcJPK). Bad input fails with kx::Error and a
  // Polish message, and changes nothing.

  // Typed input for a cell: dates yyyy-mm-dd (or dd.mm.yyyy), amounts with
  // "," or "." and blanks between thousands, markers separated by blanks or
  // commas, KSeF as a number or OFF, BFK, DI. Empty text removes an optional
  // element. An amount of a net/tax pair brings its partner as 0.
  void SetCell(int row, int column, std::string_view typed);
  CellState GetCellState(int row, int column) const;
  void SetCellState(int row, int column, const CellState& state);

  // A new record after the given row (-1: after the last), with the required
  // elements filled ("BRAK", the first day of the file's month, BFK);
  // returns its row.
  int AddRecord(int afterRow = -1);
  // Takes the record out of the document and returns it (for undoing).
  xml::XmlNode TakeRecord(int row);
  // Puts a record taken before back at that row.
  void InsertRecord(int row, const xml::XmlNode& record);

 private:
  void BuildColumns();
  std::vector<std::string> GovernedElements(int column) const;
  void AfterChange();

  jpk::v7m::IXMLJPK m_jpk;
  RecordSide m_side;
  bool m_allAmounts = false;
  std::vector<RecordColumn> m_columns;
  std::vector<xml::XmlNode> m_rows;
};

// The markers a side's markers column takes, in the record's order.
std::span<const std::string_view> MarkerNames(RecordSide side);

// Typed input readers of the grid; each fails with a Polish message.
// An amount in grosze: "1234,56", "1 234.5", "-12".
int64_t ParseTypedAmount(std::string_view text);
// A date of the calendar, given as yyyy-mm-dd or dd.mm.yyyy, as yyyy-mm-dd.
std::string ParseTypedDate(std::string_view text);

}  // namespace kx::editor
