#include "convert/buchalter.h"

#include <cmath>
#include <memory>
#include <variant>

#include "app/data_files.h"
#include "app/kxTools.h"
#include "convert/buchalter_names.h"
#include "convert/buchalter_records.h"
#include "convert/buchalter_tables.h"
#include "convert/convert.h"
#include "convert/mazovia.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/batch_worker.h"
#include "platform/decimal_text.h"
#include "platform/error.h"
#include "platform/tables/dbase_writer.h"
#include "platform/text_utils.h"

namespace kx::convert {
namespace {

namespace fs = std::filesystem;
using jpk::v7m::ChildText;

// Document type codes of the register rows.
constexpr int kTypeInvoice = 1;
constexpr int kTypeRefund = 3;
constexpr int kTypeReceipts = 5;   // TypDokumentu RO
constexpr int kTypeInvoiceFP = 9;  // TypDokumentu FP
// Kind codes of a purchase.
constexpr int kKindDomestic = 1;
constexpr int kKindFue = 2;

// The purchase rate inferred from the tax and the net, with its code.
struct PurchaseRate {
  int rate;
  int code;
};

PurchaseRate InferPurchaseRate(double net, double tax) {
  if (tax == 0) return {0, 3};
  if (net == 0) return {23, 1};  // a tax without a net: the rate cannot be computed
  const double percent = tax / net * 100;
  if (std::fabs(percent - 5) < 0.01) return {5, 8};
  if (std::fabs(percent - 8) < 0.01) return {8, 2};
  return {23, 1};
}

double Gross(double net, double tax) { return RoundAmount(kAmountDecimals, net + tax); }

// One output table: a staged file made from the template, rows appended to
// it. Texts are checked against the field's width before they are written,
// numbers and dates by the writer; every failure names the field and the table.
class OutputTable {
 public:
  OutputTable(const BuchalterTable& layout, const fs::path& templateFile, const fs::path& target, StagedFiles& staged)
      : m_name(target.filename().string()) {
    const fs::path work = staged.Stage(target);
    tables::CopyDbaseTemplate(templateFile, work);
    m_writer = std::make_unique<tables::DbaseWriter>(work);
    for (const BuchalterField& wanted : layout.fields) {
      const tables::FieldDef* found = nullptr;
      for (const tables::FieldDef& def : m_writer->Fields()) {
        if (EqualsIgnoreCase(def.name, wanted.name)) found = &def;
      }
      if (!found) {
        throw Error(Format("Szablon tabeli %s nie ma pola %s.", templateFile.string().c_str(), wanted.name));
      }
      const char type = found->code == 'F' ? 'N' : found->code;
      if (type != wanted.type) {
        throw Error(Format("Pole %s szablonu tabeli %s ma typ %c, a powinno mieć typ %c.", wanted.name,
                           templateFile.string().c_str(), found->code, wanted.type));
      }
    }
  }

  const std::string& Name() const { return m_name; }
  int Rows() const { return m_rows; }

  void Append() { m_writer->Append(); }

  void Text(const char* field, std::string_view utf8) {
    const size_t index = Index(field);
    const tables::FieldDef& def = m_writer->Fields()[index];
    // Translated here, once for the width check and the record.
    const std::string stored = MazoviaLettersText(utf8);
    if (stored.size() > static_cast<size_t>(def.size)) {
      throw Error(Format("Wartość „%s” nie mieści się w polu %s tabeli %s (znaków: %zu, szerokość pola: %d).",
                         std::string(utf8).c_str(), field, m_name.c_str(), stored.size(), def.size));
    }
    m_writer->SetBytes(index, stored);
  }

  void Whole(const char* field, int64_t value) {
    const size_t index = Index(field);
    try {
      m_writer->SetInt(index, value);
    } catch (const Error&) {
      TooWide(field, index, std::to_string(value));
    }
  }

  void Decimal(const char* field, double value) {
    const size_t index = Index(field);
    try {
      m_writer->SetDecimal(index, value);
    } catch (const Error&) {
      TooWide(field, index, DecimalText(value));
    }
  }

  void Date(const char* field, const std::string& text) {
    if (text.empty()) throw Error(Format("Brak daty dla pola %s tabeli %s.", field, m_name.c_str()));
    const size_t index = Index(field);
    try {
      m_writer->SetText(index, text);
    } catch (const Error&) {
      throw Error(Format("„%s” nie jest poprawną datą w postaci rrrr-mm-dd (pole %s tabeli %s).", text.c_str(), field,
                         m_name.c_str()));
    }
  }

  void Post() {
    m_writer->Post();
    ++m_rows;
  }

  void Close() { m_writer->Close(); }

 private:
  // The same names come for every record, mostly as the same literals and in
  // the same order: each is looked up once, then found by its address (its
  // text checked), the one after the last found tried first.
  size_t Index(const char* name) const {
    if (m_next < m_known.size() && IsKnown(m_known[m_next], name)) return m_known[m_next++].index;
    for (size_t k = 0; k < m_known.size(); ++k) {
      if (IsKnown(m_known[k], name)) {
        m_next = k + 1;
        return m_known[k].index;
      }
    }
    const std::vector<tables::FieldDef>& fields = m_writer->Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
      if (EqualsIgnoreCase(fields[i].name, name)) {
        m_known.push_back({name, name, i});
        m_next = m_known.size();
        return i;
      }
    }
    throw Error(Format("Brak pola %s w tabeli %s.", name, m_name.c_str()));
  }

  [[noreturn]] void TooWide(const char* field, size_t index, const std::string& text) const {
    const tables::FieldDef& def = m_writer->Fields()[index];
    throw Error(Format("Wartość %s nie mieści się w polu %s tabeli %s (szerokość %d, miejsc po przecinku %d).",
                       text.c_str(), field, m_name.c_str(), def.size, def.decimals));
  }

  std::string m_name;
  std::unique_ptr<tables::DbaseWriter> m_writer;
  struct Known {
    const char* address;
    std::string name;
    size_t index;
  };
  static bool IsKnown(const Known& known, const char* name) {
    if (known.address != name) return false;
    size_t k = 0;
    for (; k < known.name.size(); ++k) {
      if (known.name[k] != name[k]) return false;
    }
    return name[k] == '\0';
  }
  mutable std::vector<Known> m_known;
  mutable size_t m_next = 0;
  int m_rows = 0;
};

// What one record of a register shares with its VAT lines.
struct RecordContext {
  double net = 0;
  double tax = 0;
  bool refund = false;
  int typeCode = kTypeInvoice;
};

// The rows of the four tables, made from the records read of the document:
// the sales first, then the purchases.
class BuchalterRows {
 public:
  BuchalterRows(OutputTable& sales, OutputTable& saleLines, OutputTable& purchases, OutputTable& purchaseLines)
      : m_sales(sales), m_saleLines(saleLines), m_purchases(purchases), m_purchaseLines(purchaseLines) {}

  void Take(const SaleDraft& d) {
    try {
      Sale(d);
    } catch (const Error& e) {
      throw Error(Format("%s\rWiersz sprzedaży nr %s, dowód %s", e.what(), d.lp.c_str(), d.document.c_str()));
    }
  }

  // The purchase register numbers its rows anew.
  void Take(const PurchaseDraft& d) {
    if (!m_purchasesBegun) {
      m_purchasesBegun = true;
      m_recordNo = 0;
      m_lineNo = 0;
    }
    try {
      Purchase(d);
    } catch (const Error& e) {
      throw Error(Format("%s\rWiersz zakupu nr %s, dowód %s", e.what(), d.lp.c_str(), d.document.c_str()));
    }
  }

 private:
  // The contractor's short name and name lines.
  static void Names(OutputTable& table, const char* shortField, const ContractorName& name) {
    table.Text(shortField, name.shortName);
    table.Text("NA1", name.lines.first);
    if (!name.lines.rest.empty()) table.Text("NA2", name.lines.rest);
  }

  void Sale(const SaleDraft& d) {
    ++m_recordNo;
    if (!d.failure.empty()) throw Error(d.failure);
    RecordContext c;
    c.net = d.net;
    c.tax = d.tax;
    c.refund = c.net < 0 || c.tax < 0;
    c.typeCode = d.type == "RO"   ? kTypeReceipts
                 : d.type == "FP" ? kTypeInvoiceFP
                 : c.refund       ? kTypeRefund
                                  : kTypeInvoice;
    const std::string& issueDate = d.issueDate;
    const std::string& saleDate = d.saleDate;
    const std::string& document = d.document;
    const bool fiscal = d.fiscal;
    const DocumentNumber& number = d.number;
    const int64_t documentNo = DocumentNo(number);

    OutputTable& t = m_sales;
    t.Append();
    t.Whole("NKO", fiscal ? 1 : 0);
    t.Text("WER", "T");
    t.Text("KSF", d.ksef);
    t.Text("STV", "T");
    t.Text("TTR", "N");
    t.Whole("STM", 1);
    t.Text("ANU", "N");
    t.Whole("TYV", c.typeCode);
    t.Text("PRE", number.prefix);
    t.Whole("NRV", documentNo);
    t.Text("POS", number.suffix);
    t.Date("DAW", issueDate);
    t.Date("DAS", saleDate);
    t.Date("DAV", saleDate);
    Names(t, "KNA", *d.name);
    t.Text("KRA", "POLSKA");
    t.Text("NIP", d.contractor);
    t.Text("PLA", "INNA");
    t.Date("DPL", issueDate);
    t.Decimal("NET", c.refund ? 0 : c.net);
    t.Decimal("VAT", c.refund ? 0 : c.tax);
    t.Decimal("BRU", c.refund ? 0 : Gross(c.net, c.tax));
    t.Decimal("KRN", c.refund ? c.net : 0);
    t.Decimal("KRV", c.refund ? c.tax : 0);
    t.Text("OP1", c.refund ? "ZWROT" : "SPRZEDAZ");
    t.Whole("REC", m_recordNo);
    t.Whole("AKT", 0);
    t.Whole("TRY", 1);
    t.Whole("TRK", 1);
    t.Text("OSM", fiscal ? "RAPORT FISKALNY" : document);
    t.Whole("TYB", 1);
    t.Text("WAL", "PLN");
    t.Decimal("KVA", 1.0);
    const std::string& gtu = d.gtu;
    const bool anyGtu = gtu.find('T') != std::string::npos;
    t.Text("NKV", anyGtu ? "" : "      N");
    if (anyGtu) t.Text("NKK", gtu);
    t.Decimal("KKS", 1.0);
    t.Text("RE4", "N");
    t.Post();

    for (int k = 0; k < d.lineCount; ++k) {
      const SaleDraft::Line& line = d.lines[k];
      ++m_lineNo;
      SaleLine(c, number, documentNo, issueDate, saleDate, *line.group, line.net, line.tax);
    }
    if (!d.lineFailure.empty()) throw Error(d.lineFailure);
  }

  void SaleLine(const RecordContext& c, const DocumentNumber& number, int64_t documentNo, const std::string& issueDate,
                const std::string& saleDate, const SaleRateGroup& g, double net, double tax) {
    const double gross = Gross(net, tax);
    OutputTable& t = m_saleLines;
    t.Append();
    t.Text("STV", "N");
    t.Whole("STM", 1);
    t.Text("CSS", "T");
    t.Whole("TYV", c.typeCode);
    t.Text("PRE", number.prefix);
    t.Whole("NRV", documentNo);
    t.Text("POS", number.suffix);
    t.Date("DAW", issueDate);
    t.Date("DAV", saleDate);
    t.Whole("KON", 0);
    t.Whole("TYP", 1);
    t.Whole("RYT", 3);
    t.Decimal("RYS", 3.0);
    t.Text("NA1", std::string("SPRZEDAZ ") + g.rate);
    t.Decimal("ILO", 1.0);
    t.Decimal("RAS", 0.0);
    t.Decimal("CNB", c.refund ? 0 : net);
    t.Decimal("CBB", c.refund ? 0 : gross);
    t.Decimal("CNR", c.refund ? 0 : net);
    t.Decimal("CBR", c.refund ? 0 : gross);
    t.Decimal("WNE", c.refund ? 0 : net);
    t.Decimal("WAV", c.refund ? 0 : tax);
    t.Decimal("WAB", c.refund ? 0 : gross);
    t.Decimal("KRN", c.refund ? net : 0);
    t.Decimal("KRV", c.refund ? tax : 0);
    if (c.refund) {
      t.Decimal("KILO", 1.0);
      t.Decimal("KCNB", net);
      t.Decimal("KCBB", gross);
      t.Decimal("RAS", 0.0);
      t.Decimal("KCNR", net);
      t.Decimal("KCBR", gross);
      t.Whole("KVAT", g.code);
      t.Whole("KVAS", g.rateValue);
      t.Decimal("KWAV", tax);
      t.Decimal("KWAB", gross);
    }
    t.Whole("VAT", g.code);
    t.Whole("VAS", g.rateValue);
    t.Whole("REK", m_recordNo);
    t.Whole("REC", m_lineNo);
    t.Whole("ZRP", 1);
    t.Text("STA", "T");
    t.Text("WAL", "PLN");
    t.Decimal("KVA", 1.0);
    t.Decimal("KKS", 1.0);
    t.Post();
  }

  void Purchase(const PurchaseDraft& d) {
    ++m_recordNo;
    if (!d.failure.empty()) throw Error(d.failure);
    RecordContext c;
    c.net = d.net;
    c.tax = d.tax;
    c.refund = c.net < 0 || c.tax < 0;
    c.typeCode = c.refund ? kTypeRefund : kTypeInvoice;
    const std::string& document = d.document;
    const int kind = LowerCase(document).find("fue") != std::string::npos ? kKindFue : kKindDomestic;
    const std::string& purchaseDate = d.purchaseDate;
    const std::string& receiptDate = d.receiptDate;

    OutputTable& t = m_purchases;
    t.Append();
    t.Text("KSF", d.ksef);
    t.Text("TTR", "N");
    t.Whole("STM", kind);
    t.Text("ANU", "N");
    t.Whole("TYV", c.typeCode);
    t.Text("NRV", document);
    t.Date("DAV", receiptDate);
    t.Date("DZK", receiptDate);
    Names(t, "KDO", *d.name);
    t.Text("KRA", "POLSKA");
    t.Text("NIP", d.supplier);
    if (c.refund) {
      t.Decimal("KRN", c.net);
      t.Decimal("KRV", c.tax);
      t.Text("OP1", "ZWROT");
      t.Whole("TYM", 1);
    } else {
      t.Decimal("NET", c.net);
      t.Decimal("VAT", c.tax);
      t.Decimal("BRU", Gross(c.net, c.tax));
      t.Text("OP1", "ZAKUP TH");
    }
    t.Text("PLA", "INNA");
    t.Date("DPL", purchaseDate);
    t.Whole("REC", m_recordNo);
    t.Whole("AKT", 0);
    t.Whole("TRY", 1);
    t.Whole("TRK", 1);
    t.Text("ZAP", "N");
    t.Decimal("KZA", 0.0);
    t.Date("DAM", purchaseDate);
    t.Text("STA", "T");
    t.Text("WAL", "PLN");
    t.Decimal("KVA", 1.0);
    t.Decimal("KKS", 1.0);
    t.Whole("TKO", 1);
    t.Post();

    ++m_lineNo;
    PurchaseLine(c, kind, document, receiptDate);
  }

  void PurchaseLine(const RecordContext& c, int kind, const std::string& document, const std::string& receiptDate) {
    const PurchaseRate rate = InferPurchaseRate(c.net, c.tax);
    const double gross = Gross(c.net, c.tax);
    OutputTable& t = m_purchaseLines;
    t.Append();
    t.Text("STV", "N");
    t.Whole("STM", kind);
    t.Text("ANU", "N");
    t.Whole("TYV", c.typeCode);
    t.Text("NRV", document);
    t.Date("DAV", receiptDate);
    t.Whole("KON", 0);
    t.Whole("TYW", 1);
    t.Whole("TYZ", 1);
    t.Whole("TYS", 1);
    t.Text("NA1", "ZAKUP " + std::to_string(rate.rate));
    t.Whole("VAT", rate.code);
    t.Whole("VAS", rate.rate);
    t.Text("CZO", "1");
    t.Whole("REK", m_recordNo);
    t.Whole("REC", m_lineNo);
    if (c.refund) {
      for (const char* field : {"ILO", "CEN", "CEB", "WAN", "WAV", "WAB"}) t.Decimal(field, 0.0);
      t.Decimal("KRN", c.net);
      t.Decimal("KRV", c.tax);
    } else {
      t.Decimal("ILO", 1.0);
      t.Decimal("CEN", c.net);
      t.Decimal("CEB", gross);
      t.Decimal("WAN", c.net);
      t.Decimal("WAV", c.tax);
      t.Decimal("WAB", gross);
      t.Decimal("ILK", -1.0);
      t.Decimal("KRN", 0.0);
      t.Decimal("KRV", 0.0);
    }
    t.Text("WAL", "PLN");
    t.Decimal("KVA", 1.0);
    t.Decimal("KKS", 1.0);
    t.Text("RE3", "N");
    t.Post();
  }

  // The whole number NRV of a sales document: its digit run, which must fit
  // the field (a longer run is refused, never cut).
  int64_t DocumentNo(const DocumentNumber& number) const {
    constexpr size_t kMaxDigits = 18;
    if (number.digits.size() > kMaxDigits) {
      throw Error(Format("Wartość %s nie mieści się w polu NRV tabeli %s (najwyżej %zu cyfr).", number.digits.c_str(),
                         m_sales.Name().c_str(), kMaxDigits));
    }
    return std::stoll(number.digits);
  }

  OutputTable& m_sales;
  OutputTable& m_saleLines;
  OutputTable& m_purchases;
  OutputTable& m_purchaseLines;
  int64_t m_recordNo = 0;
  int64_t m_lineNo = 0;
  bool m_purchasesBegun = false;
};

}  // namespace

fs::path FindBuchalterTemplate(const std::vector<fs::path>& folders, std::string_view base) {
  const fs::path relative = fs::path(kBuchalterTemplateFolder) / (std::string(base) + ".dbf");
  std::string searched;
  for (const fs::path& folder : folders) {
    std::error_code ec;
    if (fs::is_regular_file(folder / relative, ec)) return folder / relative;
    searched += (searched.empty() ? "" : ", ") + folder.string();
  }
  throw Error(Format("Nie znaleziono szablonu tabeli %s. Szukano w folderach: %s", relative.string().c_str(),
                     searched.empty() ? "(brak)" : searched.c_str()));
}

BuchalterCounts ConvertV7MToBuchalter(AppContext& ctx, jpk::v7m::IXMLJPK input, const fs::path& outputDir,
                                      StagedFiles& staged) {
  const xml::XmlNode root = input.Node();
  const xml::XmlNode ewidencja = root.IsNull() ? xml::XmlNode() : root.FindChild("Ewidencja");
  if (ewidencja.IsNull()) throw Error("Brak elementu \"Ewidencja\" w pliku JPK");
  const std::string year = Trim(ChildText(root.FindChild("Naglowek"), "Rok"));
  const std::string yy = year.size() > 2 ? year.substr(2, 2) : std::string();
  const ShortNameDictionary dictionary(ctx.CutDict);

  const std::vector<fs::path> folders = DataFolders(ctx);
  std::vector<std::unique_ptr<OutputTable>> tables;
  for (const BuchalterTable& layout : BuchalterTables()) {
    tables.push_back(std::make_unique<OutputTable>(layout, FindBuchalterTemplate(folders, layout.base),
                                                   outputDir / (std::string(layout.base) + yy + ".dbf"), staged));
  }
  // The records are read here and their rows made on a second thread.
  BuchalterReader reader(dictionary);
  BuchalterRows rows(*tables[0], *tables[1], *tables[2], *tables[3]);
  BatchWorker<std::variant<SaleDraft, PurchaseDraft>> worker(
      [&rows](const std::variant<SaleDraft, PurchaseDraft>& draft) {
        std::visit([&rows](const auto& d) { rows.Take(d); }, draft);
      });
  for (xml::XmlNode r = jpk::v7m::FirstSaleRecord(ewidencja); !r.IsNull() && !r.FindChild("LpSprzedazy").IsNull();
       r = jpk::v7m::NextSaleRecord(r)) {
    worker.Add(reader.Sale(r));
  }
  for (xml::XmlNode r = jpk::v7m::FirstPurchaseRecord(ewidencja); !r.IsNull() && !r.FindChild("LpZakupu").IsNull();
       r = jpk::v7m::NextPurchaseRecord(r)) {
    worker.Add(reader.Purchase(r));
  }
  worker.Finish();
  for (auto it = tables.rbegin(); it != tables.rend(); ++it) (*it)->Close();
  return {tables[0]->Rows(), tables[1]->Rows(), tables[2]->Rows(), tables[3]->Rows()};
}

}  // namespace kx::convert
