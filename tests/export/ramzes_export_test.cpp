// The Ramzes document functions and the Ramzes output of the warehouse
// export, on a month written as Paradox tables into a temporary folder.

#include <gtest/gtest.h>

#include "app/contractor.h"
#include "app/ramzes_document.h"
#include "export/towix_export.h"
#include "fixtures/warehouse_fixture.h"
#include "platform/error.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::AddRamzesContractor;
using kx::AddRamzesDocument;
using kx::AddRamzesRate;
using kx::NewRamzesDocument;
using kx::ui::Button;
using kx::xml::XmlNode;
using kx::xml::XmlNodeKind;

namespace {

// An element as "name=text", or "name{child child ...}" when it has element
// children.
std::string Dump(const XmlNode& node) {
  std::string inner;
  bool elements = false;
  for (XmlNode c = node.FirstChild(); c; c = c.NextSibling()) {
    if (c.Kind() != XmlNodeKind::Element) continue;
    inner += (elements ? " " : "") + Dump(c);
    elements = true;
  }
  return elements ? node.NodeName() + "{" + inner + "}" : node.NodeName() + "=" + node.Text();
}

// The records of the document, one dump each.
std::vector<std::string> Records(const kx::xml::XmlDocument& document) {
  std::vector<std::string> out;
  for (XmlNode c = document.DocumentElement().FirstChild(); c; c = c.NextSibling()) {
    if (c.Kind() == XmlNodeKind::Element) out.push_back(Dump(c));
  }
  return out;
}

class RamzesRun {
 public:
  RamzesRun() : ctx(port) { WarehouseSettings(ctx.AppSettings, dir.Path()); }

  kx::xml::XmlDocument Make() {
    month.Write(dir.Path());
    kx::exports::WarehouseTables t(ctx);
    return kx::exports::MakeRamzes(ctx, t);
  }
  // The error of a run that fails.
  std::string Failure() {
    try {
      Make();
    } catch (const kx::Error& e) {
      return e.what();
    }
    return "";
  }

  TempDir dir;
  ScriptedUserPort port;
  kx::AppContext ctx;
  WarehouseMonth month;
};

constexpr const char* kKlos =
    "knt_Kontrahenci{knt_Id=1 knt_NazwaSkr=KŁOS knt_Nazwa=Piekarnia Kłos Sp. j. knt_Nip=5260250274 knt_Pesel= "
    "knt_Regon= knt_Kod=90-006 knt_Miasto=Łódź knt_Ulica=Piotrkowska 12 knt_DMP=F knt_CPV=F}";

}  // namespace

TEST(RamzesDocument, RecordsInTheirOrderIndentedWithTabs) {
  kx::xml::XmlDocument doc = NewRamzesDocument();
  EXPECT_EQ(doc.Version(), "1.0");
  EXPECT_EQ(doc.Encoding(), "UTF-8");
  EXPECT_EQ(Records(doc), std::vector<std::string>{});

  AddRamzesContractor(doc, {.id = 7,
                            .shortName = "KŁOS",
                            .name = "Piekarnia <Kłos> & syn",
                            .nip = "5260250274",
                            .postalCode = "90-006",
                            .town = "Łódź",
                            .street = "Piotrkowska 12"});
  AddRamzesDocument(doc, {.contractorId = 7,
                          .documentId = 12,
                          .number = "FK 12/11/2026",
                          .issueDate = "2026-11-05",
                          .operationDate = "2026-11-04",
                          .paymentDate = "2026-11-05",
                          .description = "zwrot",
                          .type = kx::kRamzesCorrection});
  AddRamzesRate(doc, 12, 23, 100.1, 23.02);

  // Written as the program writes it: indented by tabs.
  kxtest::TempDir dir;
  doc.SaveFormatted(dir / "ramzes.xml");
  EXPECT_EQ(kxtest::ReadFile(dir / "ramzes.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<Baza>\n"
            "\t<knt_Kontrahenci>\n"
            "\t\t<knt_Id>7</knt_Id>\n"
            "\t\t<knt_NazwaSkr>KŁOS</knt_NazwaSkr>\n"
            "\t\t<knt_Nazwa>Piekarnia &lt;Kłos&gt; &amp; syn</knt_Nazwa>\n"
            "\t\t<knt_Nip>5260250274</knt_Nip>\n"
            "\t\t<knt_Pesel/>\n"
            "\t\t<knt_Regon/>\n"
            "\t\t<knt_Kod>90-006</knt_Kod>\n"
            "\t\t<knt_Miasto>Łódź</knt_Miasto>\n"
            "\t\t<knt_Ulica>Piotrkowska 12</knt_Ulica>\n"
            "\t\t<knt_DMP>F</knt_DMP>\n"
            "\t\t<knt_CPV>F</knt_CPV>\n"
            "\t</knt_Kontrahenci>\n"
            "\t<dok_Nagdok>\n"
            "\t\t<dok_KntId>7</dok_KntId>\n"
            "\t\t<dok_DokId>12</dok_DokId>\n"
            "\t\t<dok_Numer>FK 12/11/2026</dok_Numer>\n"
            "\t\t<dok_DataDat>2026-11-05</dok_DataDat>\n"
            "\t\t<dok_DataOper>2026-11-04</dok_DataOper>\n"
            "\t\t<dok_DataZap>2026-11-05</dok_DataZap>\n"
            "\t\t<dok_Opis>zwrot</dok_Opis>\n"
            "\t\t<dok_Typ>3</dok_Typ>\n"
            "\t\t<dok_DokFoz>1</dok_DokFoz>\n"
            "\t\t<dok_DMP>F</dok_DMP>\n"
            "\t\t<dok_CPV>F</dok_CPV>\n"
            "\t</dok_Nagdok>\n"
            "\t<dod_Dekrety>\n"
            "\t\t<dod_DokId>12</dod_DokId>\n"
            "\t\t<dod_PozSvt>23%</dod_PozSvt>\n"
            "\t\t<dod_PozNet>100.1</dod_PozNet>\n"
            "\t\t<dod_PozVat>23.02</dod_PozVat>\n"
            "\t\t<dod_PozBru>123.12</dod_PozBru>\n"
            "\t</dod_Dekrety>\n"
            "</Baza>\n");
}

TEST(RamzesDocument, SavedFileReadsBack) {
  TempDir dir;
  kx::xml::XmlDocument doc = NewRamzesDocument();
  AddRamzesRate(doc, 3, 0, -12.5, 0);
  doc.SaveToFile(dir / "out.xml");
  kx::xml::XmlDocument back = kx::xml::XmlDocument::FromFile(dir / "out.xml");
  EXPECT_EQ(back.Encoding(), "UTF-8");
  EXPECT_EQ(Records(back), std::vector<std::string>{"dod_Dekrety{dod_DokId=3 dod_PozSvt=0% dod_PozNet=-12.5 "
                                                    "dod_PozVat=0 dod_PozBru=-12.5}"});
}

TEST(RamzesExport, ContractorHeaderAndRatesPerDocument) {
  // Documents in key order (Type, Year, MagId, Number): the correction last.
  RamzesRun run;
  run.month.docs = {
      {.type = 0, .number = 1, .name = "FV 1/11/2026", .saleDate = {2026, 11, 4}, .comment = "dostawa"},
      {.type = 1, .number = 2, .name = "FK 2/11/2026", .date = {2026, 11, 20}, .saleDate = {2026, 11, 20}},
      {.type = 0, .number = 3, .name = "FV 3/11/2026"}};
  // clang-format off
  run.month.reg = {
      {.cls = 0, .number = 1, .value3 = 10, .tax3 = 0.5, .value7 = 0, .tax7 = 0, .value22 = 100, .tax22 = 23,
       .value = 133.5, .totalTax = 23.5},
      {.cls = 1, .number = 2, .value0 = 100, .value = 100},
      // A net amount of 0 with its tax still gives the line; exempt sales none.
      {.cls = 0, .number = 3, .valueFree = 40, .value7 = 0, .tax7 = 0.8, .value22 = 10.05, .tax22 = 2.31,
       .value = 53.16, .totalTax = 3.11},
  };
  // clang-format on
  EXPECT_EQ(Records(run.Make()),
            (std::vector<std::string>{
                kKlos,
                "dok_Nagdok{dok_KntId=1 dok_DokId=1 dok_Numer=FV 1/11/2026 dok_DataDat=2026-11-05 "
                "dok_DataOper=2026-11-04 dok_DataZap=2026-11-05 dok_Opis=dostawa dok_Typ=1 dok_DokFoz=1 dok_DMP=F "
                "dok_CPV=F}",
                "dod_Dekrety{dod_DokId=1 dod_PozSvt=23% dod_PozNet=100 dod_PozVat=23 dod_PozBru=123}",
                "dod_Dekrety{dod_DokId=1 dod_PozSvt=5% dod_PozNet=10 dod_PozVat=0.5 dod_PozBru=10.5}",
                kKlos,
                "dok_Nagdok{dok_KntId=1 dok_DokId=3 dok_Numer=FV 3/11/2026 dok_DataDat=2026-11-05 "
                "dok_DataOper=2026-11-05 dok_DataZap=2026-11-05 dok_Opis= dok_Typ=1 dok_DokFoz=1 dok_DMP=F "
                "dok_CPV=F}",
                "dod_Dekrety{dod_DokId=3 dod_PozSvt=23% dod_PozNet=10.05 dod_PozVat=2.31 dod_PozBru=12.36}",
                "dod_Dekrety{dod_DokId=3 dod_PozSvt=8% dod_PozNet=0 dod_PozVat=0.8 dod_PozBru=0.8}",
                kKlos,
                "dok_Nagdok{dok_KntId=1 dok_DokId=2 dok_Numer=FK 2/11/2026 dok_DataDat=2026-11-20 "
                "dok_DataOper=2026-11-20 dok_DataZap=2026-11-20 dok_Opis= dok_Typ=3 dok_DokFoz=1 dok_DMP=F "
                "dok_CPV=F}",
                "dod_Dekrety{dod_DokId=2 dod_PozSvt=0% dod_PozNet=100 dod_PozVat=0 dod_PozBru=100}",
            }));
  EXPECT_TRUE(run.port.shown.empty());

  // The export keeps the file as text written record by record: the bytes of
  // the document saved.
  kx::xml::XmlDocument document = run.Make();
  document.SaveFormatted(run.dir / "document.xml");
  kx::exports::ExportResult result = kx::exports::RunExport(run.ctx, kx::exports::ExportFormat::Ramzes);
  EXPECT_EQ(result.text, ReadFile(run.dir / "document.xml"));
  EXPECT_EQ(kx::exports::WriteExport(result, (run.dir / "ramzes.xml").string()),
            "Zapisano plik " + (run.dir / "ramzes.xml").string());
  EXPECT_EQ(ReadFile(run.dir / "ramzes.xml"), result.text);
}

TEST(RamzesExport, OnlySalesDocumentsOfTheMonthNotLeftOut) {
  struct Case {
    int type;
    int regFlags;
    bool addFaktMarket;
    kx::tables::Date date;
    bool taken;
  };
  const Case cases[] = {
      {0, 0, false, {2026, 11, 5}, true},     {7, 0, false, {2026, 11, 5}, true},
      {51, 0, false, {2026, 11, 5}, true},    {6, 0, false, {2026, 11, 5}, false},
      {8, 0, false, {2026, 11, 5}, false},    {128, 0, false, {2026, 11, 5}, false},
      {0, 0x08, false, {2026, 11, 5}, false}, {0, 0x80, false, {2026, 11, 5}, true},
      {48, 0, false, {2026, 11, 5}, false},   {48, 0, true, {2026, 11, 5}, true},
      {0, 0, false, {2026, 10, 31}, false},   {0, 0, false, {2026, 11, 30}, true},
      {0, 0, false, {2026, 12, 1}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " flags " << c.regFlags << " day " << c.date.month << "-"
                                    << c.date.day);
    RamzesRun run;
    run.ctx.AppSettings.AddFaktMarket = c.addFaktMarket;
    FirmSettings(run.ctx.AppSettings);
    // Types 4 to 7 are read without the NIP check: no question either way.
    run.month.ur = {{.nip = ""}};
    run.month.docs = {{.type = c.type, .date = c.date}};
    run.month.reg = {{.cls = c.type, .flags = c.regFlags, .value22 = 1, .tax22 = 0.23}};
    if (c.taken && !kx::towix::KindChecksNip(c.type)) {
      EXPECT_EQ(Records(run.Make()).size(), 3u);
    } else if (c.taken) {
      run.port.answers = {Button::Yes};
      EXPECT_EQ(Records(run.Make()).size(), 3u);
      ASSERT_EQ(run.port.shown.size(), 1u);
      EXPECT_EQ(run.port.shown[0].text, "Brak numeru NIP. Dokument: FV 1/11/2026\rPiekarnia Kłos Sp. j.\rKontynuować?");
    } else {
      EXPECT_EQ(Records(run.Make()).size(), 0u);
      EXPECT_TRUE(run.port.shown.empty());
    }
  }
}

TEST(RamzesExport, ContractorFromUsersTableWithStreetAndHouse) {
  RamzesRun run;
  // The UR row points at its payer in Users; the record comes from there.
  run.month.ur = {{.number = 4, .name = "Oddział", .identifier = "ODDZ", .address = "Zgierska 5", .payerNumber = 9}};
  run.month.users = {{.number = 9,
                      .name = "Młyn Zbożowy S.A.",
                      .identifier = "MŁYN",
                      .nip = "PL 526-025-02-74",
                      .city = "Kutno",
                      .zip = "99-300",
                      .street = "Łąkowa",
                      .house = "3/1"},
                     {.number = 10, .name = "Bez domu", .identifier = "BD", .street = "Polna", .house = ""}};
  run.month.docs = {{.number = 1, .user = 4}};
  run.month.reg = {{.number = 1, .value0 = 5, .value = 5}};
  std::vector<std::string> records = Records(run.Make());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0],
            "knt_Kontrahenci{knt_Id=9 knt_NazwaSkr=MŁYN knt_Nazwa=Młyn Zbożowy S.A. knt_Nip=5260250274 knt_Pesel= "
            "knt_Regon= knt_Kod=99-300 knt_Miasto=Kutno knt_Ulica=Łąkowa 3/1 knt_DMP=F knt_CPV=F}");
  EXPECT_NE(records[1].find("dok_KntId=9 dok_DokId=1 "), std::string::npos) << records[1];

  run.month.ur[0].payerNumber = 10;
  records = Records(run.Make());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_NE(records[0].find("knt_Ulica=Polna knt_DMP"), std::string::npos) << records[0];
}

TEST(RamzesExport, FailuresEndTheExport) {
  {
    RamzesRun run;
    run.month.ur = {{.number = 1}, {.number = 2, .name = ""}};
    run.month.docs = {{.number = 1, .user = 1}, {.number = 2, .name = "FV 2/11/2026", .user = 2}};
    run.month.reg = {{.number = 1, .value22 = 1}, {.number = 2, .value22 = 1}};
    EXPECT_EQ(run.Failure(),
              "Brak nazwy kontrahenta\r\nDokument: FV 2/11/2026  NIP: 5260250274\r\nWczytywanie przerwano");
  }
  {
    // A document whose contractor is not in UR at all.
    RamzesRun run;
    run.month.docs = {{.number = 1, .name = "FV 1/11/2026", .user = 5}};
    run.month.reg = {{.number = 1, .value22 = 1}};
    EXPECT_EQ(run.Failure(), "Brak nazwy kontrahenta\r\nDokument: FV 1/11/2026  NIP: \r\nWczytywanie przerwano");
  }
  {
    // A NIP with a wrong check digit, refused.
    RamzesRun run;
    run.month.ur = {{.nip = "1234567890"}};
    run.month.docs = {{}};
    run.month.reg = {{.value22 = 1}};
    run.port.answers = {Button::No};
    EXPECT_EQ(run.Failure(), "Wczytywanie przerwano");
    ASSERT_EQ(run.port.shown.size(), 1u);
    EXPECT_EQ(run.port.shown[0].text,
              "Zła suma kontrolna numeru NIP: 1234567890\rKontrahent: Piekarnia Kłos Sp. j.\rDokument: FV "
              "1/11/2026\rKontynuować?");
  }
}
