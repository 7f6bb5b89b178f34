#include "app/ramzes_document.h"

#include <utility>
#include <vector>

#include "platform/decimal_text.h"

namespace kx {

namespace {

constexpr const char* kNo = "F";

using Fields = std::vector<std::pair<const char*, std::string>>;

// The elements of each record, in their order: the one list both outputs write.
Fields ContractorFields(const RamzesContractor& c) {
  return {{"knt_Id", std::to_string(c.id)},
          {"knt_NazwaSkr", c.shortName},
          {"knt_Nazwa", c.name},
          {"knt_Nip", c.nip},
          {"knt_Pesel", c.pesel},
          {"knt_Regon", c.regon},
          {"knt_Kod", c.postalCode},
          {"knt_Miasto", c.town},
          {"knt_Ulica", c.street},
          {"knt_DMP", kNo},
          {"knt_CPV", kNo}};
}

Fields DocumentFields(const RamzesDocument& d) {
  return {{"dok_KntId", std::to_string(d.contractorId)},
          {"dok_DokId", std::to_string(d.documentId)},
          {"dok_Numer", d.number},
          {"dok_DataDat", d.issueDate},
          {"dok_DataOper", d.operationDate},
          {"dok_DataZap", d.paymentDate},
          {"dok_Opis", d.description},
          {"dok_Typ", std::to_string(d.type)},
          {"dok_DokFoz", std::to_string(d.foz)},
          {"dok_DMP", kNo},
          {"dok_CPV", kNo}};
}

Fields RateFields(int64_t documentId, int rate, double net, double tax) {
  return {{"dod_DokId", std::to_string(documentId)},
          {"dod_PozSvt", std::to_string(rate) + "%"},
          {"dod_PozNet", DecimalText(net)},
          {"dod_PozVat", DecimalText(tax)},
          {"dod_PozBru", DecimalText(net + tax)}};
}

void AddRecord(xml::XmlDocument& document, const char* name, const Fields& fields) {
  xml::XmlNode record = document.DocumentElement().AddChild(name);
  for (const auto& [element, text] : fields) record.AddChild(element).SetText(text);
}

void WriteRecord(xml::XmlStreamWriter& out, const char* name, const Fields& fields) {
  out.StartElement(name);
  for (const auto& [element, text] : fields) out.TextElement(element, text);
  out.EndElement();
}

}  // namespace

xml::XmlDocument NewRamzesDocument() {
  xml::XmlDocument document;
  document.SetVersion("1.0");
  document.SetEncoding("UTF-8");
  document.SetIndentString("\t");  // written with SaveFormatted
  document.AddDocumentElement("Baza");
  return document;
}

void AddRamzesContractor(xml::XmlDocument& document, const RamzesContractor& c) {
  AddRecord(document, "knt_Kontrahenci", ContractorFields(c));
}

void AddRamzesDocument(xml::XmlDocument& document, const RamzesDocument& d) {
  AddRecord(document, "dok_Nagdok", DocumentFields(d));
}

void AddRamzesRate(xml::XmlDocument& document, int64_t documentId, int rate, double net, double tax) {
  AddRecord(document, "dod_Dekrety", RateFields(documentId, rate, net, tax));
}

RamzesFileOutput::RamzesFileOutput(const std::filesystem::path& path)
    : m_out(std::make_unique<xml::XmlStreamWriter>(path, "\t")) {
  m_out->StartElement("Baza");
}

RamzesFileOutput::RamzesFileOutput() : m_out(std::make_unique<xml::XmlStreamWriter>("\t")) {
  m_out->StartElement("Baza");
}

RamzesFileOutput::~RamzesFileOutput() = default;

void RamzesFileOutput::Contractor(const RamzesContractor& c) {
  WriteRecord(*m_out, "knt_Kontrahenci", ContractorFields(c));
}

void RamzesFileOutput::Document(const RamzesDocument& d) { WriteRecord(*m_out, "dok_Nagdok", DocumentFields(d)); }

void RamzesFileOutput::Rate(int64_t documentId, int rate, double net, double tax) {
  WriteRecord(*m_out, "dod_Dekrety", RateFields(documentId, rate, net, tax));
}

void RamzesFileOutput::Commit() { m_out->Commit(); }

std::string RamzesFileOutput::TakeText() { return m_out->TakeText(); }

}  // namespace kx
