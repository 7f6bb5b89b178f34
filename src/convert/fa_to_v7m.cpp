// JPK_FA(4) invoices into the records of a new JPK_V7M(3) document: the
// firm's own invoices become sales records, all others purchase records.

#include <array>
#include <utility>

#include "convert/convert.h"
#include "jpk/files/jpkTools.h"
#include "jpk/v7m/ksef_question.h"
#include "jpk/v7m/line_writers.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/decimal_text.h"
#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx::convert {
using namespace jpk::v7m;

namespace {

// What a record gets for a contractor's missing NIP or name.
constexpr const char* kMissing = "BRAK";

// Invoice amounts copied to a sales record, in the record's schema order.
constexpr std::array<std::pair<const char*, const char*>, 7> kSaleAmounts = {{{"P_13_5", "K_11"},
                                                                              {"P_13_3", "K_15"},
                                                                              {"P_14_3", "K_16"},
                                                                              {"P_13_2", "K_17"},
                                                                              {"P_14_2", "K_18"},
                                                                              {"P_13_1", "K_19"},
                                                                              {"P_14_1", "K_20"}}};
constexpr std::array<const char*, 5> kPurchaseNet = {"P_13_1", "P_13_2", "P_13_3", "P_13_4", "P_13_5"};
constexpr std::array<const char*, 3> kPurchaseTax = {"P_14_1", "P_14_2", "P_14_3"};

std::string OrMissing(const std::string& text) { return Trim(text).empty() ? kMissing : text; }

// The next element after node; comments and blanks between invoices are stepped over.
xml::XmlNode NextElement(xml::XmlNode node) {
  for (node = node.NextSibling(); !node.IsNull(); node = node.NextSibling()) {
    if (node.Kind() == xml::XmlNodeKind::Element) return node;
  }
  return {};
}

bool SameElementKind(const xml::XmlNode& a, const xml::XmlNode& b) {
  return a.LocalName() == b.LocalName() && a.NamespaceURI() == b.NamespaceURI();
}

// The invoice date P_1 in the form yyyy-MM-dd.
Date InvoiceDate(const xml::XmlNode& invoice, const std::string& number) {
  std::string text = ChildText(invoice, "P_1");
  bool ok = text.size() == 10 && text[4] == '-' && text[7] == '-';
  auto digits = [&](size_t from, size_t count) {
    int v = 0;
    for (size_t i = from; i < from + count; ++i) {
      if (text[i] < '0' || text[i] > '9') ok = false;
      v = v * 10 + (text[i] - '0');
    }
    return v;
  };
  Date d;
  if (ok) d = {digits(0, 4), digits(5, 2), digits(8, 2)};
  ok = ok && d.year >= 1 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
       tables::CivilFromDays(tables::DaysFromCivil(d)) == d;
  if (!ok) {
    throw Error(Format("Faktura %s: element P_1 \"%s\" nie jest poprawną datą", number.c_str(), text.c_str()));
  }
  return d;
}

int64_t SumCents(const xml::XmlNode& invoice, const auto& names) {
  int64_t cents = 0;
  for (const char* name : names) {
    xml::XmlNode child = invoice.FindChild(name);
    if (!child.IsNull()) cents = AddCents(cents, AmountCents(child.Text()));
  }
  return cents;
}

void AddSale(IXMLJPK_Ewidencja ewidencja, int nr, const xml::XmlNode& invoice, const std::string& number, Date date,
             const std::string& ksef) {
  auto sales = ewidencja.SprzedazWiersz();
  auto line = sales.Insert(ewidencja.IndexOfChild("SprzedazCtrl"));
  SetSaleLineV7(line, nr, ChildText(invoice, "P_5A"), OrMissing(ChildText(invoice, "P_5B")),
                OrMissing(ChildText(invoice, "P_3A")), number, ksef, "", date, date, 0, 0);
  xml::XmlNode record = line.Node();
  for (const auto& [from, to] : kSaleAmounts) {
    // Rounded to 2 places, as the record's amounts are counted (and as the schema allows).
    if (!invoice.FindChild(from).IsNull()) record.ChildByName(to).SetText(DecimalText(ChildAmount(invoice, from)));
  }
}

void AddPurchase(IXMLJPK_Ewidencja ewidencja, int nr, const xml::XmlNode& invoice, const std::string& number, Date date,
                 const std::string& ksef) {
  auto purchases = ewidencja.ZakupWiersz();
  auto line = purchases.Insert(ewidencja.IndexOfChild("ZakupCtrl"));
  SetBuyLineV7(line, nr, ChildText(invoice, "P_4A"), OrMissing(ChildText(invoice, "P_4B")),
               OrMissing(ChildText(invoice, "P_3C")), number, ksef, "", date, date, false);
  // Each part rounded to 2 places first; the sum is exact.
  line.SetK_42(static_cast<double>(SumCents(invoice, kPurchaseNet)) / 100);
  line.SetK_43(static_cast<double>(SumCents(invoice, kPurchaseTax)) / 100);
}

// The firm's NIP: Podmiot1/IdentyfikatorPodmiotu/NIP, read without creating anything.
std::string FirmNip(const jpk::fa::IXMLJPKFA& input) {
  xml::XmlNode subject = input.FindChild("Podmiot1");
  if (subject.IsNull()) return {};
  return ChildText(subject.FindChild("IdentyfikatorPodmiotu"), "NIP");
}

void ConvertInvoices(AppContext& ctx, ConverterState& state, IXMLJPK target, const jpk::fa::IXMLJPKFA& input) {
  xml::XmlNode invoice = input.FindChild("Faktura");
  if (invoice.IsNull()) throw Error("Brak faktur w pliku JPK_FA");
  if (target.HasChild("Ewidencja")) throw Error("Istnieje już węzeł \"Ewidencja\" w JPK_V7M");

  auto ewidencja = target.Ewidencja();
  auto saleCtrl = ewidencja.SprzedazCtrl();
  saleCtrl.SetLiczbaWierszySprzedazy(0);
  saleCtrl.SetPodatekNalezny(0);
  auto purchaseCtrl = ewidencja.ZakupCtrl();
  purchaseCtrl.SetLiczbaWierszyZakupow(0);
  purchaseCtrl.SetPodatekNaliczony(0);

  std::string firmNip = FirmNip(input);
  if (firmNip.empty()) throw Error("Brak NIP-u podatnika w pliku JPK_FA");

  const xml::XmlNode first = invoice;
  int sales = 0;
  int purchases = 0;
  for (; !invoice.IsNull() && SameElementKind(invoice, first); invoice = NextElement(invoice)) {
    std::string number = ChildText(invoice, "P_2A");
    Date date = InvoiceDate(invoice, number);
    // JPK_FA carries no KSeF reference: every record is asked about.
    std::string ksef = AskEmptyKsef(ctx, state.alwaysMarkBfk, number);
    if (ChildText(invoice, "P_4B") == firmNip) {
      AddSale(ewidencja, ++sales, invoice, number, date, ksef);
    } else {
      AddPurchase(ewidencja, ++purchases, invoice, number, date, ksef);
    }
  }
  RecalcJPK(target);
}

}  // namespace

IXMLJPK ConvertFaToV7M(AppContext& ctx, ConverterState& state, jpk::fa::IXMLJPKFA input) {
  IXMLJPK target = NewJPK();
  jpk::PrepareV7MDocument(target);
  jpk::FillV7MHeader(ctx, target, false);
  // Without an input document the target keeps its header and subject only.
  if (!input.IsNull()) ConvertInvoices(ctx, state, target, input);
  return target;
}

std::string FaToV7MFileName(const std::filesystem::path& inputFile) {
  return "JPK_FA_to_V7_" + inputFile.filename().string();
}

}  // namespace kx::convert
