// The Ramzes output of the warehouse export: per sales document of the month
// its contractor, its header and its VAT lines.

#include "app/contractor.h"
#include "app/source_tables.h"
#include "app/ramzes_document.h"
#include "export/towix_export.h"

namespace kx::exports {
using namespace towix;

namespace {

std::string DateFieldText(const tables::Field& field) {
  return field.IsNull() ? std::string() : tables::DateText(field.AsDate());
}

// The document's contractor: from Users when it exists (street and house
// joined), else from UR.
RamzesContractor ReadRamzesContractor(AppContext& ctx, WarehouseTables& t, const std::string& number, bool check) {
  tables::Table& table = t.ContractorTable();
  Contractor read = ReadContractor(ctx, number, table, check);
  RamzesContractor c;
  c.id = table.FieldByName("Number").AsInteger();
  c.shortName = table.FieldByName("Identifier").AsString();
  c.name = read.name;
  c.nip = read.nip;
  c.postalCode = table.FieldByName("ZipCode").AsString();
  c.town = table.FieldByName("City").AsString();
  if (t.UsersOpen()) {
    c.street = table.FieldByName("Street").AsString();
    std::string house = table.FieldByName("House").AsString();
    if (!house.empty()) c.street += " " + house;
  } else {
    c.street = table.FieldByName("Address").AsString();
  }
  return c;
}

}  // namespace

xml::XmlDocument MakeRamzes(AppContext& ctx, WarehouseTables& t) {
  xml::XmlDocument document = NewRamzesDocument();
  RamzesDocumentOutput output(document);
  MakeRamzes(ctx, t, output);
  return document;
}

void MakeRamzes(AppContext& ctx, WarehouseTables& t, RamzesOutput& output) {
  for (t.wi.First(); !t.wi.Eof(); t.wi.Next()) {
    int64_t type = t.wi.FieldByName("Type").AsInteger();
    if (!IsSaleDocType(ctx.AppSettings, type) || (t.reg.FieldByName("Flags").AsInteger() & kRegSkip) != 0) continue;

    std::string number = t.wi.FieldByName("Name").AsString();
    RamzesContractor contractor = ReadRamzesContractor(ctx, t, number, KindChecksNip(type));
    output.Contractor(contractor);

    RamzesDocument header;
    header.contractorId = contractor.id;
    header.documentId = t.wi.FieldByName("Number").AsInteger();
    header.number = number;
    header.issueDate = DateFieldText(t.wi.FieldByName("Date"));
    header.operationDate = DateFieldText(t.wi.FieldByName("SaleDate"));
    header.paymentDate = header.issueDate;
    header.description = t.wi.FieldByName("Comment").AsString();
    header.type = (type & 1) != 0 ? kRamzesCorrection : kRamzesInvoice;
    output.Document(header);

    struct RateFields {
      int rate;
      const char* net;
      const char* tax;
    };
    for (const RateFields& r :
         {RateFields{23, "Value22", "Tax22"}, RateFields{8, "Value7", "Tax7"}, RateFields{5, "Value3", "Tax3"}}) {
      double net = t.reg.FieldByName(r.net).AsFloat();
      double tax = t.reg.FieldByName(r.tax).AsFloat();
      if (net != 0 || tax != 0) output.Rate(header.documentId, r.rate, net, tax);
    }
    double net0 = t.reg.FieldByName("Value0").AsFloat();
    if (net0 != 0) output.Rate(header.documentId, 0, net0, 0);
  }
}

}  // namespace kx::exports
