#pragma once
// Source tables of the three programs for the JPK_V7M generation tests,
// stated row by row and written as real Paradox files.

#include <filesystem>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "fixtures/table_builder.h"
#include "jpk/model/typed_node.h"

namespace kxtest {

using kx::tables::Date;
using kx::tables::FieldKind;

// The firm profile every header needs, and the warehouse sale classes.
inline void FirmSettings(kx::TAppSettings& s) {
  s.NIP = "7270120002";
  s.Nazwa = "Hurtownia Spożywcza Żuraw Sp. z o.o.";
  s.Email = "biuro@hurtownia-zuraw.pl";
  s.USCode = "1009";
  s.NazwaSystemu = "kx2jpk";
  s.SaleDocTypes.reset();
  for (int code : {0, 1, 2, 3, 4, 5, 7, 22, 23, 50, 51}) s.SaleDocTypes.set(static_cast<size_t>(code));
  if (s.AddFaktMarket) s.SaleDocTypes.set(48);
}

// A row of the warehouse VAT register.
struct RegRow {
  int cls = 0;
  int number = 1;
  int flags = 0;
  const char* document = "FV 1/11/2026";
  int payer = 1;
  Date date{2026, 11, 5};
  Date saleDate{2026, 11, 5};
  const char* ksef = "BFK";
  int gtu = 0;
  double valueFree = 0, value0 = 0, value3 = 0, tax3 = 0, value7 = 0, tax7 = 0, value22 = 0, tax22 = 0;
  double value = 0, totalTax = 0;
};

inline TableBuilder TowixRegister(const std::string& name, const std::vector<RegRow>& rows, bool withKsef = true) {
  TableBuilder t(name);
  t.Field("Class", FieldKind::Short).Field("Year", FieldKind::Short).Field("MagId", FieldKind::Short)
      .Field("Number", FieldKind::Integer).Field("Flags", FieldKind::Integer).Field("Document", FieldKind::Text, 30)
      .Field("Payer", FieldKind::Integer).Field("Date", FieldKind::Date).Field("SaleDate", FieldKind::Date);
  if (withKsef) t.Field("KSeF", FieldKind::Text, 40);
  t.Field("GTU", FieldKind::Short);
  for (const char* f : {"ValueFree", "Value0", "Value3", "Tax3", "Value7", "Tax7", "Value22", "Tax22", "Value",
                        "TotalTax"}) {
    t.Field(f, FieldKind::Number);
  }
  t.Key(4);
  for (const RegRow& r : rows) {
    std::vector<Cell> cells{r.cls, 2026, 1, r.number, r.flags, r.document, r.payer, r.date, r.saleDate};
    if (withKsef) cells.emplace_back(r.ksef);
    for (Cell c : std::vector<Cell>{r.gtu, r.valueFree, r.value0, r.value3, r.tax3, r.value7, r.tax7, r.value22,
                                    r.tax22, r.value, r.totalTax}) {
      cells.push_back(c);
    }
    t.Row(cells);
  }
  return t;
}

// A contractor of a contractors' table.
struct UserRow {
  int number = 1;
  const char* name = "Piekarnia Kłos";
  const char* nip = "5260250274";
  int options = 0;
  const char* city = "Łódź";
};

// The per-period form (UR, UC) or, with usersForm, the single table "Users".
inline TableBuilder Contractors(const std::string& name, const std::vector<UserRow>& rows, bool usersForm = false) {
  TableBuilder t(name);
  t.Field("Number", FieldKind::Integer).Field("Firm Name", FieldKind::Text, 60).Field("City", FieldKind::Text, 40)
      .Field("Options", FieldKind::Short).Field("ZipCode", FieldKind::Text, 10).Field("NIP", FieldKind::Text, 20);
  if (usersForm) {
    t.Field("Street", FieldKind::Text, 40).Field("House", FieldKind::Text, 10);
  } else {
    t.Field("Address", FieldKind::Text, 60);
  }
  t.Key(1);
  for (const UserRow& u : rows) {
    std::vector<Cell> cells{u.number, u.name, u.city, u.options, "90-006", u.nip, "Piotrkowska 12"};
    if (usersForm) cells.emplace_back("7");
    t.Row(cells);
  }
  return t;
}

// "Name=text" of every child element, in document order.
inline std::string Children(const kx::jpk::TypedNode& record) {
  std::string out;
  for (kx::xml::XmlNode c = record.Node().FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    if (!out.empty()) out += " ";
    out += c.LocalName() + "=" + c.Text();
  }
  return out;
}

}  // namespace kxtest
