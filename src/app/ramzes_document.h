#pragma once
// The Ramzes import document: root Baza with flat records of three kinds,
// appended in the order they are made: contractors (knt_Kontrahenci),
// document headers (dok_Nagdok) and VAT lines (dod_Dekrety). Texts are
// written as they are, numbers as their decimal text.
//
//   xml::XmlDocument doc = NewRamzesDocument();
//   AddRamzesContractor(doc, {.id = 7, .shortName = "KŁOS", .name = "Piekarnia Kłos", ...});
//   AddRamzesDocument(doc, {.contractorId = 7, .documentId = 12, .number = "FV 12/11/2026", ...});
//   AddRamzesRate(doc, 12, 23, 100, 23);

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/xml/xml_document.h"
#include "platform/xml/xml_stream_writer.h"

namespace kx {

// One knt_Kontrahenci record (its knt_DMP and knt_CPV are always "F").
struct RamzesContractor {
  int64_t id = 0;          // knt_Id: contractor number
  std::string shortName;   // knt_NazwaSkr
  std::string name;        // knt_Nazwa
  std::string nip;         // knt_Nip
  std::string pesel;       // knt_Pesel
  std::string regon;       // knt_Regon
  std::string postalCode;  // knt_Kod
  std::string town;        // knt_Miasto
  std::string street;      // knt_Ulica: street line
};

// One dok_Nagdok record (its dok_DMP and dok_CPV are always "F").
struct RamzesDocument {
  int64_t contractorId = 0;   // dok_KntId
  int64_t documentId = 0;     // dok_DokId
  std::string number;         // dok_Numer: number as printed
  std::string issueDate;      // dok_DataDat, yyyy-MM-dd
  std::string operationDate;  // dok_DataOper
  std::string paymentDate;    // dok_DataZap
  std::string description;    // dok_Opis
  int type = 1;               // dok_Typ: 1 an invoice, 3 a correction
  int foz = 1;                // dok_DokFoz
};

// dok_Typ of an invoice and of a correction.
inline constexpr int kRamzesInvoice = 1;
inline constexpr int kRamzesCorrection = 3;

// A new document of version "1.0", encoding UTF-8, indented with one tab per
// level, holding only its root Baza.
xml::XmlDocument NewRamzesDocument();

void AddRamzesContractor(xml::XmlDocument& document, const RamzesContractor& contractor);
void AddRamzesDocument(xml::XmlDocument& document, const RamzesDocument& header);
// One dod_Dekrety: the rate as "23%", the net, the tax and their sum.
void AddRamzesRate(xml::XmlDocument& document, int64_t documentId, int rate, double net, double tax);

// Where the records go: a document in memory, or a file written record by
// record with the same bytes as the document saved (SaveFormatted).
class RamzesOutput {
 public:
  virtual ~RamzesOutput() = default;
  virtual void Contractor(const RamzesContractor& contractor) = 0;
  virtual void Document(const RamzesDocument& header) = 0;
  virtual void Rate(int64_t documentId, int rate, double net, double tax) = 0;
};

class RamzesDocumentOutput : public RamzesOutput {
 public:
  explicit RamzesDocumentOutput(xml::XmlDocument& document) : m_document(document) {}
  void Contractor(const RamzesContractor& c) override { AddRamzesContractor(m_document, c); }
  void Document(const RamzesDocument& d) override { AddRamzesDocument(m_document, d); }
  void Rate(int64_t documentId, int rate, double net, double tax) override {
    AddRamzesRate(m_document, documentId, rate, net, tax);
  }

 private:
  xml::XmlDocument& m_document;
};

// Written to a file (nothing is in place before Commit), or kept as text
// (TakeText): the bytes the document saved would have.
class RamzesFileOutput : public RamzesOutput {
 public:
  explicit RamzesFileOutput(const std::filesystem::path& path);
  RamzesFileOutput();  // kept as text
  ~RamzesFileOutput() override;
  void Contractor(const RamzesContractor& c) override;
  void Document(const RamzesDocument& d) override;
  void Rate(int64_t documentId, int rate, double net, double tax) override;
  void Commit();
  std::string TakeText();

 private:
  std::unique_ptr<xml::XmlStreamWriter> m_out;
};

}  // namespace kx
