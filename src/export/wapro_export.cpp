// The Wapro (Magik) output of the warehouse export.
//
// Each document is read whole (header, rates, the contractor cards it needs)
// before anything of it is written, so a walk that stops at a document keeps
// the documents before it and nothing of the failed one.

#include "export/wapro_export.h"

#include <charconv>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/contractor.h"
#include "app/kxTools.h"
#include "app/source_tables.h"
#include "platform/decimal_text.h"
#include "platform/error.h"
#include "platform/xml/xml_stream_writer.h"

namespace kx::exports {
using namespace towix;

namespace {

constexpr tables::Date kWaproDayZero{1800, 12, 28};
// The table engine reads an empty date as day 0 of its own count, 30 December 1899.
constexpr tables::Date kEmptyDate{1899, 12, 30};
// GTU groups 1 to 13 are bits 0 to 12.
constexpr int kGtuGroups = 13;

int64_t WaproDayOf(const tables::Field& field) { return WaproDay(field.IsNull() ? kEmptyDate : field.AsDate()); }

std::string Text(int64_t n) { return std::to_string(n); }

// Where the elements go: the tree in memory, or text written as it goes
// (the same bytes once the tree is saved).
class WaproOut {
 public:
  virtual ~WaproOut() = default;
  virtual void Start(const char* name) = 0;
  virtual void Text(const char* name, const std::string& text) = 0;
  virtual void End() = 0;
};

class NodeOut : public WaproOut {
 public:
  explicit NodeOut(xml::XmlNode base) { m_open.push_back(std::move(base)); }
  void Start(const char* name) override { m_open.push_back(m_open.back().AddChild(name)); }
  void Text(const char* name, const std::string& text) override { m_open.back().AddChild(name).SetText(text); }
  void End() override { m_open.pop_back(); }

 private:
  std::vector<xml::XmlNode> m_open;
};

class StreamOut : public WaproOut {
 public:
  explicit StreamOut(xml::XmlStreamWriter& out) : m_out(out) {}
  void Start(const char* name) override { m_out.StartElement(name); }
  void Text(const char* name, const std::string& text) override { m_out.TextElement(name, text); }
  void End() override { m_out.EndElement(); }

 private:
  xml::XmlStreamWriter& m_out;
};

struct WaproRate {
  const char* code;
  double net;
  double tax;
};

struct WaproCard {
  int64_t id = 0;
  int64_t code = 0;
  std::string shortName, name, postalCode, town, street, nip;
};

// What one DOKUMENT and its cards are made of.
struct WaproDocument {
  std::string number;
  int64_t originalId = 0;
  int64_t user = 0, payer = 0;
  std::string tradeKinds;  // RODZAJ_TRANSAKCJI_HANDLOWEJ; empty: none
  int64_t issueDay = 0, saleDay = 0, payDay = 0;
  double value = 0, totalTax = 0;
  std::vector<WaproRate> rates;
  int64_t vatDay = 0;
  std::vector<WaproCard> cards;
};

// "%.2d%.06d" of the year and the number, as a whole number (17, 123:
// 17000123).
int64_t OriginalId(int64_t year, int64_t number, const std::string& name) {
  std::string text = Format("%.2lld%.06lld", static_cast<long long>(year), static_cast<long long>(number));
  int64_t id = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (ec != std::errc() || end != text.data() + text.size()) {
    throw Error(Format("Dokument %s: niepoprawny numer dokumentu %s", name.c_str(), text.c_str()));
  }
  return id;
}

// "GTU_01 GTU_05" for bits 0 and 4; empty when none of the groups is set.
std::string TradeKinds(int64_t gtu) {
  std::string out;
  if (gtu <= 0) return out;
  for (int bit = 0; bit < kGtuGroups; ++bit) {
    if ((gtu & (int64_t{1} << bit)) == 0) continue;
    if (!out.empty()) out += " ";
    out += Format("GTU_%.02d", bit + 1);
  }
  return out;
}

std::vector<WaproRate> ReadRates(tables::Table& reg) {
  std::vector<WaproRate> rates;
  struct Group {
    const char* code;
    const char* net;
    const char* tax;
  };
  for (const Group& g : {Group{"23", "Value22", "Tax22"}, Group{"8", "Value7", "Tax7"}, Group{"5", "Value3", "Tax3"}}) {
    double net = reg.FieldByName(g.net).AsFloat();
    double tax = reg.FieldByName(g.tax).AsFloat();
    if (net != 0 || tax != 0) rates.push_back({g.code, net, tax});
  }
  double net0 = reg.FieldByName("Value0").AsFloat();
  if (net0 != 0) rates.push_back({"0", net0, 0});
  return rates;
}

// The (ID_KONTRAHENTA, KOD_KONTRAHENTA) pairs of the cards written so far:
// the card file looked up without a walk through it for every document.
using CardKeys = std::set<std::pair<int64_t, int64_t>>;

// The cards the document adds to the card file: none when the contractor's
// card under this payer is there; with the Users table also the payer's own
// card (from Users) unless it is there.
std::vector<WaproCard> ReadCards(AppContext& ctx, WarehouseTables& t, const CardKeys& written, int64_t type,
                                 int64_t user, const std::string& number, int64_t payer) {
  if (written.count({user, payer}) != 0) return {};
  const bool payerCardExists = written.count({payer, payer}) != 0;

  std::vector<WaproCard> cards;
  bool check = KindChecksNip(type);
  if (t.UsersOpen()) {
    Contractor read = ReadContractor(ctx, number, t.users, check);
    WaproCard card;
    card.name = read.name;
    card.nip = read.nip;
    card.shortName = t.users.FieldByName("Identifier").AsString();
    card.postalCode = t.users.FieldByName("ZipCode").AsString();
    card.town = t.users.FieldByName("City").AsString();
    card.street = t.users.FieldByName("Street").AsString();
    std::string house = t.users.FieldByName("House").AsString();
    if (!house.empty()) card.street += " " + house;
    if (!payerCardExists) {
      card.id = payer;
      card.code = payer;
      cards.push_back(card);
    }
    // The contractor's card: UR's short name, and UR's address where it has one.
    card.shortName = t.ur.FieldByName("Identifier").AsString();
    for (auto [field, value] :
         {std::pair{"ZipCode", &card.postalCode}, std::pair{"City", &card.town}, std::pair{"Address", &card.street}}) {
      std::string text = t.ur.FieldByName(field).AsString();
      if (!text.empty()) *value = text;
    }
    card.id = user;
    card.code = payer;
    cards.push_back(card);
  } else {
    Contractor read = ReadContractor(ctx, number, t.ur, check);
    WaproCard card;
    card.id = user;
    card.code = payer;
    card.name = read.name;
    card.nip = read.nip;
    card.shortName = t.ur.FieldByName("Identifier").AsString();
    card.postalCode = t.ur.FieldByName("ZipCode").AsString();
    card.town = t.ur.FieldByName("City").AsString();
    card.street = t.ur.FieldByName("Address").AsString();
    cards.push_back(card);
  }
  return cards;
}

WaproDocument ReadDocument(AppContext& ctx, WarehouseTables& t, const CardKeys& written, int64_t type) {
  tables::Table& wi = t.wi;
  tables::Table& reg = t.reg;
  WaproDocument d;
  d.number = wi.FieldByName("Name").AsString();
  d.originalId = OriginalId(wi.FieldByName("Year").AsInteger(), wi.FieldByName("Number").AsInteger(), d.number);
  d.user = reg.FieldByName("User").AsInteger();
  d.payer = reg.FieldByName("Payer").AsInteger();
  d.tradeKinds = TradeKinds(reg.FieldByName("GTU").AsInteger());
  d.issueDay = WaproDayOf(wi.FieldByName("Date"));
  d.saleDay = WaproDayOf(wi.FieldByName("SaleDate"));
  d.payDay = WaproDayOf(reg.FieldByName("PayDate"));
  d.value = reg.FieldByName("Value").AsFloat();
  d.totalTax = reg.FieldByName("TotalTax").AsFloat();
  d.rates = ReadRates(reg);
  d.vatDay = WaproDayOf(reg.FieldByName("SaleDate"));
  d.cards = ReadCards(ctx, t, written, type, d.user, d.number, d.payer);
  return d;
}

void WriteInfo(WaproOut& out, AppContext& ctx, const jpk::CreationTime& now, int count) {
  out.Start("INFO_EKSPORTU");
  out.Text("WERSJA_MAGIKA", "4.2.0");
  out.Text("NAZWA_PROGRAMU", "kx2jpk");
  out.Text("WERSJA_PROGRAMU", VersionString(ctx.AppName));
  out.Text("DATA_EKSPORTU", Format("%02d-%02d-%04d", now.date.day, now.date.month, now.date.year));
  out.Text("GODZINA_EKSPORTU", Format("%02d:%02d:%02d", now.hour, now.minute, now.second));
  out.Text("LICZBA_DOKUMENTOW", Text(count));
  out.End();
}

void WriteDocument(WaproOut& out, const WaproDocument& d) {
  out.Start("DOKUMENT");
  out.Start("NAGLOWEK_DOKUMENTU");
  out.Text("RODZAJ_DOKUMENTU", "H");
  out.Text("NUMER", d.number);
  out.Text("ID_DOKUMENTU_ORYG", Text(d.originalId));
  out.Text("ID_KONTRAHENTA", Text(d.user));
  out.Text("ID_PLATNIKA", Text(d.payer));
  out.Text("ZAKUP_SPRZEDAZ", "S");
  out.Text("TYP_DOKUMENTU", "FV");
  if (!d.tradeKinds.empty()) out.Text("RODZAJ_TRANSAKCJI_HANDLOWEJ", d.tradeKinds);
  out.Start("DATY");
  out.Text("DATA_WYSTAWIENIA", Text(d.issueDay));
  out.Text("DATA_SPRZEDAZY", Text(d.saleDay));
  out.Text("TERMIN_PLATNOSCI", Text(d.payDay));
  out.End();
  out.Start("WARTOSCI_NAGLOWKA");
  out.Text("NETTO_SPRZEDAZY", DecimalText(RoundAmount(kAmountDecimals, d.value - d.totalTax)));
  out.Text("BRUTTO_SPRZEDAZY", DecimalText(d.value));
  out.Text("NETTO_ZAKUPU", "0");
  out.Text("BRUTTO_ZAKUPU", "0");
  out.End();
  out.End();  // NAGLOWEK_DOKUMENTU
  out.Start("VAT");
  for (const WaproRate& r : d.rates) {
    out.Start("STAWKA");
    out.Text("KOD_VAT", r.code);
    out.Text("NETTO", DecimalText(r.net));
    out.Text("VAT", DecimalText(r.tax));
    out.Text("DATA_VAT", Text(d.vatDay));
    out.End();
  }
  out.End();  // VAT
  out.End();  // DOKUMENT
}

void WriteContractors(WaproOut& out, const std::vector<WaproCard>& cards, CardKeys& written) {
  for (const WaproCard& c : cards) {
    written.insert({c.id, c.code});
    out.Start("KONTRAHENT");
    out.Text("ID_KONTRAHENTA", Text(c.id));
    out.Text("KOD_KONTRAHENTA", Text(c.code));
    out.Text("NAZWA", c.shortName);
    out.Text("NAZWA_PELNA", c.name);
    out.Text("KOD_POCZTOWY", c.postalCode);
    out.Text("MIEJSCOWOSC", c.town);
    out.Text("ULICA_LOKAL", c.street);
    out.Text("NIP", c.nip);
    out.Text("RODZAJ_EWIDENCJI", "1");
    out.Text("VAT_CZYNNY", "1");
    out.Text("ODBIORCA", "1");
    out.End();
  }
}

// The month's sales documents into their list and their cards into the card
// file; the count of documents written. A failure ends the walk: what was
// written before it stays, the failure goes to `failure`.
int WalkWapro(AppContext& ctx, WarehouseTables& t, WaproOut& documents, WaproOut& cardFile,
              std::exception_ptr& failure) {
  CardKeys written;
  int count = 0;
  try {
    for (t.wi.First(); !t.wi.Eof(); t.wi.Next()) {
      int64_t type = t.wi.FieldByName("Type").AsInteger();
      if (!IsSaleDocType(ctx.AppSettings, type) || (t.reg.FieldByName("Flags").AsInteger() & kRegSkip) != 0) continue;
      WaproDocument d = ReadDocument(ctx, t, written, type);
      WriteDocument(documents, d);
      WriteContractors(cardFile, d.cards, written);
      ++count;
    }
  } catch (...) {
    failure = std::current_exception();
  }
  return count;
}

}  // namespace

int64_t WaproDay(tables::Date date) { return tables::DaysFromCivil(date) - tables::DaysFromCivil(kWaproDayZero); }

WaproExport MakeWapro(AppContext& ctx, WarehouseTables& t) { return MakeWapro(ctx, t, jpk::CreationTime::Now()); }

WaproExport MakeWapro(AppContext& ctx, WarehouseTables& t, const jpk::CreationTime& now) {
  WaproExport out;
  out.document.SetVersion("1.0");
  out.document.SetEncoding("UTF-8");
  out.document.SetIndentString("\t");  // written with SaveFormatted
  xml::XmlNode root = out.document.AddDocumentElement("MAGIK_EKSPORT");
  NodeOut top(root);
  WriteInfo(top, ctx, now, 0);
  NodeOut documents(root.AddChild("DOKUMENTY"));
  NodeOut cardFile(root.AddChild("KARTOTEKA_KONTRAHENTOW"));
  out.count = WalkWapro(ctx, t, documents, cardFile, out.failure);
  if (out.count >= 1) root.FindChild("INFO_EKSPORTU").FindChild("LICZBA_DOKUMENTOW").SetText(Text(out.count));
  return out;
}

WaproExport MakeWaproText(AppContext& ctx, WarehouseTables& t, const jpk::CreationTime& now) {
  // The two lists are written apart and joined under the header, whose count
  // is known only at the end.
  WaproExport out;
  xml::XmlStreamWriter documentsText("\t", 2), cardsText("\t", 2);
  StreamOut documents(documentsText), cardFile(cardsText);
  out.count = WalkWapro(ctx, t, documents, cardFile, out.failure);

  xml::XmlStreamWriter file("\t");
  StreamOut top(file);
  top.Start("MAGIK_EKSPORT");
  WriteInfo(top, ctx, now, out.count);
  for (auto [name, text] : {std::pair{"DOKUMENTY", &documentsText}, std::pair{"KARTOTEKA_KONTRAHENTOW", &cardsText}}) {
    file.StartElement(name);
    file.AppendChildren(text->TakeText());
    file.EndElement();
  }
  top.End();
  out.text = file.TakeText();
  return out;
}

WaproExport MakeWaproText(AppContext& ctx, WarehouseTables& t) {
  return MakeWaproText(ctx, t, jpk::CreationTime::Now());
}

}  // namespace kx::exports
