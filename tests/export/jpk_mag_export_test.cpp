// The JPK_MAG output of the warehouse export, on a month written as Paradox
// tables into a temporary folder; every file it makes is checked against the
// official schema.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/source_tables.h"
#include "export/towix_export.h"
#include "fixtures/warehouse_fixture.h"
#include "jpk/files/jpkTools.h"
#include "platform/error.h"
#include "support/jpk_schema.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::exports::ExportFormat;

namespace {

class MagRun {
 public:
  MagRun() : ctx(port) {
    WarehouseSettings(ctx.AppSettings, dir.Path());
    WarehouseFirmAddress(ctx.AppSettings);
    month.uc = {{.number = 1, .name = "Mleczarnia Łąka", .nip = "7251801126"}};
  }

  // Runs the export through the driver; the error text, empty on success.
  std::string Run() {
    month.Write(dir.Path());
    try {
      result = kx::exports::RunExport(ctx, ExportFormat::JpkMag);
    } catch (const kx::Error& e) {
      return e.what();
    }
    return "";
  }

  // Names of the root's children.
  std::string Elements() const {
    std::string out;
    for (auto c = result.mag.Node().FirstChild(); c; c = c.NextSibling()) {
      out += (out.empty() ? "" : " ") + c.LocalName();
    }
    return out;
  }
  // The children of a group (PZ, WZ, RW, MM), each as "Name=text ...".
  std::vector<std::string> Group(const char* name) const {
    std::vector<std::string> out;
    auto group = result.mag.FindChild(name);
    for (auto c = group.FirstChild(); c; c = c.NextSibling()) {
      out.push_back(c.LocalName() + ": " + Children(kx::jpk::TypedNode(c)));
    }
    return out;
  }
  // Saves the file as the command line does and returns the schema's
  // complaints.
  std::string SchemaComplaints() {
    auto file = dir / "mag.xml";
    kx::jpk::SaveMAGFile(result.mag, file.string());
    return SchemaErrors(file);
  }

  TempDir dir;
  ScriptedUserPort port;
  kx::AppContext ctx;
  WarehouseMonth month;
  kx::exports::ExportResult result;
};

const char* GroupOf(int type) {
  if (kx::towix::IsPzKind(type)) return "PZ";
  if (kx::towix::IsWzKind(type)) return "WZ";
  return kx::towix::IsRwKind(type) ? "RW" : "MM";
}

// The document that goods received 152 and issued 24 refer to: an invoice
// of another kind.
const WiRow kInvoice{.type = 130, .number = 1, .name = "FZ 1/11/2026", .date = {2026, 11, 2}};

}  // namespace

TEST(JpkMagExport, DocumentsOfTheMonth) {
  MagRun run;
  run.ctx.AppSettings.USCode = "0202";
  WarehouseMonth& m = run.month;
  m.indexDigits = 4;
  // clang-format off
  m.docs = {
      {.type = 0, .number = 9, .name = "FV 9/11/2026", .flags = 0x01},  // not in JPK_MAG
      {.type = 3, .number = 1, .name = "45/2024", .saleDate = {2026, 11, 6}},
      {.type = 3, .number = 7, .name = "47/2024", .flags = 0x10},  // not in JPK_MAG
      {.type = 8, .number = 2, .name = "MM 2/11/2026", .user = 0},
      {.type = 16, .number = 3, .name = "MM 3/11/2026"},
      {.type = 24, .number = 4, .name = "WZ 4/11/2026", .masterType = 130, .masterYear = 2026, .masterMagId = 1,
       .masterNumber = 1},
      {.type = 32, .number = 6, .name = "RW 6/11/2026"},
      {.type = 128, .number = 15, .name = "FV 7/2024", .saleDate = {2026, 11, 3}},
      {.type = 129, .number = 16, .name = "12-A"},
      kInvoice,
      {.type = 152, .number = 17, .name = "PZ 17/11/2026", .saleDate = {2026, 11, 7}, .masterType = 130,
       .masterYear = 2026, .masterMagId = 1, .masterNumber = 1},
      {.type = 3, .number = 8, .name = "48/2024", .date = {2026, 12, 1}},  // another month
  };
  m.goods = {{.group = 1, .index = 1, .name = "Kawa mielona 500 g", .unit = ""},
             {.group = 10, .index = 42, .name = "Mąka pszenna typ 650", .unit = "kg"}};
  m.series = {{.group = 10, .index = 42, .seriesNo = 3, .cost = 4.333}};
  m.rows = {
      {.type = 0, .number = 9, .quantity = 1, .price = 5},
      {.type = 3, .number = 1, .pos = 1, .group = 10, .index = 42, .quantity = 2, .price = 9},
      {.type = 3, .number = 1, .pos = 2, .group = 10, .index = 42, .series = 3, .quantity = 1.5, .price = 9},
      {.type = 3, .number = 7, .quantity = 1, .price = 5},
      {.type = 8, .number = 2, .quantity = 3, .price = 7.256},
      {.type = 16, .number = 3, .quantity = 1, .price = 10},
      {.type = 24, .number = 4, .quantity = 1, .price = 10},
      {.type = 32, .number = 6, .quantity = 0.1234567, .price = 2},
      {.type = 128, .number = 15, .group = 10, .index = 42, .quantity = 10, .price = 3.5},
      {.type = 129, .number = 16, .quantity = 1, .price = 1},
      {.type = 130, .number = 1, .quantity = 1, .price = 1},
      {.type = 152, .number = 17, .quantity = 2, .price = 4},
  };
  // The value of a document is its cost value, whatever its rows say.
  m.reg = {{.cls = 3, .number = 1, .costValue = 6.5},     {.cls = 8, .number = 2, .costValue = 21.77},
           {.cls = 16, .number = 3, .costValue = 10.004}, {.cls = 32, .number = 6, .costValue = 0.25},
           {.cls = 128, .number = 15, .costValue = 34},   {.cls = 129, .number = 16, .costValue = 1},
           {.cls = 152, .number = 17, .costValue = 8}};
  // clang-format on
  ASSERT_EQ(run.Run(), "");
  EXPECT_TRUE(run.port.shown.empty());
  EXPECT_EQ(run.ctx.Session.OpenCount(), 0u);

  EXPECT_EQ(run.Elements(), "Naglowek Podmiot1 Magazyn PZ WZ RW MM");
  EXPECT_EQ(run.result.mag.Magazyn(), "0");
  EXPECT_EQ(run.result.mag.Naglowek().FindChild("KodUrzedu").Text(), "0202");

  EXPECT_EQ(run.Group("PZ"),
            (std::vector<std::string>{
                "PZWartosc: NumerPZ=PZ15-FV 7/2024 DataPZ=2026-11-03 WartoscPZ=34 DataOtrzymaniaPZ=2026-11-05 "
                "Dostawca=Mleczarnia Łąka NumerFaPZ=FV 7/2024 DataFaPZ=2026-11-03",
                "PZWartosc: NumerPZ=PZ16-12-A DataPZ=2026-11-05 WartoscPZ=1 DataOtrzymaniaPZ=2026-11-05 "
                "Dostawca=Mleczarnia Łąka NumerFaPZ=12 DataFaPZ=2026-11-05",
                "PZWartosc: NumerPZ=PZ 17/11/2026 DataPZ=2026-11-05 WartoscPZ=8 DataOtrzymaniaPZ=2026-11-07 "
                "Dostawca=Mleczarnia Łąka NumerFaPZ=FZ 1/11/2026 DataFaPZ=2026-11-02",
                "PZWiersz: Numer2PZ=PZ15-FV 7/2024 KodTowaruPZ=10-0042 NazwaTowaruPZ=Mąka pszenna typ 650 "
                "IloscPrzyjetaPZ=10 JednostkaMiaryPZ=kg CenaJednPZ=3.5 WartoscPozycjiPZ=35",
                "PZWiersz: Numer2PZ=PZ16-12-A KodTowaruPZ=1-0001 NazwaTowaruPZ=Kawa mielona 500 g IloscPrzyjetaPZ=1 "
                "JednostkaMiaryPZ=szt. CenaJednPZ=1 WartoscPozycjiPZ=1",
                "PZWiersz: Numer2PZ=PZ 17/11/2026 KodTowaruPZ=1-0001 NazwaTowaruPZ=Kawa mielona 500 g "
                "IloscPrzyjetaPZ=2 JednostkaMiaryPZ=szt. CenaJednPZ=4 WartoscPozycjiPZ=8",
                "PZCtrl: LiczbaPZ=3 SumaPZ=43",
            }));
  EXPECT_EQ(run.Group("WZ"),
            (std::vector<std::string>{
                "WZWartosc: NumerWZ=WZ-45/2024 DataWZ=2026-11-05 WartoscWZ=6.5 DataWydaniaWZ=2026-11-06 "
                "OdbiorcaWZ=Piekarnia Kłos Sp. j. NumerFaWZ=45/2024 DataFaWZ=2026-11-05",
                // No register row: value 0.
                "WZWartosc: NumerWZ=WZ 4/11/2026 DataWZ=2026-11-05 WartoscWZ=0 DataWydaniaWZ=2026-11-05 "
                "OdbiorcaWZ=Piekarnia Kłos Sp. j. NumerFaWZ=FZ 1/11/2026 DataFaWZ=2026-11-02",
                // Valued at the series' cost: none without a series.
                "WZWiersz: Numer2WZ=WZ-45/2024 KodTowaruWZ=10-0042 NazwaTowaruWZ=Mąka pszenna typ 650 "
                "IloscWydanaWZ=2 JednostkaMiaryWZ=kg CenaJednWZ=0 WartoscPozycjiWZ=0",
                "WZWiersz: Numer2WZ=WZ-45/2024 KodTowaruWZ=10-0042 NazwaTowaruWZ=Mąka pszenna typ 650 "
                "IloscWydanaWZ=1.5 JednostkaMiaryWZ=kg CenaJednWZ=4.33 WartoscPozycjiWZ=6.5",
                "WZWiersz: Numer2WZ=WZ 4/11/2026 KodTowaruWZ=1-0001 NazwaTowaruWZ=Kawa mielona 500 g "
                "IloscWydanaWZ=1 JednostkaMiaryWZ=szt. CenaJednWZ=0 WartoscPozycjiWZ=0",
                "WZCtrl: LiczbaWZ=2 SumaWZ=6.5",
            }));
  EXPECT_EQ(run.Group("RW"), (std::vector<std::string>{
                                 "RWWartosc: NumerRW=RW 6/11/2026 DataRW=2026-11-05 WartoscRW=0.25 "
                                 "DataWydaniaRW=2026-11-05 SkadRW=Magazyn Główny",
                                 "RWWiersz: Numer2RW=RW 6/11/2026 KodTowaruRW=1-0001 NazwaTowaruRW=Kawa mielona 500 g "
                                 "IloscWydanaRW=0.123457 JednostkaMiaryRW=szt. CenaJednRW=2 WartoscPozycjiRW=0.25",
                                 "RWCtrl: LiczbaRW=1 SumaRW=0.25",
                             }));
  EXPECT_EQ(run.Group("MM"),
            (std::vector<std::string>{
                "MMWartosc: NumerMM=MM 2/11/2026 DataMM=2026-11-05 WartoscMM=21.77 DataWydaniaMM=2026-11-05 "
                "SkadMM=Magazyn Główny DokadMM=Magazyn Główny",
                "MMWartosc: NumerMM=MM 3/11/2026 DataMM=2026-11-05 WartoscMM=10 DataWydaniaMM=2026-11-05 "
                "SkadMM=Magazyn Główny DokadMM=Piekarnia Kłos Sp. j.",
                "MMWiersz: Numer2MM=MM 2/11/2026 KodTowaruMM=1-0001 NazwaTowaruMM=Kawa mielona 500 g "
                "IloscWydanaMM=3 JednostkaMiaryMM=szt. CenaJednMM=7.26 WartoscPozycjiMM=21.77",
                "MMWiersz: Numer2MM=MM 3/11/2026 KodTowaruMM=1-0001 NazwaTowaruMM=Kawa mielona 500 g "
                "IloscWydanaMM=1 JednostkaMiaryMM=szt. CenaJednMM=10 WartoscPozycjiMM=10",
                "MMCtrl: LiczbaMM=2 SumaMM=31.77",
            }));
  EXPECT_EQ(run.SchemaComplaints(), "");
}

TEST(JpkMagExport, HeaderOfEachKind) {
  struct Case {
    const char* what;
    WiRow doc;
    const char* group;
    const char* header;
  } cases[] = {
      {"PZ against an invoice",
       {.type = 128, .number = 15, .name = "FV 7/2024", .saleDate = {2026, 11, 3}},
       "PZ",
       "NumerPZ=PZ15-FV 7/2024 DataPZ=2026-11-03 WartoscPZ=12.35 DataOtrzymaniaPZ=2026-11-05 "
       "Dostawca=Mleczarnia Łąka NumerFaPZ=FV 7/2024 DataFaPZ=2026-11-03"},
      {"PZ, the number's first piece",
       {.type = 129, .number = 15, .name = "12-A"},
       "PZ",
       "NumerPZ=PZ15-12-A DataPZ=2026-11-05 WartoscPZ=12.35 DataOtrzymaniaPZ=2026-11-05 Dostawca=Mleczarnia Łąka "
       "NumerFaPZ=12 DataFaPZ=2026-11-05"},
      {"PZ referring to an invoice",
       {.type = 153,
        .number = 15,
        .name = "PZ 15",
        .saleDate = {2026, 11, 7},
        .masterType = 130,
        .masterYear = 2026,
        .masterMagId = 1,
        .masterNumber = 1},
       "PZ",
       "NumerPZ=PZ 15 DataPZ=2026-11-05 WartoscPZ=12.35 DataOtrzymaniaPZ=2026-11-07 Dostawca=Mleczarnia Łąka "
       "NumerFaPZ=FZ 1/11/2026 DataFaPZ=2026-11-02"},
      // A referred document that is missing is no error.
      {"PZ referring to a missing invoice",
       {.type = 152,
        .number = 15,
        .name = "PZ 15",
        .masterType = 130,
        .masterYear = 2026,
        .masterMagId = 1,
        .masterNumber = 2},
       "PZ",
       "NumerPZ=PZ 15 DataPZ=2026-11-05 WartoscPZ=12.35 DataOtrzymaniaPZ=2026-11-05 Dostawca=Mleczarnia Łąka"},
      {"WZ",
       {.type = 3, .number = 15, .name = "45/2024", .saleDate = {2026, 11, 6}},
       "WZ",
       "NumerWZ=WZ-45/2024 DataWZ=2026-11-05 WartoscWZ=12.35 DataWydaniaWZ=2026-11-06 OdbiorcaWZ=Piekarnia Kłos Sp. j. "
       "NumerFaWZ=45/2024 DataFaWZ=2026-11-05"},
      {"WZ with its own number",
       {.type = 25, .number = 15, .name = "WZ 15"},
       "WZ",
       "NumerWZ=WZ 15 DataWZ=2026-11-05 WartoscWZ=12.35 DataWydaniaWZ=2026-11-05 OdbiorcaWZ=Piekarnia Kłos Sp. j."},
      {"RW",
       {.type = 32, .number = 15, .name = "RW 15", .saleDate = {2026, 11, 6}},
       "RW",
       "NumerRW=RW 15 DataRW=2026-11-05 WartoscRW=12.35 DataWydaniaRW=2026-11-06 SkadRW=Magazyn Główny"},
      {"MM to the contractor",
       {.type = 36, .number = 15, .name = "MM 15"},
       "MM",
       "NumerMM=MM 15 DataMM=2026-11-05 WartoscMM=12.35 DataWydaniaMM=2026-11-05 SkadMM=Sklep DokadMM=Piekarnia Kłos "
       "Sp. j."},
      {"MM without contractor",
       {.type = 17, .number = 15, .name = "MM 15", .user = 0},
       "MM",
       "NumerMM=MM 15 DataMM=2026-11-05 WartoscMM=12.35 DataWydaniaMM=2026-11-05 SkadMM=Sklep DokadMM=Hurtownia"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MagRun run;
    run.ctx.AppSettings.SkadMM = "Sklep";
    run.ctx.AppSettings.DokadMM = "Hurtownia";
    run.month.docs = {c.doc, kInvoice};
    run.month.rows = {{.type = c.doc.type, .number = 15, .quantity = 1, .price = 1}};
    run.month.reg = {{.cls = c.doc.type, .number = 15, .costValue = 12.346}};
    ASSERT_EQ(run.Run(), "");
    auto group = run.Group(c.group);
    ASSERT_EQ(group.size(), 3u);
    EXPECT_EQ(group[0], std::string(c.group) + "Wartosc: " + c.header);
    EXPECT_EQ(group[2], std::string(c.group) + "Ctrl: Liczba" + c.group + "=1 Suma" + c.group + "=12.35");
    EXPECT_EQ(run.Elements(), std::string("Naglowek Podmiot1 Magazyn ") + c.group);
    EXPECT_EQ(run.SchemaComplaints(), "");
  }
}

TEST(JpkMagExport, RowsOfADocument) {
  struct Case {
    const char* what;
    int type;
    WtRow row;
    WRow goods;
    const char* values;  // quantity, unit, price and value
  } cases[] = {
      {"received at its price",
       128,
       {.quantity = 3, .price = 2.5},
       {},
       "IloscPrzyjetaPZ=3 JednostkaMiaryPZ=szt "
       "CenaJednPZ=2.5 WartoscPozycjiPZ=7.5"},
      {"rounded",
       32,
       {.quantity = 2.0000004, .price = 1.006},
       {},
       "IloscWydanaRW=2 JednostkaMiaryRW=szt CenaJednRW=1.01 WartoscPozycjiRW=2.01"},
      {"quantity to 6 places",
       8,
       {.quantity = 1.2345678, .price = 1},
       {},
       "IloscWydanaMM=1.234568 JednostkaMiaryMM=szt CenaJednMM=1 WartoscPozycjiMM=1.23"},
      {"issued without a series",
       3,
       {.series = 0, .quantity = 4, .price = 99},
       {},
       "IloscWydanaWZ=4 JednostkaMiaryWZ=szt CenaJednWZ=0 WartoscPozycjiWZ=0"},
      {"issued at the series' cost",
       3,
       {.series = 1, .quantity = 4, .price = 99},
       {},
       "IloscWydanaWZ=4 JednostkaMiaryWZ=szt CenaJednWZ=2.13 WartoscPozycjiWZ=8.5"},
      {"no unit",
       32,
       {.quantity = 1, .price = 1},
       {.unit = ""},
       "IloscWydanaRW=1 JednostkaMiaryRW=szt. CenaJednRW=1 WartoscPozycjiRW=1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MagRun run;
    run.month.docs = {{.type = c.type, .number = 1, .name = "DOK 1"}};
    run.month.rows = {c.row};
    run.month.rows[0].type = c.type;
    run.month.goods = {c.goods};
    run.month.series = {{.seriesNo = 1, .cost = 2.125}};
    ASSERT_EQ(run.Run(), "");
    const char* group = GroupOf(c.type);
    auto rows = run.Group(group);
    ASSERT_EQ(rows.size(), 3u);
    std::string row = rows[1];
    EXPECT_NE(row.find(std::string("NazwaTowaru") + group + "=Kawa mielona 500 g "), std::string::npos) << row;
    EXPECT_EQ(row.substr(row.find(group[0] == 'P' ? "IloscPrzyjeta" : "IloscWydana")), c.values);
    EXPECT_EQ(run.SchemaComplaints(), "");
  }
}

TEST(JpkMagExport, OnlyTheKindsOfTheMonth) {
  MagRun run;
  run.month.docs = {{.type = 32, .number = 1, .name = "RW 1"}, {.type = 3, .number = 2, .name = "WZ 2", .flags = 0x10}};
  run.month.rows = {{.type = 32, .number = 1, .price = 2}, {.type = 3, .number = 2, .price = 2}};
  ASSERT_EQ(run.Run(), "");
  EXPECT_EQ(run.Elements(), "Naglowek Podmiot1 Magazyn RW");
  EXPECT_EQ(run.result.mag.Magazyn(), "0");
  EXPECT_EQ(run.Group("RW").back(), "RWCtrl: LiczbaRW=1 SumaRW=0");
  EXPECT_EQ(run.SchemaComplaints(), "");
}

TEST(JpkMagExport, FailuresStopTheExport) {
  struct Case {
    const char* what;
    void (*change)(WarehouseMonth&);
    const char* message;
  } cases[] = {
      {"no document", [](WarehouseMonth& m) { m.docs.clear(); }, "Brak dokumentów magazynowych w wybranym miesiącu"},
      {"every document left out",
       [](WarehouseMonth& m) {
         m.docs[0].flags = 0x01;
         m.docs[1].flags = 0x10;
       },
       "Brak dokumentów magazynowych w wybranym miesiącu"},
      {"no document of a kind",
       [](WarehouseMonth& m) {
         m.docs = {{.type = 130, .number = 1, .name = "FZ 1"}};
         m.rows = {{.type = 130, .number = 1}};
       },
       "Brak dokumentów magazynowych w wybranym miesiącu"},
      {"series missing",
       [](WarehouseMonth& m) {
         m.indexDigits = 4;
         m.goods = {{}, {.group = 10, .index = 42}};
         m.series = {{.group = 10, .index = 42, .seriesNo = 2}};
         m.rows[1].group = 10;
         m.rows[1].index = 42;
         m.rows[1].series = 3;
       },
       "Brak serii: 10-0042-3"},
      {"supplier without a name", [](WarehouseMonth& m) { m.uc[0].name = ""; },
       "Brak nazwy kontrahenta\r\nDokument: PZ15-FV 7/2024"},
      {"recipient without a name", [](WarehouseMonth& m) { m.ur[0].name = ""; },
       "Brak nazwy kontrahenta\r\nDokument: WZ-45/2024"},
      {"recipient missing", [](WarehouseMonth& m) { m.docs[1].user = 9; },
       "Brak nazwy kontrahenta\r\nDokument: WZ-45/2024"},
      {"transfer's contractor without a name",
       [](WarehouseMonth& m) {
         m.docs[1].type = 36;
         m.rows[1].type = 36;
         m.ur[0].name = "";
       },
       "Brak nazwy kontrahenta\r\nDokument: 45/2024"},
      {"document without rows", [](WarehouseMonth& m) { m.rows.pop_back(); }, "Brak pozycji w dokumencie WZ-45/2024"},
      {"goods without a name", [](WarehouseMonth& m) { m.goods[0].name = ""; },
       "Brak nazwy towaru 1-1 w dokumencie PZ15-FV 7/2024"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MagRun run;
    run.month.docs = {{.type = 128, .number = 15, .name = "FV 7/2024"}, {.type = 3, .number = 16, .name = "45/2024"}};
    run.month.rows = {{.type = 128, .number = 15}, {.type = 3, .number = 16}};
    c.change(run.month);
    EXPECT_EQ(run.Run(), c.message);
    EXPECT_TRUE(run.result.mag.IsNull());
    EXPECT_EQ(run.ctx.Session.OpenCount(), 0u);
    EXPECT_FALSE(run.ctx.Session.Active());
  }
}
