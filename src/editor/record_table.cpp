#include "editor/record_table.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdio>

#include "editor/v7m_declaration.h"
#include "jpk/check/ksef_number.h"
#include "jpk/files/jpkTools.h"
#include "jpk/v7m/v7m_order.h"
#include "jpk/v7m/v7m_record_fields.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/decimal_text.h"
#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx::editor {
namespace {

using namespace jpk::v7m;

constexpr std::array<std::string_view, 3> kKsefMarkers = {"OFF", "BFK", "DI"};
constexpr std::array<std::string_view, 3> kSaleTypes = {"RO", "WEW", "FP"};
constexpr std::array<std::string_view, 3> kPurchaseTypes = {"MK", "VAT_RR", "WEW"};

// The run of a record order from first to last, both included.
std::span<const std::string_view> RunOf(std::span<const std::string_view> order, std::string_view first,
                                        std::string_view last) {
  const auto from = std::find(order.begin(), order.end(), first);
  const auto to = std::find(from, order.end(), last);
  return {from, to + 1};
}

// The amounts of a side in the record's order.
std::span<const std::string_view> AmountNames(RecordSide side) {
  static const auto sales = RunOf(kSaleRecordOrder, "K_10", "SprzedazVAT_Marza");
  static const auto purchases = RunOf(kPurchaseRecordOrder, "K_40", "ZakupVAT_Marza");
  return side == RecordSide::Sales ? sales : purchases;
}

template <size_t N>
bool Among(std::string_view word, const std::array<std::string_view, N>& words) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

std::string Upper(std::string_view text) {
  std::string s(text);
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// The file's shortest decimal form of grosze: 123450 "1234.5", -5 "-0.05".
std::string CentsText(int64_t cents) { return DecimalText(static_cast<double>(cents) / 100); }

std::span<const std::string_view> RecordOrderOf(RecordSide side) {
  if (side == RecordSide::Sales) return kSaleRecordOrder;
  return kPurchaseRecordOrder;
}

// Names (or (name, text) pairs) sorted by their place in the side's record.
template <class Items, class NameOf>
void SortInRecordOrder(RecordSide side, Items& items, NameOf nameOf) {
  const auto order = RecordOrderOf(side);
  std::sort(items.begin(), items.end(), [&](const auto& a, const auto& b) {
    return std::find(order.begin(), order.end(), nameOf(a)) < std::find(order.begin(), order.end(), nameOf(b));
  });
}

const char* RecordNameOf(RecordSide side) { return side == RecordSide::Sales ? "SprzedazWiersz" : "ZakupWiersz"; }
const char* LpNameOf(RecordSide side) { return side == RecordSide::Sales ? "LpSprzedazy" : "LpZakupu"; }

bool ValidDate(int y, int m, int d) {
  if (y < 1900 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  return d <= jpk::LastDayOfMonth({y, m, 1}).day;
}

// Digits only, of the given length.
bool Digits(std::string_view s, size_t n) {
  return s.size() == n && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view s) { return std::stoi(std::string(s)); }

// The row sums of a record, counting an FP invoice's amounts too: the grid
// shows what the record holds (the declaration leaves FP out, as its sums do).
struct RowSums {
  int64_t net = 0, tax = 0;
  bool fp = false;  // a sale invoice of type FP
};

RowSums ReadRowSums(RecordSide side, const xml::XmlNode& record) {
  if (side == RecordSide::Sales) {
    SaleRecordFields f = ReadSaleRecord(record);
    const bool fp = f.fp;
    f.fp = false;
    return {f.NetCents(), f.TaxCents(), fp};
  }
  PurchaseRecordFields f = ReadPurchaseRecord(record);
  return {f.NetCents(), f.TaxCents(), false};
}

}  // namespace

std::span<const std::string_view> MarkerNames(RecordSide side) {
  static const auto sales = RunOf(kSaleRecordOrder, "GTU_01", "B_MPV_PROWIZJA");
  static const auto purchases = RunOf(kPurchaseRecordOrder, "IMP", "IMP");
  return side == RecordSide::Sales ? sales : purchases;
}

int64_t ParseTypedAmount(std::string_view text) {
  if (std::optional<int64_t> cents = ParseTypedCents(text)) return *cents;
  const std::string shown = Trim(text);
  const size_t mark = shown.find_last_of(",.");
  if (mark != std::string::npos && shown.size() - mark > 3 &&
      shown.find_first_not_of("0123456789", mark + 1) == std::string::npos) {
    throw Error(Format("Kwota \"%s\" ma więcej niż dwa miejsca po przecinku", shown.c_str()));
  }
  throw Error(Format("\"%s\" nie jest kwotą (np. 1234,56)", shown.c_str()));
}

std::string ParseTypedDate(std::string_view text) {
  const std::string s = Trim(std::string(text));
  int y = 0, m = 0, d = 0;
  if (s.size() == 10 && s[4] == '-' && s[7] == '-' && Digits(s.substr(0, 4), 4) && Digits(s.substr(5, 2), 2) &&
      Digits(s.substr(8, 2), 2)) {
    y = Number(s.substr(0, 4)), m = Number(s.substr(5, 2)), d = Number(s.substr(8, 2));
  } else if (s.size() == 10 && s[2] == '.' && s[5] == '.' && Digits(s.substr(0, 2), 2) && Digits(s.substr(3, 2), 2) &&
             Digits(s.substr(6, 4), 4)) {
    d = Number(s.substr(0, 2)), m = Number(s.substr(3, 2)), y = Number(s.substr(6, 4));
  } else {
    throw Error(Format("\"%s\" nie jest datą (rrrr-mm-dd, np. 2026-11-05)", s.c_str()));
  }
  if (!ValidDate(y, m, d)) throw Error(Format("Data \"%s\" nie istnieje", s.c_str()));
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

// ---------------------------------------------------------------- the table

RecordTable::RecordTable(IXMLJPK jpk, RecordSide side, bool allAmounts)
    : m_jpk(std::move(jpk)), m_side(side), m_allAmounts(allAmounts) {
  Rebuild();
}

void RecordTable::SetAllAmounts(bool allAmounts) {
  m_allAmounts = allAmounts;
  BuildColumns();
}

void RecordTable::Rebuild() {
  m_rows.clear();
  xml::XmlNode ewidencja = m_jpk.IsNull() ? xml::XmlNode() : m_jpk.Node().FindChild("Ewidencja");
  if (m_side == RecordSide::Sales) {
    for (xml::XmlNode r = FirstSaleRecord(ewidencja); !r.IsNull(); r = NextSaleRecord(r)) m_rows.push_back(r);
  } else {
    for (xml::XmlNode r = FirstPurchaseRecord(ewidencja); !r.IsNull(); r = NextPurchaseRecord(r)) m_rows.push_back(r);
  }
  BuildColumns();
}

void RecordTable::BuildColumns() {
  const bool sales = m_side == RecordSide::Sales;
  m_columns.clear();
  m_columns.push_back({ColumnKind::Lp, LpNameOf(m_side), "Lp", true});
  m_columns.push_back({ColumnKind::Text, "KodKrajuNadaniaTIN", "Kraj", false});
  m_columns.push_back({ColumnKind::Text, sales ? "NrKontrahenta" : "NrDostawcy", "NIP", true});
  m_columns.push_back(
      {ColumnKind::Text, sales ? "NazwaKontrahenta" : "NazwaDostawcy", sales ? "Kontrahent" : "Dostawca", true});
  m_columns.push_back({ColumnKind::Text, sales ? "DowodSprzedazy" : "DowodZakupu", "Dowód", true});
  if (sales) {
    m_columns.push_back({ColumnKind::Date, "DataWystawienia", "Data wystawienia", true});
    m_columns.push_back({ColumnKind::Date, "DataSprzedazy", "Data sprzedaży", false});
  } else {
    m_columns.push_back({ColumnKind::Date, "DataZakupu", "Data zakupu", true});
    m_columns.push_back({ColumnKind::Date, "DataWplywu", "Data wpływu", false});
  }
  m_columns.push_back({ColumnKind::Ksef, "NrKSeF", "KSeF", true});
  m_columns.push_back({ColumnKind::DocType, sales ? "TypDokumentu" : "DokumentZakupu", "Typ", false});
  m_columns.push_back({ColumnKind::Markers, "", sales ? "Oznaczenia" : "IMP", false});

  // The amounts the records hold, in the record's order.
  const std::span<const std::string_view> amounts = AmountNames(m_side);
  std::vector<bool> shown(amounts.size(), m_allAmounts);
  const std::string_view usual[] = {sales ? "K_19" : "K_42", sales ? "K_20" : "K_43"};
  for (size_t i = 0; i < amounts.size(); ++i) shown[i] = shown[i] || Among(amounts[i], std::array{usual[0], usual[1]});
  size_t missing = std::count(shown.begin(), shown.end(), false);
  for (const xml::XmlNode& r : m_rows) {
    if (missing == 0) break;
    for (xml::XmlNode c = r.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
      if (c.Kind() != xml::XmlNodeKind::Element) continue;
      const std::string name = c.LocalName();
      if (name.size() < 3 || (name[0] != 'K' && name[0] != 'S' && name[0] != 'Z')) continue;
      for (size_t i = 0; i < amounts.size(); ++i) {
        if (!shown[i] && amounts[i] == name) {
          shown[i] = true;
          --missing;
        }
      }
    }
  }
  for (size_t i = 0; i < amounts.size(); ++i) {
    if (!shown[i]) continue;
    const std::string name(amounts[i]);
    const bool margin = name.find("Marza") != std::string::npos;
    m_columns.push_back({ColumnKind::Amount, name, margin ? "Marża" : name, false});
  }
  m_columns.push_back({ColumnKind::NetSum, "", "Netto", false});
  m_columns.push_back({ColumnKind::TaxSum, "", "VAT", false});
}

int RecordTable::ColumnOf(std::string_view element) const {
  for (size_t i = 0; i < m_columns.size(); ++i) {
    if (m_columns[i].element == element) return static_cast<int>(i);
  }
  return -1;
}

int RecordTable::ColumnOf(ColumnKind kind) const {
  for (size_t i = 0; i < m_columns.size(); ++i) {
    if (m_columns[i].kind == kind) return static_cast<int>(i);
  }
  return -1;
}

int RecordTable::RowOfLp(int64_t lp) const {
  // Records are numbered in order: try the row of that number first.
  const std::string want = std::to_string(lp);
  if (lp >= 1 && lp <= RowCount() && ChildText(m_rows[lp - 1], LpNameOf(m_side)) == want) {
    return static_cast<int>(lp - 1);
  }
  for (int row = 0; row < RowCount(); ++row) {
    if (Trim(ChildText(m_rows[row], LpNameOf(m_side))) == want) return row;
  }
  return -1;
}

std::string RecordTable::CellText(int row, int column) const {
  const RecordColumn& c = Column(column);
  const xml::XmlNode& r = m_rows.at(row);
  switch (c.kind) {
    case ColumnKind::Ksef: {
      xml::XmlNode number = r.FindChild("NrKSeF");
      if (!number.IsNull()) return number.Text();
      for (std::string_view marker : kKsefMarkers) {
        if (!r.FindChild(marker).IsNull()) return std::string(marker);
      }
      return {};
    }
    case ColumnKind::Markers: {
      std::string text;
      for (std::string_view marker : MarkerNames(m_side)) {
        xml::XmlNode m = r.FindChild(marker);
        if (m.IsNull()) continue;
        if (!text.empty()) text += ' ';
        text += marker;
      }
      return text;
    }
    case ColumnKind::NetSum:
    case ColumnKind::TaxSum: {
      std::optional<int64_t> v = CellNumber(row, column);
      return v ? CentsText(*v) : "?";
    }
    default: return ChildText(r, c.element);
  }
}

std::vector<std::string> RecordTable::RowTexts(int row) const {
  std::vector<std::string> texts;
  texts.reserve(m_columns.size());
  for (int c = 0; c < ColumnCount(); ++c) texts.push_back(CellText(row, c));
  return texts;
}

std::optional<int64_t> RecordTable::CellNumber(int row, int column) const {
  const RecordColumn& c = Column(column);
  try {
    switch (c.kind) {
      case ColumnKind::Lp: {
        const std::string t = Trim(ChildText(m_rows.at(row), c.element));
        if (t.empty() || !std::all_of(t.begin(), t.end(), [](char ch) { return ch >= '0' && ch <= '9'; }) ||
            t.size() > 15) {
          return std::nullopt;
        }
        return std::stoll(t);
      }
      case ColumnKind::Amount: {
        xml::XmlNode e = m_rows.at(row).FindChild(c.element);
        if (e.IsNull()) return std::nullopt;
        return AmountCents(Trim(e.Text()));
      }
      case ColumnKind::NetSum: return ReadRowSums(m_side, m_rows.at(row)).net;
      case ColumnKind::TaxSum: return ReadRowSums(m_side, m_rows.at(row)).tax;
      default: return std::nullopt;
    }
  } catch (const Error&) {
    return std::nullopt;
  }
}

std::string RecordTable::SearchText(int row) const {
  const xml::XmlNode& r = m_rows.at(row);
  const bool sales = m_side == RecordSide::Sales;
  return ChildText(r, sales ? "NazwaKontrahenta" : "NazwaDostawcy") + '\n' +
         ChildText(r, sales ? "NrKontrahenta" : "NrDostawcy") + '\n' +
         ChildText(r, sales ? "DowodSprzedazy" : "DowodZakupu");
}

ColumnTotals RecordTable::Totals(const std::vector<int>* rows) const {
  ColumnTotals totals;
  totals.cents.assign(m_columns.size(), 0);
  std::vector<int> amounts;
  for (int c = 0; c < ColumnCount(); ++c) {
    if (m_columns[c].kind == ColumnKind::Amount) amounts.push_back(c);
  }
  const int netColumn = ColumnOf(ColumnKind::NetSum), taxColumn = ColumnOf(ColumnKind::TaxSum);
  auto add = [&](int row) {
    ++totals.rows;
    for (int c : amounts) {
      if (std::optional<int64_t> v = CellNumber(row, c)) totals.cents[c] = AddCents(totals.cents[c], *v);
    }
    // The record read once for both sums.
    try {
      const RowSums sums = ReadRowSums(m_side, m_rows[row]);
      totals.cents[netColumn] = AddCents(totals.cents[netColumn], sums.net);
      totals.cents[taxColumn] = AddCents(totals.cents[taxColumn], sums.tax);
      if (sums.fp) {
        ++totals.fpRows;
        totals.fpNetCents = AddCents(totals.fpNetCents, sums.net);
        totals.fpTaxCents = AddCents(totals.fpTaxCents, sums.tax);
      }
    } catch (const Error&) {
      // an amount that is no number: the sums show "?"
      if (m_side == RecordSide::Sales && Trim(ChildText(m_rows[row], "TypDokumentu")) == "FP") ++totals.fpRows;
    }
  };
  if (rows) {
    for (int row : *rows) add(row);
  } else {
    for (int row = 0; row < RowCount(); ++row) add(row);
  }
  return totals;
}

// ---------------------------------------------------------------- edits

std::vector<std::string> RecordTable::GovernedElements(int column) const {
  const RecordColumn& c = Column(column);
  switch (c.kind) {
    case ColumnKind::Ksef: return {"NrKSeF", "OFF", "BFK", "DI"};
    case ColumnKind::Markers: {
      std::vector<std::string> names;
      for (std::string_view m : MarkerNames(m_side)) names.emplace_back(m);
      return names;
    }
    case ColumnKind::Amount: {
      std::string_view partner = AmountPartner(c.element);
      if (partner.empty()) return {c.element};
      return {c.element, std::string(partner)};
    }
    case ColumnKind::Lp:
    case ColumnKind::NetSum:
    case ColumnKind::TaxSum: return {};
    default: return {c.element};
  }
}

CellState RecordTable::GetCellState(int row, int column) const {
  CellState state;
  const xml::XmlNode& r = m_rows.at(row);
  std::vector<std::string> names = GovernedElements(column);
  // In the record's order, so that putting them back keeps it.
  SortInRecordOrder(m_side, names, [](const std::string& n) -> const std::string& { return n; });
  for (const std::string& name : names) {
    xml::XmlNode e = r.FindChild(name);
    if (!e.IsNull()) state.emplace_back(name, e.Text());
  }
  return state;
}

void RecordTable::SetCellState(int row, int column, const CellState& state) {
  xml::XmlNode r = m_rows.at(row);
  const CellState before = GetCellState(row, column);
  auto apply = [&](const CellState& s) {
    for (const std::string& name : GovernedElements(column)) {
      for (xml::XmlNode e = r.FindChild(name); !e.IsNull(); e = r.FindChild(name)) r.RemoveChild(e);
    }
    for (const auto& [name, text] : s) SetChildInOrder(r, name, text, RecordOrderOf(m_side));
  };
  apply(state);
  try {
    AfterChange();
  } catch (...) {
    apply(before);
    throw;
  }
}

void RecordTable::SetCell(int row, int column, std::string_view typed) {
  const RecordColumn& c = Column(column);
  if (!c.Editable()) throw Error(Format("Kolumny \"%s\" nie można zmieniać", c.title.c_str()));
  const std::string text = Trim(std::string(typed));
  const std::string what = c.title;
  if (text.empty() && c.required) throw Error(Format("Pole \"%s\" jest wymagane", what.c_str()));
  CellState state;
  switch (c.kind) {
    case ColumnKind::Text:
      if (!text.empty() && c.element == "KodKrajuNadaniaTIN") {
        const std::string code = Upper(text);
        if (code.size() != 2 ||
            !std::all_of(code.begin(), code.end(), [](char ch) { return ch >= 'A' && ch <= 'Z'; })) {
          throw Error(Format("\"%s\" nie jest kodem kraju (dwie litery, np. DE)", text.c_str()));
        }
        state.emplace_back(c.element, code);
      } else if (!text.empty()) {
        state.emplace_back(c.element, text);
      }
      break;
    case ColumnKind::Date:
      if (!text.empty()) state.emplace_back(c.element, ParseTypedDate(text));
      break;
    case ColumnKind::Ksef: {
      const std::string word = Upper(text);
      if (Among(std::string_view(word), kKsefMarkers)) {
        state.emplace_back(word, "1");
      } else {
        const std::string fault = jpk::check::KsefNumberFault(text);
        if (!fault.empty()) throw Error(Format("Numer KSeF \"%s\": %s", text.c_str(), fault.c_str()));
        state.emplace_back("NrKSeF", text);
      }
      break;
    }
    case ColumnKind::DocType: {
      const std::string type = Upper(text);
      if (type.empty()) break;
      const bool sales = m_side == RecordSide::Sales;
      if (sales ? !Among(std::string_view(type), kSaleTypes) : !Among(std::string_view(type), kPurchaseTypes)) {
        throw Error(Format("\"%s\" nie jest typem dokumentu %s (%s)", text.c_str(), sales ? "sprzedaży" : "zakupu",
                           sales ? "RO, WEW, FP" : "MK, VAT_RR, WEW"));
      }
      state.emplace_back(c.element, type);
      break;
    }
    case ColumnKind::Markers: {
      std::string words = text;
      std::replace(words.begin(), words.end(), ',', ' ');
      std::replace(words.begin(), words.end(), ';', ' ');
      std::vector<bool> set(MarkerNames(m_side).size(), false);
      std::vector<std::string> tokens;
      for (size_t at = 0; at < words.size();) {
        const size_t end = std::min(words.find_first_of(" \t", at), words.size());
        if (end > at) tokens.push_back(words.substr(at, end - at));
        at = end + 1;
      }
      for (const std::string& w : tokens) {
        std::string word = Upper(Trim(w));
        // "GTU1" and "gtu_1" for GTU_01.
        if (word.rfind("GTU", 0) == 0) {
          std::string digits = word.substr(word[3] == '_' ? 4 : 3);
          if (!digits.empty() && digits.size() <= 2 && Digits(digits, digits.size())) {
            word = "GTU_" + std::string(digits.size() == 1 ? "0" : "") + digits;
          }
        }
        auto names = MarkerNames(m_side);
        auto at = std::find(names.begin(), names.end(), word);
        if (at == names.end()) throw Error(Format("\"%s\" nie jest oznaczeniem tej ewidencji", Trim(w).c_str()));
        set[at - names.begin()] = true;
      }
      for (size_t i = 0; i < set.size(); ++i) {
        if (set[i]) state.emplace_back(std::string(MarkerNames(m_side)[i]), "1");
      }
      break;
    }
    case ColumnKind::Amount: {
      const std::string_view partner = AmountPartner(c.element);
      const xml::XmlNode r = m_rows.at(row);
      std::optional<int64_t> partnerCents;
      if (!partner.empty()) {
        xml::XmlNode p = r.FindChild(partner);
        if (!p.IsNull()) {
          try {
            partnerCents = AmountCents(Trim(p.Text()));
          } catch (const Error&) {
            partnerCents = 1;  // kept as it is
          }
        }
      }
      if (text.empty()) {
        // A pair stays whole: an amount whose partner is not 0 becomes 0.
        if (partnerCents && *partnerCents != 0) {
          state = GetCellState(row, column);
          for (auto& [name, value] : state) {
            if (name == c.element) value = "0";
          }
        }
        break;
      }
      const int64_t cents = ParseTypedAmount(text);
      state.emplace_back(c.element, CentsText(cents));
      if (!partner.empty()) {
        xml::XmlNode p = r.FindChild(partner);
        state.emplace_back(std::string(partner), p.IsNull() ? "0" : p.Text());
      }
      SortInRecordOrder(m_side, state, [](const auto& e) -> const std::string& { return e.first; });
      break;
    }
    default: break;
  }
  SetCellState(row, column, state);
}

namespace {

// The file's month as yyyy-mm-01 (today's month when the header has none).
std::string FirstDayOfMonth(const IXMLJPK& jpk) {
  xml::XmlNode header = jpk.Node().FindChild("Naglowek");
  const std::string year = Trim(ChildText(header, "Rok"));
  const std::string month = Trim(ChildText(header, "Miesiac"));
  if (Digits(year, 4) && (Digits(month, 1) || Digits(month, 2))) {
    const int m = Number(month);
    if (m >= 1 && m <= 12) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%s-%02d-01", year.c_str(), m);
      return buf;
    }
  }
  return "2000-01-01";
}

}  // namespace

int RecordTable::AddRecord(int afterRow) {
  if (m_jpk.IsNull()) throw Error("Brak aktywnego pliku JPK");
  const bool sales = m_side == RecordSide::Sales;
  xml::XmlNode ewidencja = EnsureChildInOrder(m_jpk.Node(), "Ewidencja", kRootOrder);
  const int row = afterRow < 0 || afterRow >= RowCount() ? RowCount() : afterRow + 1;
  xml::XmlNode record = ewidencja.AddChild(RecordNameOf(m_side));
  // Taken out again and put at its row by the common way.
  ewidencja.RemoveChild(record);
  const std::string date = FirstDayOfMonth(m_jpk);
  const auto order = RecordOrderOf(m_side);
  SetChildInOrder(record, LpNameOf(m_side), std::to_string(row + 1), order);
  SetChildInOrder(record, sales ? "NrKontrahenta" : "NrDostawcy", "BRAK", order);
  SetChildInOrder(record, sales ? "NazwaKontrahenta" : "NazwaDostawcy", "BRAK", order);
  SetChildInOrder(record, sales ? "DowodSprzedazy" : "DowodZakupu", "BRAK", order);
  SetChildInOrder(record, sales ? "DataWystawienia" : "DataZakupu", date, order);
  SetChildInOrder(record, "BFK", "1", order);
  InsertRecord(row, record);
  return row;
}

xml::XmlNode RecordTable::TakeRecord(int row) {
  xml::XmlNode record = m_rows.at(row);
  xml::XmlNode parent = record.ParentNode();
  xml::XmlNode next = record.NextSibling();
  parent.RemoveChild(record);
  m_rows.erase(m_rows.begin() + row);
  try {
    AfterChange();
  } catch (...) {
    parent.InsertBefore(record, next);
    m_rows.insert(m_rows.begin() + row, record);
    throw;
  }
  return record;
}

void RecordTable::InsertRecord(int row, const xml::XmlNode& record) {
  if (row < 0 || row > RowCount()) throw Error("Niepoprawny numer wiersza");
  xml::XmlNode ewidencja = EnsureChildInOrder(m_jpk.Node(), "Ewidencja", kRootOrder);
  if (row < RowCount()) {
    ewidencja.InsertBefore(record, m_rows[row]);
  } else if (RowCount() > 0) {
    ewidencja.InsertBefore(record, m_rows.back().NextSibling());
  } else {
    // The first record of its side: before its control element, and the
    // sales before the purchases.
    xml::XmlNode before;
    const bool sales = m_side == RecordSide::Sales;
    const std::vector<const char*> next = sales ? std::vector<const char*>{"SprzedazCtrl", "ZakupWiersz", "ZakupCtrl"}
                                                : std::vector<const char*>{"ZakupCtrl"};
    for (const char* name : next) {
      before = ewidencja.FindChild(name);
      if (!before.IsNull()) break;
    }
    ewidencja.InsertBefore(record, before);
  }
  m_rows.insert(m_rows.begin() + row, record);
  try {
    AfterChange();
  } catch (...) {
    ewidencja.RemoveChild(record);
    m_rows.erase(m_rows.begin() + row);
    throw;
  }
}

void RecordTable::AfterChange() { RecalcJPK(m_jpk); }

}  // namespace kx::editor
