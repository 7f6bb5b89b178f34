// The sales records of a JPK_V7M file as a Ramzes import document. The
// format has no purchase side: purchase records are only counted.

#include <map>
#include <utility>

#include "app/ramzes_document.h"
#include "convert/convert.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/error.h"

namespace kx::convert {
using namespace jpk::v7m;

namespace {

// knt_NazwaSkr holds at most this many characters of the name.
constexpr size_t kShortNameChars = 40;

// The first `count` characters (not bytes) of a UTF-8 text.
std::string FirstChars(const std::string& text, size_t count) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts && chars++ == count) return text.substr(0, i);
  }
  return text;
}

// The rate lines of a sales record, in the order they are written.
struct RateSource {
  int rate;
  const char* net;
  const char* tax;  // nullptr: the tax is 0
};
constexpr RateSource kRates[] = {{23, "K_19", "K_20"}, {8, "K_17", "K_18"}, {5, "K_15", "K_16"}, {0, "K_13", nullptr}};

// Contractor numbers: one per distinct NIP and name, from 1 in order of first appearance.
class ContractorNumbers {
 public:
  int64_t Of(const std::string& nip, const std::string& name) {
    auto [it, added] = m_numbers.try_emplace({nip, name}, static_cast<int64_t>(m_numbers.size()) + 1);
    return it->second;
  }

 private:
  std::map<std::pair<std::string, std::string>, int64_t> m_numbers;
};

void AddSale(RamzesOutput& output, ContractorNumbers& contractors, const xml::XmlNode& record) {
  std::string nip = ChildText(record, "NrKontrahenta");
  std::string name = ChildText(record, "NazwaKontrahenta");
  int64_t contractorId = contractors.Of(nip, name);
  output.Contractor({.id = contractorId, .shortName = FirstChars(name, kShortNameChars), .name = name, .nip = nip});

  int64_t documentId = ChildInt(record, "LpSprzedazy");
  std::string issued = ChildText(record, "DataWystawienia");
  std::string sold = ChildText(record, "DataSprzedazy");
  bool negative = SaleNetSum(record) < 0 || SaleTaxSum(record) < 0;
  output.Document({.contractorId = contractorId,
                   .documentId = documentId,
                   .number = ChildText(record, "DowodSprzedazy"),
                   .issueDate = issued,
                   .operationDate = sold.empty() ? issued : sold,
                   .paymentDate = issued,
                   .type = negative ? kRamzesCorrection : kRamzesInvoice});

  for (const RateSource& r : kRates) {
    double net = ChildAmount(record, r.net);
    double tax = r.tax == nullptr ? 0 : ChildAmount(record, r.tax);
    if (net != 0 || tax != 0) output.Rate(documentId, r.rate, net, tax);
  }
}

}  // namespace

RamzesConversion ConvertV7MToRamzes(jpk::v7m::IXMLJPK input, RamzesOutput& output) {
  xml::XmlNode ewidencja = input.IsNull() ? xml::XmlNode() : input.FindChild("Ewidencja");
  if (ewidencja.IsNull()) throw Error("Brak elementu \"Ewidencja\" w pliku JPK");

  RamzesConversion result;
  ContractorNumbers contractors;
  for (xml::XmlNode r = FirstSaleRecord(ewidencja); !r.IsNull(); r = NextSaleRecord(r)) {
    AddSale(output, contractors, r);
    ++result.sales;
  }
  for (xml::XmlNode r = FirstPurchaseRecord(ewidencja); !r.IsNull(); r = NextPurchaseRecord(r)) {
    ++result.purchasesLeftOut;
  }
  return result;
}

RamzesConversion ConvertV7MToRamzes(jpk::v7m::IXMLJPK input) {
  xml::XmlDocument document = NewRamzesDocument();
  RamzesDocumentOutput output(document);
  RamzesConversion result = ConvertV7MToRamzes(std::move(input), output);
  result.document = std::move(document);
  return result;
}

std::string V7MToRamzesFileName(const std::filesystem::path& inputFile) {
  return "JPKVAT_to_Ramzes_" + inputFile.filename().string();
}

}  // namespace kx::convert
