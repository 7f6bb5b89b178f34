#pragma once
// What the conversion to Buchalter reads of each JPK_V7M record: the texts
// and amounts its rows are made of, taken from the document in one place, so
// that the rows can be made apart from it (on a second thread); the names and
// the document number are taken apart here as well. A record that
// cannot be read keeps the failure's message at the point where making its
// rows meets it.

#include <array>
#include <string>
#include <unordered_map>

#include "convert/buchalter_names.h"
#include "platform/xml/xml_node.h"

namespace kx::convert {

// One rate group of a sales record: its net element, its tax element (none
// for the groups without tax), the rate as written, its value and code.
struct SaleRateGroup {
  const char* net;
  const char* tax;
  const char* rate;
  int rateValue;
  int code;
};
inline constexpr int kSaleRateGroupCount = 6;

inline constexpr int kGtuMarkers = 13;

// A contractor's short name and name lines.
struct ContractorName {
  std::string shortName;
  NameLines lines;
};

struct SaleDraft {
  std::string lp, document;  // LpSprzedazy and DowodSprzedazy as they stand
  std::string failure;       // the record's amounts cannot be read: raised before its rows
  double net = 0;            // the record's sums
  double tax = 0;
  std::string type;                 // TypDokumentu, trimmed
  std::string issueDate, saleDate;  // trimmed; a missing or empty sale date is the issue date
  bool fiscal = false;              // the document is a periodic fiscal report
  DocumentNumber number;            // the document number's parts
  std::string ksef, contractor;
  const ContractorName* name = nullptr;  // held by the reader
  std::string gtu;                       // GTU_01..GTU_13: "T" in the place of each set to "1", a blank for the others

  // The rate groups whose net and tax are not both zero, in order; then the
  // failure of the first group that cannot be read, raised after the lines
  // of the groups before it.
  struct Line {
    const SaleRateGroup* group = nullptr;
    double net = 0;
    double tax = 0;
  };
  std::array<Line, kSaleRateGroupCount> lines{};
  int lineCount = 0;
  std::string lineFailure;
};

struct PurchaseDraft {
  std::string lp, document;  // LpZakupu and DowodZakupu as they stand
  std::string failure;       // the record's amounts cannot be read: raised before its rows
  double net = 0;
  double tax = 0;
  std::string purchaseDate, receiptDate;  // trimmed; a missing or empty receipt date is the purchase date
  std::string ksef, supplier;
  const ContractorName* name = nullptr;  // held by the reader
};

// Reads the records into drafts; the drafts it made stay valid while it lives.
class BuchalterReader {
 public:
  explicit BuchalterReader(const ShortNameDictionary& dictionary) : m_dictionary(dictionary) {}

  SaleDraft Sale(const xml::XmlNode& record);
  PurchaseDraft Purchase(const xml::XmlNode& record);

 private:
  // Contractors come again and again: each name is taken apart once. The
  // drafts point into this map, which keeps its entries in place.
  const ContractorName* Name(const std::string& name);

  const ShortNameDictionary& m_dictionary;
  std::unordered_map<std::string, ContractorName> m_names;
};

}  // namespace kx::convert
