#include "jpk/check/v7m_rules.h"

#include <array>
#include <cstdlib>
#include <map>
#include <optional>
#include <span>
#include <utility>

#include "jpk/check/ksef_number.h"
#include "jpk/check/nip.h"
#include "jpk/v7m/v7m_order.h"
#include "jpk/v7m/v7m_record_fields.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/decimal_text.h"
#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx::jpk::check {
namespace {

using v7m::ChildText;

using v7m::AmountPair;

// What differs between the two record kinds.
struct Side {
  bool sales;  // the seller is the subject of the file; otherwise the record's supplier
  const char* section;
  const char* lpName;
  const char* nipName;
  const char* documentName;
  std::array<const char*, 2> dates;
  std::span<const AmountPair> pairs;
  const char* ctrlName;
  const char* countName;
  const char* taxName;
  const char* recordsText;  // "wierszy sprzedaży"
  xml::XmlNode (*first)(const xml::XmlNode&);
  xml::XmlNode (*next)(const xml::XmlNode&);
  int64_t (*taxCents)(const xml::XmlNode&);
};

int64_t SaleTax(const xml::XmlNode& r) { return v7m::ReadSaleRecord(r).TaxCents(); }
int64_t PurchaseTax(const xml::XmlNode& r) { return v7m::ReadPurchaseRecord(r).TaxCents(); }

const Side kSales{true,
                  kSectionSales,
                  "LpSprzedazy",
                  "NrKontrahenta",
                  "DowodSprzedazy",
                  {"DataWystawienia", "DataSprzedazy"},
                  v7m::kSaleAmountPairs,
                  "SprzedazCtrl",
                  "LiczbaWierszySprzedazy",
                  "PodatekNalezny",
                  "wierszy sprzedaży",
                  v7m::FirstSaleRecord,
                  v7m::NextSaleRecord,
                  SaleTax};
const Side kPurchases{false,
                      kSectionPurchases,
                      "LpZakupu",
                      "NrDostawcy",
                      "DowodZakupu",
                      {"DataZakupu", "DataWplywu"},
                      v7m::kPurchaseAmountPairs,
                      "ZakupCtrl",
                      "LiczbaWierszyZakupow",
                      "PodatekNaliczony",
                      "wierszy zakupu",
                      v7m::FirstPurchaseRecord,
                      v7m::NextPurchaseRecord,
                      PurchaseTax};

std::optional<long> WholeNumber(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  const long v = std::strtol(t.c_str(), &end, 10);
  if (*end != '\0') return std::nullopt;
  return v;
}

std::optional<int64_t> Cents(const std::string& text) {
  if (Trim(text).empty()) return std::nullopt;
  try {
    return v7m::AmountCents(text);
  } catch (const Error&) {
    return std::nullopt;  // the schema names a text that is no number
  }
}

// An amount as the file writes it ("238", "238.5").
std::string CentsText(int64_t cents) { return DecimalText(static_cast<double>(cents) / 100); }

// The first element child of that local name, whatever its namespace.
xml::XmlNode ChildByLocalName(const xml::XmlNode& parent, std::string_view local) {
  for (xml::XmlNode c = parent.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    if (c.Kind() == xml::XmlNodeKind::Element && c.LocalName() == local) return c;
  }
  return {};
}

// The subject's NIP as written ("" when missing).
std::string SubjectNip(const v7m::IXMLJPK& jpk) {
  xml::XmlNode subject = jpk.Node().FindChild("Podmiot1");
  for (const char* kind : {"OsobaNiefizyczna", "OsobaFizyczna"}) {
    xml::XmlNode person = subject.FindChild(kind);
    if (!person.IsNull()) return Trim(ChildByLocalName(person, "NIP").Text());
  }
  return {};
}

// "RRRR-MM" of the file's Rok and Miesiac; nothing when they cannot be read.
std::optional<std::string> FileMonth(const v7m::IXMLJPK& jpk) {
  xml::XmlNode header = jpk.Node().FindChild("Naglowek");
  std::optional<long> year = WholeNumber(ChildText(header, "Rok"));
  std::optional<long> month = WholeNumber(ChildText(header, "Miesiac"));
  if (!year || !month || *year < 1000 || *year > 9999 || *month < 1 || *month > 12) return std::nullopt;
  return Format("%04ld-%02ld", *year, *month);
}

bool IsIsoDate(const std::string& s) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

bool IsBrak(const std::string& text) {
  if (text.size() != 4) return false;
  std::string lower;
  for (char c : text) lower += static_cast<char>(c | 0x20);
  return lower == "brak";
}

// The contractor's number as a Polish NIP to check: the country code PL or
// none. With PL the number must be a NIP; without a code only a number of
// ten digits is taken for one.
std::optional<std::string> PolishNip(const xml::XmlNode& record, const Side& side) {
  const std::string country = Trim(ChildText(record, "KodKrajuNadaniaTIN"));
  const std::string number = Trim(ChildText(record, side.nipName));
  if (number.empty() || IsBrak(number) || (!country.empty() && country != "PL")) return std::nullopt;
  const std::string digits = NipDigits(number);
  if (country.empty() && !IsTenDigits(digits)) return std::nullopt;
  return digits;
}

class RecordChecker {
 public:
  RecordChecker(const Side& side, std::optional<std::string> month, std::string subjectNip,
                std::vector<Finding>& findings)
      : m_side(side), m_month(std::move(month)), m_subjectNip(std::move(subjectNip)), m_findings(findings) {}

  void Check(const xml::XmlNode& record, int ordinal) {
    m_record = record;
    m_lp = static_cast<int>(WholeNumber(ChildText(record, m_side.lpName)).value_or(ordinal));
    CheckNip();
    CheckKsef();
    CheckDates();
    CheckPairs();
    CheckRepeated();
  }

 private:
  void Add(Severity severity, const char* element, std::string message) {
    m_findings.push_back({severity, m_side.section, m_lp, element, std::move(message)});
  }

  void CheckNip() {
    std::optional<std::string> nip = PolishNip(m_record, m_side);
    if (!nip) return;
    const std::string shown = Trim(ChildText(m_record, m_side.nipName));
    if (!IsTenDigits(*nip)) {
      Add(Severity::Error, m_side.nipName, Format("NIP %s nie ma 10 cyfr", shown.c_str()));
    } else if (!NipCheckDigitOk(*nip)) {
      Add(Severity::Error, m_side.nipName, Format("NIP %s ma błędną cyfrę kontrolną", shown.c_str()));
    }
  }

  void CheckKsef() {
    xml::XmlNode node = m_record.FindChild("NrKSeF");
    if (node.IsNull()) return;
    const std::string number = Trim(node.Text());
    if (number.empty()) {
      Add(Severity::Error, "NrKSeF", "pusty numer KSeF");
      return;
    }
    if (std::string fault = KsefNumberFault(number); !fault.empty()) {
      Add(Severity::Error, "NrKSeF", fault);
      return;
    }
    // The issuer's part against the seller, when both are NIPs.
    const std::string issuer = ParseKsefNumber(number)->issuer;
    if (!IsTenDigits(issuer)) return;
    if (m_side.sales) {
      const std::string firm = NipDigits(m_subjectNip);
      if (IsTenDigits(firm) && firm != issuer) {
        Add(Severity::Warning, "NrKSeF",
            Format("numer KSeF %s ma NIP %s, a sprzedawcą jest podmiot o NIP %s", number.c_str(), issuer.c_str(),
                   firm.c_str()));
      }
    } else {
      std::optional<std::string> supplier = PolishNip(m_record, m_side);
      if (supplier && IsTenDigits(*supplier) && *supplier != issuer) {
        Add(Severity::Warning, "NrKSeF",
            Format("numer KSeF %s ma NIP %s, a NIP dostawcy to %s", number.c_str(), issuer.c_str(), supplier->c_str()));
      }
    }
  }

  void CheckDates() {
    if (!m_month) return;
    for (const char* name : m_side.dates) {
      const std::string date = Trim(ChildText(m_record, name));
      if (IsIsoDate(date) && date.compare(0, 7, *m_month) > 0) {
        Add(Severity::Warning, name,
            Format("data %s jest późniejsza niż koniec okresu pliku (%s)", date.c_str(), m_month->c_str()));
      }
    }
  }

  void CheckPairs() {
    for (const auto& [net, tax] : m_side.pairs) {
      const bool hasNet = !m_record.FindChild(net).IsNull();
      const bool hasTax = !m_record.FindChild(tax).IsNull();
      if (hasNet && !hasTax) Add(Severity::Error, net, Format("kwota netto %s bez kwoty podatku %s", net, tax));
      if (hasTax && !hasNet) Add(Severity::Error, tax, Format("kwota podatku %s bez kwoty netto %s", tax, net));
    }
  }

  void CheckRepeated() {
    const std::string document = Trim(ChildText(m_record, m_side.documentName));
    if (document.empty()) return;
    const std::string contractor = Trim(ChildText(m_record, m_side.nipName));
    auto [it, added] = m_seen.try_emplace({document, contractor}, m_lp);
    if (added) return;
    Add(Severity::Warning, m_side.documentName,
        Format("dokument %s kontrahenta %s występuje już w wierszu Lp %d", document.c_str(),
               contractor.empty() ? "(bez numeru)" : contractor.c_str(), it->second));
  }

  const Side& m_side;
  std::optional<std::string> m_month;
  std::string m_subjectNip;
  std::vector<Finding>& m_findings;
  xml::XmlNode m_record;
  int m_lp = 0;
  std::map<std::pair<std::string, std::string>, int> m_seen;
};

// The count and the tax total of the control element against the records.
void CheckControl(const Side& side, const xml::XmlNode& ewidencja, std::vector<Finding>& findings) {
  xml::XmlNode ctrl = ewidencja.FindChild(side.ctrlName);
  if (ctrl.IsNull()) return;  // the schema names a missing one
  int count = 0;
  int64_t tax = 0;
  try {
    for (xml::XmlNode r = side.first(ewidencja); !r.IsNull(); r = side.next(r)) {
      ++count;
      tax = v7m::AddCents(tax, side.taxCents(r));
    }
  } catch (const Error& e) {
    findings.push_back(
        {Severity::Error, side.section, 0, side.taxName, Format("nie można zsumować podatku z wierszy: %s", e.what())});
    return;
  }
  const std::string countText = Trim(ChildText(ctrl, side.countName));
  std::optional<long> written = WholeNumber(countText);
  if (written && *written != count) {
    findings.push_back({Severity::Error, side.section, 0, side.countName,
                        Format("podano %s, a %s jest %d", countText.c_str(), side.recordsText, count)});
  }
  const std::string taxText = Trim(ChildText(ctrl, side.taxName));
  std::optional<int64_t> writtenTax = Cents(taxText);
  if (writtenTax && *writtenTax != tax) {
    findings.push_back({Severity::Error, side.section, 0, side.taxName,
                        Format("podano %s, a suma podatku z %s wynosi %s", taxText.c_str(), side.recordsText,
                               CentsText(tax).c_str())});
  }
}

void CheckSide(const Side& side, const v7m::IXMLJPK& jpk, const std::optional<std::string>& month,
               const std::string& subjectNip, std::vector<Finding>& findings) {
  xml::XmlNode ewidencja = jpk.Node().FindChild("Ewidencja");
  if (ewidencja.IsNull()) return;
  RecordChecker checker(side, month, subjectNip, findings);
  int ordinal = 0;
  for (xml::XmlNode r = side.first(ewidencja); !r.IsNull(); r = side.next(r)) checker.Check(r, ++ordinal);
  CheckControl(side, ewidencja, findings);
}

}  // namespace

void CheckV7MHeader(const v7m::IXMLJPK& jpk, std::vector<Finding>& findings) {
  const std::string nip = SubjectNip(jpk);
  if (IsTenDigits(nip) && !NipCheckDigitOk(nip)) {
    findings.push_back(
        {Severity::Error, kSectionHeader, 0, "NIP", Format("NIP podmiotu %s ma błędną cyfrę kontrolną", nip.c_str())});
  }
}

void CheckV7MRecords(const v7m::IXMLJPK& jpk, std::vector<Finding>& findings) {
  const std::optional<std::string> month = FileMonth(jpk);
  const std::string subjectNip = SubjectNip(jpk);
  CheckSide(kSales, jpk, month, subjectNip, findings);
  CheckSide(kPurchases, jpk, month, subjectNip, findings);
}

void CheckV7MRefund(const v7m::IXMLJPK& jpk, std::vector<Finding>& findings) {
  xml::XmlNode declaration = jpk.Node().FindChild("Deklaracja");
  xml::XmlNode positions = declaration.IsNull() ? xml::XmlNode() : declaration.FindChild("PozycjeSzczegolowe");
  if (positions.IsNull()) return;
  auto add = [&](const char* element, std::string message) {
    findings.push_back({Severity::Error, kSectionDeclaration, 0, element, std::move(message)});
  };
  const bool hasRefund = !positions.FindChild("P_54").IsNull();
  if (!hasRefund) {
    for (const char* name : {"P_59", "P_60", "P_61"}) {
      if (!positions.FindChild(name).IsNull()) add(name, Format("pozycja %s bez kwoty do zwrotu P_54", name));
    }
  }
  std::optional<int64_t> p53 = Cents(ChildText(positions, "P_53"));
  std::optional<int64_t> p54 = Cents(ChildText(positions, "P_54"));
  const int64_t surplus = p53.value_or(0);
  const int64_t refund = p54.value_or(0);
  if (refund > surplus) {
    add("P_54", Format("kwota do zwrotu P_54 (%s) jest większa niż nadwyżka podatku naliczonego P_53 (%s)",
                       CentsText(refund).c_str(), CentsText(surplus).c_str()));
  }
  // The surplus carried over to the next month is what is not refunded.
  const int64_t carried = surplus > refund ? surplus - refund : 0;
  xml::XmlNode p62 = positions.FindChild("P_62");
  std::optional<int64_t> written = p62.IsNull() ? std::optional<int64_t>(0) : Cents(p62.Text());
  if (written && *written != carried) {
    add("P_62",
        Format("w deklaracji %s, a P_53 - P_54 daje %s", CentsText(*written).c_str(), CentsText(carried).c_str()));
  }
}

void ListV7MAwaitingKsef(const v7m::IXMLJPK& jpk, std::vector<Finding>& findings) {
  xml::XmlNode ewidencja = jpk.Node().FindChild("Ewidencja");
  if (ewidencja.IsNull()) return;
  for (const Side* side : {&kSales, &kPurchases}) {
    int ordinal = 0;
    for (xml::XmlNode r = side->first(ewidencja); !r.IsNull(); r = side->next(r)) {
      ++ordinal;
      if (r.FindChild("DI").IsNull()) continue;
      const int lp = static_cast<int>(WholeNumber(ChildText(r, side->lpName)).value_or(ordinal));
      const std::string document = Trim(ChildText(r, side->documentName));
      findings.push_back({Severity::Info, side->section, lp, "DI",
                          Format("dokument %s czeka na numer KSeF (oznaczenie DI)", document.c_str())});
    }
  }
}

}  // namespace kx::jpk::check
