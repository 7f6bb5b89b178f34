#include "app/ramzes_document.h"

#include "platform/decimal_text.h"

namespace kx {

namespace {

constexpr const char* kNo = "F";

void AddText(xml::XmlNode& parent, const char* name, const std::string& text) { parent.AddChild(name).SetText(text); }

xml::XmlNode AddRecord(xml::XmlDocument& document, const char* name) {
  return document.DocumentElement().AddChild(name);
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
  xml::XmlNode record = AddRecord(document, "knt_Kontrahenci");
  AddText(record, "knt_Id", std::to_string(c.id));
  AddText(record, "knt_NazwaSkr", c.shortName);
  AddText(record, "knt_Nazwa", c.name);
  AddText(record, "knt_Nip", c.nip);
  AddText(record, "knt_Pesel", c.pesel);
  AddText(record, "knt_Regon", c.regon);
  AddText(record, "knt_Kod", c.postalCode);
  AddText(record, "knt_Miasto", c.town);
  AddText(record, "knt_Ulica", c.street);
  AddText(record, "knt_DMP", kNo);
  AddText(record, "knt_CPV", kNo);
}

void AddRamzesDocument(xml::XmlDocument& document, const RamzesDocument& d) {
  xml::XmlNode record = AddRecord(document, "dok_Nagdok");
  AddText(record, "dok_KntId", std::to_string(d.contractorId));
  AddText(record, "dok_DokId", std::to_string(d.documentId));
  AddText(record, "dok_Numer", d.number);
  AddText(record, "dok_DataDat", d.issueDate);
  AddText(record, "dok_DataOper", d.operationDate);
  AddText(record, "dok_DataZap", d.paymentDate);
  AddText(record, "dok_Opis", d.description);
  AddText(record, "dok_Typ", std::to_string(d.type));
  AddText(record, "dok_DokFoz", std::to_string(d.foz));
  AddText(record, "dok_DMP", kNo);
  AddText(record, "dok_CPV", kNo);
}

void AddRamzesRate(xml::XmlDocument& document, int64_t documentId, int rate, double net, double tax) {
  xml::XmlNode record = AddRecord(document, "dod_Dekrety");
  AddText(record, "dod_DokId", std::to_string(documentId));
  AddText(record, "dod_PozSvt", std::to_string(rate) + "%");
  AddText(record, "dod_PozNet", DecimalText(net));
  AddText(record, "dod_PozVat", DecimalText(tax));
  AddText(record, "dod_PozBru", DecimalText(net + tax));
}

}  // namespace kx
