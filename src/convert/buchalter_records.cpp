#include "convert/buchalter_records.h"

#include <array>
#include <bitset>
#include <cctype>
#include <iterator>
#include <string_view>

#include "jpk/v7m/v7m_record_fields.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx::convert {
namespace {

using jpk::v7m::ChildText;

constexpr SaleRateGroup kSaleRateGroups[kSaleRateGroupCount] = {
    {"K_10", nullptr, "ZW", 0, 4}, {"K_11", nullptr, "0", 0, 3}, {"K_13", nullptr, "0", 0, 3},
    {"K_15", "K_16", "5", 5, 8},   {"K_17", "K_18", "8", 8, 2},  {"K_19", "K_20", "23", 23, 1},
};

std::string TextOf(const xml::XmlNode& child) { return child.IsNull() ? std::string() : child.Text(); }

// The trimmed text of a child, or the fallback when the child is missing or empty.
std::string PresentText(const xml::XmlNode& child, const std::string& fallback) {
  std::string text = Trim(TextOf(child));
  return text.empty() ? fallback : text;
}

// An amount element of a rate group: the value of an element that must be there.
double GroupAmount(const xml::XmlNode& child, const char* name, const char* netName) {
  const std::string text = Trim(TextOf(child));
  if (text.empty()) {
    if (child.IsNull()) throw Error(Format("Brak elementu %s przy elemencie %s.", name, netName));
    throw Error(Format("Pusty element %s.", name));
  }
  try {
    return static_cast<double>(jpk::v7m::AmountCents(text)) / 100;
  } catch (const Error&) {
    throw Error(Format("Element %s: \"%s\" nie jest poprawną liczbą.", name, text.c_str()));
  }
}

// The record's sums, read from its amounts; false, with the failure kept in
// the draft, when an amount cannot be read.
template <class Draft, class Fields>
bool ReadSums(Draft& d, Fields (*read)(const xml::XmlNode&), const xml::XmlNode& record) {
  try {
    const Fields fields = read(record);
    d.net = static_cast<double>(fields.NetCents()) / 100;
    d.tax = static_cast<double>(fields.TaxCents()) / 100;
    return true;
  } catch (const Error& e) {
    d.failure = e.what();
    return false;
  }
}

// The markers GTU_01..GTU_13 of a sales record. A record holds few of them:
// only the names its children bear are looked up.
std::string GtuMarkers(const xml::XmlNode& record) {
  std::bitset<kGtuMarkers + 1> named;
  for (xml::XmlNode c = record.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    const std::string_view local = c.LocalNameView();
    if (local.size() == 6 && local.starts_with("GTU_") && std::isdigit(static_cast<unsigned char>(local[4])) &&
        std::isdigit(static_cast<unsigned char>(local[5]))) {
      const int i = (local[4] - '0') * 10 + (local[5] - '0');
      if (i >= 1 && i <= kGtuMarkers) named[i] = true;
    }
  }
  std::string gtu(kGtuMarkers, ' ');
  for (int i = 1; i <= kGtuMarkers; ++i) {
    if (named[i] && Trim(ChildText(record, Format("GTU_%02d", i))) == "1") gtu[i - 1] = 'T';
  }
  return gtu;
}

// The elements a sales record is read from, found in one walk; the rate
// groups' elements follow the others.
enum SaleElement { kLp, kDocument, kType, kIssueDate, kSaleDate, kKsef, kName, kContractor };
constexpr std::string_view kSaleElements[] = {"LpSprzedazy",
                                              "DowodSprzedazy",
                                              "TypDokumentu",
                                              "DataWystawienia",
                                              "DataSprzedazy",
                                              "NrKSeF",
                                              "NazwaKontrahenta",
                                              "NrKontrahenta",
                                              "K_10",
                                              "K_11",
                                              "K_13",
                                              "K_15",
                                              "K_16",
                                              "K_17",
                                              "K_18",
                                              "K_19",
                                              "K_20"};

enum PurchaseElement {
  kPurchaseLp,
  kPurchaseDocument,
  kPurchaseDate,
  kReceiptDate,
  kPurchaseKsef,
  kSupplierName,
  kSupplier
};
constexpr std::string_view kPurchaseElements[] = {"LpZakupu", "DowodZakupu",   "DataZakupu", "DataWplywu",
                                                  "NrKSeF",   "NazwaDostawcy", "NrDostawcy"};

// The position of a name among kSaleElements.
constexpr size_t SaleElementIndex(std::string_view name) {
  size_t k = 0;
  while (k < std::size(kSaleElements) && kSaleElements[k] != name) ++k;
  return k;
}

// Where each rate group's net and tax elements stand among kSaleElements
// (a group without tax: past the end).
struct GroupElements {
  size_t net;
  size_t tax;
};
constexpr std::array<GroupElements, kSaleRateGroupCount> kGroupElements = [] {
  std::array<GroupElements, kSaleRateGroupCount> at{};
  for (size_t g = 0; g < at.size(); ++g) {
    const SaleRateGroup& group = kSaleRateGroups[g];
    at[g] = {SaleElementIndex(group.net), group.tax ? SaleElementIndex(group.tax) : std::size(kSaleElements)};
    if (at[g].net == std::size(kSaleElements) || (group.tax && at[g].tax == std::size(kSaleElements))) {
      throw "a rate group's element is missing from kSaleElements";  // fails the compilation
    }
  }
  return at;
}();

}  // namespace

const ContractorName* BuchalterReader::Name(const std::string& name) {
  auto known = m_names.find(name);
  if (known == m_names.end()) {
    known = m_names.emplace(name, ContractorName{m_dictionary.ShortName(name), SplitNameLines(name)}).first;
  }
  return &known->second;
}

SaleDraft BuchalterReader::Sale(const xml::XmlNode& r) {
  std::array<xml::XmlNode, std::size(kSaleElements)> found;
  r.FindChildren(kSaleElements, found);
  SaleDraft d;
  d.lp = TextOf(found[kLp]);
  d.document = TextOf(found[kDocument]);
  if (!ReadSums(d, jpk::v7m::ReadSaleRecord, r)) return d;
  d.type = Trim(TextOf(found[kType]));
  d.issueDate = Trim(TextOf(found[kIssueDate]));
  d.saleDate = PresentText(found[kSaleDate], d.issueDate);
  d.fiscal = IsFiscalReport(d.document);
  d.number = SplitDocumentNumber(d.document);
  d.ksef = TextOf(found[kKsef]);
  d.name = Name(TextOf(found[kName]));
  d.contractor = TextOf(found[kContractor]);
  d.gtu = GtuMarkers(r);
  for (size_t k = 0; k < kSaleRateGroupCount; ++k) {
    const SaleRateGroup& g = kSaleRateGroups[k];
    const xml::XmlNode& netNode = found[kGroupElements[k].net];
    if (netNode.IsNull()) continue;
    try {
      const double net = GroupAmount(netNode, g.net, g.net);
      const double tax = g.tax ? GroupAmount(found[kGroupElements[k].tax], g.tax, g.net) : 0;
      if (net == 0 && tax == 0) continue;
      d.lines[d.lineCount++] = {&g, net, tax};
    } catch (const Error& e) {
      d.lineFailure = e.what();
      break;
    }
  }
  return d;
}

PurchaseDraft BuchalterReader::Purchase(const xml::XmlNode& r) {
  std::array<xml::XmlNode, std::size(kPurchaseElements)> found;
  r.FindChildren(kPurchaseElements, found);
  PurchaseDraft d;
  d.lp = TextOf(found[kPurchaseLp]);
  d.document = TextOf(found[kPurchaseDocument]);
  if (!ReadSums(d, jpk::v7m::ReadPurchaseRecord, r)) return d;
  d.purchaseDate = Trim(TextOf(found[kPurchaseDate]));
  d.receiptDate = PresentText(found[kReceiptDate], d.purchaseDate);
  d.ksef = TextOf(found[kPurchaseKsef]);
  d.name = Name(TextOf(found[kSupplierName]));
  d.supplier = TextOf(found[kSupplier]);
  return d;
}

}  // namespace kx::convert
