// JPK_MAG(1) from the warehouse program's documents of one month: goods
// received (PZ), goods issued (WZ), internal issues (RW) and transfers (MM),
// each group with its document headers, their rows and a control element.
//
// Per group two walks over the month's documents: the headers first, then
// the rows, so the group's elements stand in the schema's order. A group
// without documents is not written at all.

#include <string>
#include <string_view>

#include "app/kxTools.h"
#include "app/source_tables.h"
#include "export/towix_export.h"
#include "jpk/files/jpkTools.h"
#include "platform/decimal_text.h"
#include "platform/error.h"

namespace kx::exports {
using namespace towix;
using jpk::mag::IXMLJPKMAG;

namespace {

constexpr int kQuantityDecimals = 6;
constexpr const char* kDefaultUnit = "szt.";
constexpr const char* kMainWarehouse = "Magazyn Główny";

enum class Kind { PZ, WZ, RW, MM };

// Element names of one group, in file order.
struct KindNames {
  Kind kind;
  const char* group;
  const char* header;
  const char* number;
  const char* date;
  const char* value;
  const char* secondDate;
  const char* from;  // PZ: supplier; WZ: recipient; RW, MM: source
  const char* to;    // PZ, WZ: invoice number; RW, MM: destination
  const char* invoiceDate;
  const char* row;
  const char* rowNumber;
  const char* goodsCode;
  const char* goodsName;
  const char* quantity;
  const char* unit;
  const char* price;
  const char* rowValue;
  const char* ctrl;
  const char* ctrlCount;
  const char* ctrlSum;
};

// clang-format off
constexpr KindNames kKinds[] = {
    {Kind::PZ, "PZ", "PZWartosc", "NumerPZ", "DataPZ", "WartoscPZ", "DataOtrzymaniaPZ", "Dostawca", "NumerFaPZ",
     "DataFaPZ", "PZWiersz", "Numer2PZ", "KodTowaruPZ", "NazwaTowaruPZ", "IloscPrzyjetaPZ", "JednostkaMiaryPZ",
     "CenaJednPZ", "WartoscPozycjiPZ", "PZCtrl", "LiczbaPZ", "SumaPZ"},
    {Kind::WZ, "WZ", "WZWartosc", "NumerWZ", "DataWZ", "WartoscWZ", "DataWydaniaWZ", "OdbiorcaWZ", "NumerFaWZ",
     "DataFaWZ", "WZWiersz", "Numer2WZ", "KodTowaruWZ", "NazwaTowaruWZ", "IloscWydanaWZ", "JednostkaMiaryWZ",
     "CenaJednWZ", "WartoscPozycjiWZ", "WZCtrl", "LiczbaWZ", "SumaWZ"},
    {Kind::RW, "RW", "RWWartosc", "NumerRW", "DataRW", "WartoscRW", "DataWydaniaRW", "SkadRW", "DokadRW", nullptr,
     "RWWiersz", "Numer2RW", "KodTowaruRW", "NazwaTowaruRW", "IloscWydanaRW", "JednostkaMiaryRW", "CenaJednRW",
     "WartoscPozycjiRW", "RWCtrl", "LiczbaRW", "SumaRW"},
    {Kind::MM, "MM", "MMWartosc", "NumerMM", "DataMM", "WartoscMM", "DataWydaniaMM", "SkadMM", "DokadMM", nullptr,
     "MMWiersz", "Numer2MM", "KodTowaruMM", "NazwaTowaruMM", "IloscWydanaMM", "JednostkaMiaryMM", "CenaJednMM",
     "WartoscPozycjiMM", "MMCtrl", "LiczbaMM", "SumaMM"},
};
// clang-format on

bool OfKind(Kind kind, int64_t type) {
  switch (kind) {
    case Kind::PZ: return IsPzKind(type);
    case Kind::WZ: return IsWzKind(type);
    case Kind::RW: return IsRwKind(type);
    case Kind::MM: return IsMmKind(type);
  }
  return false;
}

// Goods received and issued whose invoice is the referred document.
bool RefersToInvoice(int64_t type) { return type == 152 || type == 153 || type == 24 || type == 25; }

// The text between the first and the second "-", or up to the end.
std::string SecondPiece(const std::string& number) {
  size_t first = number.find('-');
  if (first == std::string::npos) return "";
  size_t second = number.find('-', first + 1);
  return number.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

// A record's elements, appended in the order they are written. Optional
// elements are left out when their text is empty, as the schema refuses
// empty texts.
class Record {
 public:
  explicit Record(xml::XmlNode node) : m_node(std::move(node)) {}
  void Text(const char* name, std::string_view value) { m_node.AddChild(name).SetText(value); }
  void Optional(const char* name, std::string_view value) {
    if (!value.empty()) Text(name, value);
  }
  void Amount(const char* name, double value) { Text(name, DecimalText(value)); }

 private:
  xml::XmlNode m_node;
};

class MagWriter {
 public:
  MagWriter(AppContext& ctx, WarehouseTables& t, IXMLJPKMAG root)
      : m_ctx(ctx),
        m_t(t),
        m_root(root),
        m_type(t.wi.FieldByName("Type")),
        m_number(t.wi.FieldByName("Number")),
        m_name(t.wi.FieldByName("Name")),
        m_date(t.wi.FieldByName("Date")),
        m_saleDate(t.wi.FieldByName("SaleDate")),
        m_flags(t.wi.FieldByName("Flags")),
        m_costValue(t.reg.FieldByName("CostValue")),
        m_rowGroup(t.wt.FieldByName("Group")),
        m_rowIndex(t.wt.FieldByName("Index")),
        m_series(t.wt.FieldByName("Series")),
        m_quantity(t.wt.FieldByName("Quantity")),
        m_price(t.wt.FieldByName("Price")),
        m_group(t.w.FieldByName("Group")),
        m_index(t.w.FieldByName("Index")),
        m_goodsName(t.w.FieldByName("Name")),
        m_unit(t.w.FieldByName("Unit")),
        m_seriesCost(t.ws.FieldByName("Cost")),
        m_supplierName(t.uc.FieldByName("Firm Name")),
        m_recipientNumber(t.ur.FieldByName("Number")),
        m_recipientName(t.ur.FieldByName("Firm Name")) {}

  // Headers, rows and control element of one group; the number of documents.
  int WriteKind(const KindNames& k) {
    int count = 0;
    double sum = 0;
    xml::XmlNode group;
    for (m_t.wi.First(); !m_t.wi.Eof(); m_t.wi.Next()) {
      if (!Taken(k.kind)) continue;
      if (group.IsNull()) group = GroupNode(k.kind);
      double value = RoundAmount(kAmountDecimals, m_costValue.AsFloat());
      AddHeader(k, Record(group.AddChild(k.header)), value);
      ++count;
      sum = RoundAmount(kAmountDecimals, sum + value);
    }
    if (count == 0) return 0;
    for (m_t.wi.First(); !m_t.wi.Eof(); m_t.wi.Next()) {
      if (!Taken(k.kind)) continue;
      std::string number = FileNumber();
      if (m_t.wt.IsEmpty()) throw Error(Format("Brak pozycji w dokumencie %s", number.c_str()));
      for (m_t.wt.First(); !m_t.wt.Eof(); m_t.wt.Next()) AddRow(k, Record(group.AddChild(k.row)), number);
    }
    Record ctrl(group.AddChild(k.ctrl));
    ctrl.Text(k.ctrlCount, std::to_string(count));
    ctrl.Amount(k.ctrlSum, sum);
    return count;
  }

 private:
  bool Taken(Kind kind) { return OfKind(kind, m_type.AsInteger()) && (m_flags.AsInteger() & kDocNotInMag) == 0; }

  xml::XmlNode GroupNode(Kind kind) {
    switch (kind) {
      case Kind::PZ: return m_root.PZ().Node();
      case Kind::WZ: return m_root.WZ().Node();
      case Kind::RW: return m_root.RW().Node();
      case Kind::MM: return m_root.MM().Node();
    }
    return {};
  }

  // The document's number as the file holds it.
  std::string FileNumber() {
    int64_t type = m_type.AsInteger();
    std::string name = m_name.AsString();
    if (type == 128 || type == 129) return Format("PZ%d-%s", static_cast<int>(m_number.AsInteger()), name.c_str());
    if (IsWzKind(type) && type != 24 && type != 25) return "WZ-" + name;
    return name;
  }

  // A counterparty's name; the schema wants one.
  static std::string PartyName(tables::Field& name, const std::string& number) {
    std::string text = name.AsString();
    if (text.empty()) throw Error(Format("Brak nazwy kontrahenta\r\nDokument: %s", number.c_str()));
    return text;
  }

  void AddHeader(const KindNames& k, Record header, double value) {
    const AppSettings& s = m_ctx.AppSettings;
    int64_t type = m_type.AsInteger();
    std::string number = FileNumber();
    std::string date = m_date.AsString();
    std::string saleDate = m_saleDate.AsString();
    // Goods received against an invoice (128, 129) are dated by their sale date.
    bool receivedBySaleDate = type == 128 || type == 129;
    std::string firstDate = receivedBySaleDate ? saleDate : date;

    header.Text(k.number, number);
    header.Text(k.date, firstDate);
    header.Amount(k.value, value);
    header.Text(k.secondDate, receivedBySaleDate ? date : saleDate);
    switch (k.kind) {
      case Kind::PZ: header.Text(k.from, PartyName(m_supplierName, number)); break;
      case Kind::WZ: header.Text(k.from, PartyName(m_recipientName, number)); break;
      case Kind::RW: header.Text(k.from, kMainWarehouse); return;
      case Kind::MM:
        header.Optional(k.from, s.SkadMM);
        header.Optional(k.to, m_recipientNumber.AsInteger() != 0 ? PartyName(m_recipientName, number) : s.DokadMM);
        return;
    }

    if (RefersToInvoice(type)) {
      if (m_t.FindMaster()) {
        header.Optional(k.to, m_t.master.FieldByName("Name").AsString());
        header.Optional(k.invoiceDate, m_t.master.FieldByName("Date").AsString());
      }
    } else {
      header.Optional(k.to, SecondPiece(number));
      header.Optional(k.invoiceDate, k.kind == Kind::PZ ? firstDate : date);
    }
  }

  void AddRow(const KindNames& k, Record row, const std::string& number) {
    std::string name = m_goodsName.AsString();
    if (name.empty()) {
      throw Error(Format("Brak nazwy towaru %s-%s w dokumencie %s", m_rowGroup.AsString().c_str(),
                         m_rowIndex.AsString().c_str(), number.c_str()));
    }
    double quantity = RoundAmount(kQuantityDecimals, m_quantity.AsFloat());
    row.Text(k.rowNumber, number);
    row.Text(k.goodsCode, m_group.AsString() + "-" + m_index.AsString());
    row.Text(k.goodsName, name);
    row.Amount(k.quantity, quantity);
    std::string unit = m_unit.AsString();
    row.Text(k.unit, unit.empty() ? kDefaultUnit : unit);

    if (k.kind != Kind::WZ) {
      double price = m_price.AsFloat();
      row.Amount(k.price, RoundAmount(kAmountDecimals, price));
      row.Amount(k.rowValue, RoundAmount(kAmountDecimals, price * quantity));
      return;
    }
    // Goods issued are valued at the cost of their series.
    double cost = 0;
    int64_t series = m_series.AsInteger();
    if (series != 0) {
      if (m_t.ws.IsEmpty()) {
        throw Error(Format("Brak serii: %s-%s-%d", m_rowGroup.AsString().c_str(), m_rowIndex.AsString().c_str(),
                           static_cast<int>(series)));
      }
      cost = m_seriesCost.AsFloat();
    }
    row.Amount(k.price, RoundAmount(kAmountDecimals, cost));
    row.Amount(k.rowValue, RoundAmount(kAmountDecimals, quantity * cost));
  }

  AppContext& m_ctx;
  WarehouseTables& m_t;
  IXMLJPKMAG m_root;
  tables::Field& m_type;
  tables::Field& m_number;
  tables::Field& m_name;
  tables::Field& m_date;
  tables::Field& m_saleDate;
  tables::Field& m_flags;
  tables::Field& m_costValue;
  tables::Field& m_rowGroup;
  tables::Field& m_rowIndex;
  tables::Field& m_series;
  tables::Field& m_quantity;
  tables::Field& m_price;
  tables::Field& m_group;
  tables::Field& m_index;
  tables::Field& m_goodsName;
  tables::Field& m_unit;
  tables::Field& m_seriesCost;
  tables::Field& m_supplierName;
  tables::Field& m_recipientNumber;
  tables::Field& m_recipientName;
};

}  // namespace

IXMLJPKMAG MakeJpkMag(AppContext& ctx, WarehouseTables& t) {
  IXMLJPKMAG root = jpk::mag::NewJPKMAG();
  jpk::PrepareMAGDocument(root);
  jpk::FillMAGHeader(ctx, root);
  root.SetMagazyn("0");
  MagWriter writer(ctx, t, root);
  int documents = 0;
  for (const KindNames& k : kKinds) documents += writer.WriteKind(k);
  if (documents == 0) throw Error("Brak dokumentów magazynowych w wybranym miesiącu");
  return root;
}

}  // namespace kx::exports
