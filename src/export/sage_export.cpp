// The Sage (Symfonia) output of the warehouse export: an information block
// and one block per sales document of the month, as the lines of a code page
// 1250 text with CRLF line ends.

#include "app/contractor.h"
#include "app/kxTools.h"
#include "app/source_tables.h"
#include "export/towix_export.h"
#include "platform/tables/codepage.h"

namespace kx::exports {
using namespace towix;

namespace {

constexpr int kSageCodePage = 1250;

std::string DateFieldText(const tables::Field& field) {
  return field.IsNull() ? std::string() : tables::DateText(field.AsDate());
}

class SageLines {
 public:
  void Add(const std::string& line) { m_text += line + "\r\n"; }
  std::string Bytes() const { return tables::FromUtf8(m_text, kSageCodePage); }

 private:
  std::string m_text;  // UTF-8
};

}  // namespace

SageExport MakeSage(AppContext& ctx, WarehouseTables& t) {
  const AppSettings& s = ctx.AppSettings;
  SageExport out;
  SageLines lines;
  lines.Add("INFO{");
  lines.Add("  Nazwa programu =" + s.NazwaSystemu);
  lines.Add("  Wersja_programu =" + std::to_string(s.Wersja_programu));
  lines.Add("  Wersja szablonu =" + std::to_string(s.Wersja_szablonu));
  lines.Add("}");

  try {
    for (t.wi.First(); !t.wi.Eof(); t.wi.Next()) {
      int64_t type = t.wi.FieldByName("Type").AsInteger();
      if (!IsSaleDocType(s, type) || (t.reg.FieldByName("Flags").AsInteger() & kRegSkip) != 0) continue;

      std::string number = t.wi.FieldByName("Name").AsString();
      Contractor c = ReadContractor(ctx, number, t.ContractorTable(), KindChecksNip(type));
      std::string payment = PaymentFormName(static_cast<uint16_t>(t.wi.FieldByName("PayInfo").AsInteger())) + " " +
                            std::to_string(t.wi.FieldByName("PayDelay").AsInteger()) + " dni";
      std::string date = DateFieldText(t.wi.FieldByName("Date"));
      std::string saleDate = DateFieldText(t.wi.FieldByName("SaleDate"));

      lines.Add("Dokument{");
      lines.Add("  anulowany =0");
      lines.Add("  rodzaj_dok =sprzedaży");
      lines.Add("  khnip =" + c.nip);
      lines.Add("  khnazwa =" + c.name);
      lines.Add("  khadres =" + c.address);
      lines.Add("  kod =" + number);
      lines.Add("  data =" + date);
      lines.Add("  datasp =" + saleDate);
      lines.Add("  forma_platnosci =" + payment);
      lines.Add("}");
      ++out.count;
    }
  } catch (...) {
    out.failure = std::current_exception();
  }
  out.text = lines.Bytes();
  return out;
}

}  // namespace kx::exports
