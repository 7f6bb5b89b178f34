// JPK_V7M files converted into Ramzes import documents: the records of each
// sale, contractor numbers, document types, rate lines, purchases left out.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ramzes_document.h"
#include "convert/convert.h"
#include "fixtures/v7m_fixture.h"
#include "platform/error.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::xml::XmlNode;
using kx::xml::XmlNodeKind;
namespace convert = kx::convert;

namespace {

// An element as "name=text", or "name{child child ...}" when it has element children.
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

std::vector<std::string> Records(const kx::xml::XmlDocument& document) {
  std::vector<std::string> out;
  for (XmlNode c = document.DocumentElement().FirstChild(); c; c = c.NextSibling()) {
    if (c.Kind() == XmlNodeKind::Element) out.push_back(Dump(c));
  }
  return out;
}

// The records of one kind ("knt_Kontrahenci", "dok_Nagdok", "dod_Dekrety").
std::vector<std::string> RecordsOf(const kx::xml::XmlDocument& document, const std::string& kind) {
  std::vector<std::string> out;
  for (const std::string& r : Records(document)) {
    if (r.starts_with(kind + "{")) out.push_back(r);
  }
  return out;
}

// A sale record in schema order with a sale date.
std::string SaleSoldOn(int lp, const std::string& saleDate, const std::string& amounts) {
  return "<SprzedazWiersz><LpSprzedazy>" + std::to_string(lp) +
         "</LpSprzedazy><NrKontrahenta>5260001246</NrKontrahenta><NazwaKontrahenta>Sklep Pod Lipami"
         "</NazwaKontrahenta><DowodSprzedazy>FV 9/02/2026</DowodSprzedazy><DataWystawienia>2026-02-05"
         "</DataWystawienia><DataSprzedazy>" +
         saleDate + "</DataSprzedazy><BFK>1</BFK>" + amounts + "</SprzedazWiersz>";
}

class V7MToRamzes : public testing::Test {
 protected:
  convert::RamzesConversion Convert(const std::string& ewidencja, bool withEwidencja = true) {
    std::filesystem::path file = dir.Write("JPK_V7M_2026-02.xml", V7MFile(ewidencja, "", withEwidencja));
    return convert::ConvertV7MToRamzes(kx::jpk::v7m::LoadJPK(file));
  }

  TempDir dir;
};

}  // namespace

TEST_F(V7MToRamzes, EverySaleGivesItsContractorDocumentAndRateLines) {
  convert::RamzesConversion r =
      Convert(Sale(1,
                   "<K_13>7.5</K_13><K_15>20</K_15><K_16>1</K_16><K_17>50</K_17><K_18>4</K_18><K_19>100</K_19>"
                   "<K_20>23</K_20>") +
              SaleCtrl(1, "28"));
  EXPECT_EQ(Records(r.document),
            (std::vector<std::string>{
                "knt_Kontrahenci{knt_Id=1 knt_NazwaSkr=Sklep Pod Lipami knt_Nazwa=Sklep Pod Lipami "
                "knt_Nip=5260001246 knt_Pesel= knt_Regon= knt_Kod= knt_Miasto= knt_Ulica= knt_DMP=F knt_CPV=F}",
                "dok_Nagdok{dok_KntId=1 dok_DokId=1 dok_Numer=FV 1/02/2026 dok_DataDat=2026-02-05 "
                "dok_DataOper=2026-02-05 dok_DataZap=2026-02-05 dok_Opis= dok_Typ=1 dok_DokFoz=1 dok_DMP=F "
                "dok_CPV=F}",
                "dod_Dekrety{dod_DokId=1 dod_PozSvt=23% dod_PozNet=100 dod_PozVat=23 dod_PozBru=123}",
                "dod_Dekrety{dod_DokId=1 dod_PozSvt=8% dod_PozNet=50 dod_PozVat=4 dod_PozBru=54}",
                "dod_Dekrety{dod_DokId=1 dod_PozSvt=5% dod_PozNet=20 dod_PozVat=1 dod_PozBru=21}",
                "dod_Dekrety{dod_DokId=1 dod_PozSvt=0% dod_PozNet=7.5 dod_PozVat=0 dod_PozBru=7.5}",
            }));
  EXPECT_EQ(r.sales, 1);
  EXPECT_EQ(r.purchasesLeftOut, 0);
  EXPECT_EQ(r.document.Encoding(), "UTF-8");
  EXPECT_EQ(r.document.IndentString(), "\t");
}

TEST_F(V7MToRamzes, RecordsFollowTheSalesInOrderWithTheirOwnNumbers) {
  convert::RamzesConversion r =
      Convert(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") +
              Sale(2, "<K_17>10</K_17><K_18>0.8</K_18>", "9542750960", "Piekarnia Kłos") + SaleCtrl(2, "23.8"));
  std::vector<std::string> kinds;
  for (const std::string& rec : Records(r.document)) kinds.push_back(rec.substr(0, rec.find('{')));
  EXPECT_EQ(kinds, (std::vector<std::string>{"knt_Kontrahenci", "dok_Nagdok", "dod_Dekrety", "knt_Kontrahenci",
                                             "dok_Nagdok", "dod_Dekrety"}));
  EXPECT_EQ(RecordsOf(r.document, "dod_Dekrety"),
            (std::vector<std::string>{
                "dod_Dekrety{dod_DokId=1 dod_PozSvt=23% dod_PozNet=100 dod_PozVat=23 dod_PozBru=123}",
                "dod_Dekrety{dod_DokId=2 dod_PozSvt=8% dod_PozNet=10 dod_PozVat=0.8 dod_PozBru=10.8}",
            }));
  EXPECT_EQ(r.sales, 2);
}

TEST_F(V7MToRamzes, ContractorsAreNumberedByNipAndNameInOrderOfFirstAppearance) {
  const std::string amounts = "<K_19>1</K_19><K_20>0.23</K_20>";
  convert::RamzesConversion r =
      Convert(Sale(1, amounts, "5260001246", "Sklep Pod Lipami") + Sale(2, amounts, "9542750960", "Piekarnia Kłos") +
              Sale(3, amounts, "5260001246", "Sklep Pod Lipami") +
              Sale(4, amounts, "5260001246", "Sklep Pod Lipami Sp. j.") + Sale(5, amounts, "BRAK", "Piekarnia Kłos") +
              Sale(6, amounts, "9542750960", "Piekarnia Kłos") + SaleCtrl(6, "1.38"));
  std::vector<std::string> contractors;
  for (const std::string& rec : RecordsOf(r.document, "knt_Kontrahenci")) {
    contractors.push_back(rec.substr(0, rec.find(" knt_NazwaSkr")));
  }
  // One contractor record per sale, the repeated ones with the number they had.
  EXPECT_EQ(contractors, (std::vector<std::string>{"knt_Kontrahenci{knt_Id=1", "knt_Kontrahenci{knt_Id=2",
                                                   "knt_Kontrahenci{knt_Id=1", "knt_Kontrahenci{knt_Id=3",
                                                   "knt_Kontrahenci{knt_Id=4", "knt_Kontrahenci{knt_Id=2"}));
  std::vector<std::string> documents;
  for (const std::string& rec : RecordsOf(r.document, "dok_Nagdok")) {
    documents.push_back(rec.substr(0, rec.find(" dok_Numer")));
  }
  EXPECT_EQ(documents,
            (std::vector<std::string>{"dok_Nagdok{dok_KntId=1 dok_DokId=1", "dok_Nagdok{dok_KntId=2 dok_DokId=2",
                                      "dok_Nagdok{dok_KntId=1 dok_DokId=3", "dok_Nagdok{dok_KntId=3 dok_DokId=4",
                                      "dok_Nagdok{dok_KntId=4 dok_DokId=5", "dok_Nagdok{dok_KntId=2 dok_DokId=6"}));
}

TEST_F(V7MToRamzes, ShortNameIsTheFirstFortyCharacters) {
  struct Case {
    std::string name;
    std::string shortName;
  };
  const std::vector<Case> cases = {
      {"Piekarnia Kłos", "Piekarnia Kłos"},
      // 40 characters exactly, many of them two-byte letters.
      {"Zakład Łąkowy Żółć Ćma Ślęża Źdźbło 1234", "Zakład Łąkowy Żółć Ćma Ślęża Źdźbło 1234"},
      {"Przedsiębiorstwo Handlowo-Usługowe Żuraw Spółka Jawna", "Przedsiębiorstwo Handlowo-Usługowe Żuraw"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    convert::RamzesConversion r = Convert(Sale(1, "<K_19>1</K_19>", "5260001246", c.name) + SaleCtrl(1, "0"));
    kx::xml::XmlNode contractor = r.document.DocumentElement().FindChild("knt_Kontrahenci");
    EXPECT_EQ(contractor.FindChild("knt_NazwaSkr").Text(), c.shortName);
    EXPECT_EQ(contractor.FindChild("knt_Nazwa").Text(), c.name);
  }
}

TEST_F(V7MToRamzes, DocumentTypeAndRateLinesFollowTheAmounts) {
  struct Case {
    const char* what;
    std::string amounts;
    int type;
    std::vector<std::string> rates;  // "rate net tax gross" of each line
  };
  const std::vector<Case> cases = {
      {"a plain invoice", "<K_19>100</K_19><K_20>23</K_20>", 1, {"23% 100 23 123"}},
      {"a correction", "<K_19>-100</K_19><K_20>-23</K_20>", 3, {"23% -100 -23 -123"}},
      {"a negative net alone",
       "<K_17>-10</K_17><K_19>5</K_19><K_20>1.15</K_20>",
       3,
       {"23% 5 1.15 6.15", "8% -10 0 -10"}},
      {"a negative tax sum (K_35 lowers it)", "<K_19>0</K_19><K_35>5</K_35>", 3, {}},
      {"tax without net", "<K_19>0</K_19><K_20>4.6</K_20>", 1, {"23% 0 4.6 4.6"}},
      {"net without tax", "<K_15>40</K_15><K_16>0</K_16>", 1, {"5% 40 0 40"}},
      {"0% only", "<K_13>100</K_13>", 1, {"0% 100 0 100"}},
      {"amounts of no rate line", "<K_10>50</K_10><K_11>70</K_11>", 1, {}},
      {"only zeros", "<K_13>0</K_13><K_19>0</K_19><K_20>0</K_20>", 1, {}},
      {"amounts rounded to 2 places", "<K_19>10.004</K_19><K_20>2.305</K_20>", 1, {"23% 10 2.31 12.31"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    convert::RamzesConversion r = Convert(Sale(1, c.amounts) + SaleCtrl(1, "0"));
    kx::xml::XmlNode header = r.document.DocumentElement().FindChild("dok_Nagdok");
    EXPECT_EQ(header.FindChild("dok_Typ").Text(), std::to_string(c.type));
    std::vector<std::string> rates;
    for (XmlNode n = r.document.DocumentElement().FirstChild(); n; n = n.NextSibling()) {
      if (n.NodeName() != "dod_Dekrety") continue;
      rates.push_back(n.FindChild("dod_PozSvt").Text() + " " + n.FindChild("dod_PozNet").Text() + " " +
                      n.FindChild("dod_PozVat").Text() + " " + n.FindChild("dod_PozBru").Text());
    }
    EXPECT_EQ(rates, c.rates);
  }
}

TEST_F(V7MToRamzes, OperationDateIsTheSaleDateElseTheIssueDate) {
  convert::RamzesConversion r =
      Convert(SaleSoldOn(1, "2026-01-30", "<K_19>1</K_19>") + Sale(2, "<K_19>1</K_19>") + SaleCtrl(2, "0"));
  std::vector<std::string> dates;
  for (XmlNode n = r.document.DocumentElement().FirstChild(); n; n = n.NextSibling()) {
    if (n.NodeName() != "dok_Nagdok") continue;
    dates.push_back(n.FindChild("dok_DataDat").Text() + " " + n.FindChild("dok_DataOper").Text() + " " +
                    n.FindChild("dok_DataZap").Text());
  }
  EXPECT_EQ(dates, (std::vector<std::string>{"2026-02-05 2026-01-30 2026-02-05", "2026-02-05 2026-02-05 2026-02-05"}));
}

TEST_F(V7MToRamzes, PurchasesAreCountedNotWritten) {
  convert::RamzesConversion r =
      Convert(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") + SaleCtrl(1, "23") +
              Purchase(1, "<K_42>10</K_42><K_43>2.3</K_43>") + Purchase(2, "<K_42>20</K_42><K_43>4.6</K_43>", "FZ 2") +
              Purchase(3, "<K_40>500</K_40><K_41>115</K_41>", "FZ 3") + PurchaseCtrl(3, "121.9"));
  EXPECT_EQ(r.sales, 1);
  EXPECT_EQ(r.purchasesLeftOut, 3);
  EXPECT_EQ(Records(r.document).size(), 3u);  // the sale's contractor, header and one rate line
  EXPECT_EQ(r.document.Xml().find("FZ"), std::string::npos);
}

TEST_F(V7MToRamzes, FilesWithoutSalesOrWithoutRecords) {
  convert::RamzesConversion onlyPurchases =
      Convert(SaleCtrl(0, "0") + Purchase(1, "<K_42>10</K_42>") + PurchaseCtrl(1, "0"));
  EXPECT_EQ(Records(onlyPurchases.document), std::vector<std::string>{});
  EXPECT_EQ(onlyPurchases.sales, 0);
  EXPECT_EQ(onlyPurchases.purchasesLeftOut, 1);

  try {
    Convert("", false);
    ADD_FAILURE() << "a file without Ewidencja converted";
  } catch (const kx::Error& e) {
    EXPECT_STREQ(e.what(), "Brak elementu \"Ewidencja\" w pliku JPK");
  }
}

TEST(V7MToRamzesFileName, IsThePrefixAndTheInputName) {
  EXPECT_EQ(convert::V7MToRamzesFileName("/dane/JPK/JPK_V7M_2024-01.xml"), "JPKVAT_to_Ramzes_JPK_V7M_2024-01.xml");
  EXPECT_EQ(convert::V7MToRamzesFileName("plik.xml"), "JPKVAT_to_Ramzes_plik.xml");
}

// The file written record by record has the bytes of the document built in
// memory and saved: texts with markup characters, CR, tabs, blanks at the
// ends, Polish letters and empty fields; and a file of no sale at all.
TEST_F(V7MToRamzes, FileWrittenRecordByRecordHasTheBytesOfTheSavedDocument) {
  const std::string names[] = {"Łąka & Syn <hurt> \"A\"", " Kłos\tPiekarnia ", "Żuraw\r\nSp. z o.o.", "",
                               "AT&T > 'B' ]]> ;"};
  std::string sales;
  int lp = 0;
  for (const std::string& name : names) {
    ++lp;
    std::string escaped;
    for (char c : name) {
      if (c == '&') {
        escaped += "&amp;";
      } else if (c == '<') {
        escaped += "&lt;";
      } else if (c == '>') {
        escaped += "&gt;";
      } else if (c == '\r') {
        escaped += "&#13;";
      } else {
        escaped += c;
      }
    }
    sales += Sale(lp, "<K_19>100.5</K_19><K_20>23.12</K_20><K_13>7</K_13>", "5260001246", escaped);
  }
  for (const std::string& ewidencja : {sales + Purchase(1, "<K_42>1</K_42><K_43>0.23</K_43>"), std::string()}) {
    const auto file = dir.Write("JPK_V7M_2026-02.xml", V7MFile(ewidencja));
    convert::RamzesConversion inMemory = convert::ConvertV7MToRamzes(kx::jpk::v7m::LoadJPK(file));
    inMemory.document.SaveFormatted(dir / "memory.xml");

    std::filesystem::remove(dir / "stream.xml");
    kx::RamzesFileOutput output(dir / "stream.xml");
    convert::RamzesConversion streamed = convert::ConvertV7MToRamzes(kx::jpk::v7m::LoadJPK(file), output);
    EXPECT_FALSE(std::filesystem::exists(dir / "stream.xml"));  // nothing before Commit
    output.Commit();
    EXPECT_EQ(ReadFile(dir / "stream.xml"), ReadFile(dir / "memory.xml"));
    EXPECT_EQ(streamed.sales, inMemory.sales);
    EXPECT_EQ(streamed.purchasesLeftOut, inMemory.purchasesLeftOut);
  }
}
