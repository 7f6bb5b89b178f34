// The records of a JPK_V7M document as the editor's grid shows them: the
// columns, the cell texts, typed edits with their refusals, undo of an edit,
// adding and removing records, and a save after one edit that keeps every
// other byte of the file.

#include "editor/record_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "editor/v7m_editor.h"
#include "fixtures/v7m_fixture.h"
#include "jpk/files/jpkTools.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/error.h"
#include "support/jpk_schema.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kx;
using namespace kx::editor;
using kxtest::Purchase;
using kxtest::PurchaseCtrl;
using kxtest::Sale;
using kxtest::SaleCtrl;
using kxtest::V7MFile;
namespace fs = std::filesystem;

namespace {

const std::string kSales =
    Sale(1, "<K_15>100</K_15><K_16>5</K_16><K_19>200.5</K_19><K_20>46.12</K_20>") +
    Sale(2, "<TypDokumentu>FP</TypDokumentu><GTU_01>1</GTU_01><TP>1</TP><K_19>1000</K_19><K_20>230</K_20>",
         "1234563218", "Łąka i Syn") +
    Sale(3, "<K_10>50</K_10>");
const std::string kPurchases = Purchase(1, "<IMP>1</IMP><K_42>300</K_42><K_43>69</K_43>");

jpk::v7m::IXMLJPK Document(const std::string& sales = kSales, const std::string& purchases = kPurchases) {
  auto jpk = jpk::v7m::GetJPKRoot(
      xml::XmlDocument::FromString(V7MFile(sales + SaleCtrl(3, "281.12") + purchases + PurchaseCtrl(1, "69"))));
  jpk::v7m::RecalcJPK(jpk);
  return jpk;
}

std::string Titles(const RecordTable& t) {
  std::string s;
  for (int c = 0; c < t.ColumnCount(); ++c) s += (c ? "|" : "") + t.Column(c).title;
  return s;
}

std::string Row(const RecordTable& t, int row) {
  std::string s;
  for (const std::string& cell : t.RowTexts(row)) s += (s.empty() ? "" : "|") + cell;
  return s;
}

std::string Ctrl(const jpk::v7m::IXMLJPK& jpk, const char* ctrl, const char* element) {
  return jpk::v7m::ChildText(jpk.Node().FindChild("Ewidencja").FindChild(ctrl), element);
}

}  // namespace

TEST(RecordTable, ColumnsAndCellsOfBothSides) {
  auto jpk = Document();
  RecordTable sales(jpk, RecordSide::Sales);
  EXPECT_EQ(Titles(sales),
            "Lp|Kraj|NIP|Kontrahent|Dowód|Data wystawienia|Data sprzedaży|KSeF|Typ|Oznaczenia|K_10|K_15|K_16|K_19|K_20|"
            "Netto|VAT");
  ASSERT_EQ(sales.RowCount(), 3);
  EXPECT_EQ(Row(sales, 0),
            "1||5260001246|Sklep Pod Lipami|FV 1/02/2026|2026-02-05||DI||||100|5|200.5|46.12|300.5|51.12");
  // An FP invoice shows its own sums, though the declaration leaves it out.
  EXPECT_EQ(Row(sales, 1), "2||1234563218|Łąka i Syn|FV 2/02/2026|2026-02-05||DI|FP|GTU_01 TP||||1000|230|1000|230");
  EXPECT_EQ(sales.CellNumber(0, sales.ColumnOf("K_19")), 20050);
  EXPECT_EQ(sales.CellNumber(2, sales.ColumnOf("K_19")), std::nullopt);
  EXPECT_EQ(sales.SearchText(1), "Łąka i Syn\n1234563218\nFV 2/02/2026");
  EXPECT_EQ(sales.RowOfLp(3), 2);
  EXPECT_EQ(sales.RowOfLp(9), -1);

  ColumnTotals totals = sales.Totals();
  EXPECT_EQ(totals.rows, 3);
  EXPECT_EQ(totals.cents[sales.ColumnOf("K_20")], 27612);
  EXPECT_EQ(totals.cents[sales.ColumnOf(ColumnKind::NetSum)], 135050);
  EXPECT_EQ(totals.fpRows, 1);
  EXPECT_EQ(totals.fpTaxCents, 23000);
  const std::vector<int> some{0, 2};
  EXPECT_EQ(sales.Totals(&some).cents[sales.ColumnOf(ColumnKind::TaxSum)], 5112);

  RecordTable purchases(jpk, RecordSide::Purchases);
  EXPECT_EQ(Titles(purchases), "Lp|Kraj|NIP|Dostawca|Dowód|Data zakupu|Data wpływu|KSeF|Typ|IMP|K_42|K_43|Netto|VAT");
  EXPECT_EQ(Row(purchases, 0), "1||7270120002|Hurtownia Żuraw|FZ 1/2026|2026-02-03||DI||IMP|300|69|300|69");
  // Every amount of the side on request; the usual pair always.
  purchases.SetAllAmounts(true);
  EXPECT_EQ(purchases.ColumnCount(), 10 + 9 + 2);
  RecordTable empty(Document(Sale(1, "<K_10>1</K_10>"), ""), RecordSide::Purchases);
  EXPECT_EQ(empty.RowCount(), 0);
  EXPECT_NE(Titles(empty).find("K_42|K_43"), std::string::npos);
}

TEST(RecordTable, TypedEditsAndRefusals) {
  struct Case {
    RecordSide side;
    int row;
    const char* element;  // a column's element, or "markers"
    const char* typed;
    const char* cell;   // the cell after the edit
    const char* error;  // or the refusal
  } cases[] = {
      // clang-format off
      {RecordSide::Sales, 0, "K_20", "1 046,10", "1046.1", ""},
      {RecordSide::Sales, 0, "K_20", "-0,5", "-0.5", ""},
      {RecordSide::Sales, 0, "K_20", "12,345", "", "Kwota \"12,345\" ma więcej niż dwa miejsca po przecinku"},
      {RecordSide::Sales, 0, "K_20", "dużo", "", "\"dużo\" nie jest kwotą (np. 1234,56)"},
      {RecordSide::Sales, 0, "DataWystawienia", "07.02.2026", "2026-02-07", ""},
      {RecordSide::Sales, 0, "DataWystawienia", "2026-02-30", "", "Data \"2026-02-30\" nie istnieje"},
      {RecordSide::Sales, 0, "DataWystawienia", "", "", "Pole \"Data wystawienia\" jest wymagane"},
      {RecordSide::Sales, 0, "DataSprzedazy", "2026-01-31", "2026-01-31", ""},
      {RecordSide::Sales, 0, "NrKSeF", " bfk ", "BFK", ""},
      {RecordSide::Sales, 0, "NrKSeF", "5265877635-20250826-0100001AF629-AF", "5265877635-20250826-0100001AF629-AF", ""},
      {RecordSide::Sales, 0, "NrKSeF", "5265877635-20250826-0100001AF629-AA", "", "Numer KSeF"},
      {RecordSide::Sales, 0, "TypDokumentu", "wew", "WEW", ""},
      {RecordSide::Sales, 0, "TypDokumentu", "MK", "", "\"MK\" nie jest typem dokumentu sprzedaży (RO, WEW, FP)"},
      {RecordSide::Sales, 1, "TypDokumentu", "", "", ""},
      {RecordSide::Sales, 0, "markers", "tp, gtu_12 GTU3", "GTU_03 GTU_12 TP", ""},
      {RecordSide::Sales, 0, "markers", "IMP", "", "\"IMP\" nie jest oznaczeniem tej ewidencji"},
      {RecordSide::Sales, 1, "markers", "", "", ""},
      {RecordSide::Sales, 0, "KodKrajuNadaniaTIN", "de", "DE", ""},
      {RecordSide::Sales, 0, "KodKrajuNadaniaTIN", "Niemcy", "", "\"Niemcy\" nie jest kodem kraju (dwie litery, np. DE)"},
      {RecordSide::Sales, 0, "NazwaKontrahenta", "  Nowy Klient ", "Nowy Klient", ""},
      {RecordSide::Sales, 0, "NrKontrahenta", "", "", "Pole \"NIP\" jest wymagane"},
      {RecordSide::Purchases, 0, "DokumentZakupu", "vat_rr", "VAT_RR", ""},
      {RecordSide::Purchases, 0, "DokumentZakupu", "FP", "", "\"FP\" nie jest typem dokumentu zakupu (MK, VAT_RR, WEW)"},
      {RecordSide::Purchases, 0, "markers", "", "", ""},
      {RecordSide::Purchases, 0, "DataWplywu", "2026-02-04", "2026-02-04", ""},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.element) + " " + c.typed);
    auto jpk = Document();
    RecordTable t(jpk, c.side);
    const int column = std::string(c.element) == "markers" ? t.ColumnOf(ColumnKind::Markers) : t.ColumnOf(c.element);
    ASSERT_GE(column, 0);
    const std::string before = t.Record(c.row).Xml();
    if (*c.error) {
      try {
        t.SetCell(c.row, column, c.typed);
        ADD_FAILURE() << "accepted";
      } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(c.error, 0), 0u) << e.what();
      }
      EXPECT_EQ(t.Record(c.row).Xml(), before);  // nothing changed
      continue;
    }
    t.SetCell(c.row, column, c.typed);
    EXPECT_EQ(t.CellText(c.row, column), c.cell);
  }
}

TEST(RecordTable, AmountEditsKeepPairsAndRefreshTheControlSums) {
  auto jpk = Document();
  RecordTable t(jpk, RecordSide::Sales);
  const int k20 = t.ColumnOf("K_20"), k19 = t.ColumnOf("K_19"), k10 = t.ColumnOf("K_10");
  t.SetCell(0, k20, "50");
  EXPECT_EQ(Ctrl(jpk, "SprzedazCtrl", "PodatekNalezny"), "55");  // 5 + 50; the FP invoice is left out
  // A net typed where the record has none brings its tax as 0.
  t.SetCell(2, k19, "10");
  EXPECT_EQ(t.CellText(2, k20), "0");
  // Emptying a half whose partner is not 0 writes 0; the pair stays.
  t.SetCell(0, k19, "");
  EXPECT_EQ(t.CellText(0, k19), "0");
  EXPECT_EQ(t.CellText(0, k20), "50");
  // Emptying a half whose partner is 0 removes the pair.
  t.SetCell(2, k19, "");
  EXPECT_EQ(t.CellText(2, k19), "");
  EXPECT_EQ(t.CellText(2, k20), "");
  t.SetCell(2, k10, "");
  EXPECT_EQ(t.CellText(2, k10), "");
  kxtest::TempDir dir;
  jpk.OwnerDocument().SaveToFile(dir / "pary.xml");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "pary.xml"), "");
}

TEST(RecordTable, UndoStatesPutBackTheRecordExactly) {
  auto jpk = Document();
  RecordTable t(jpk, RecordSide::Sales);
  const std::string before = t.Record(1).Xml();
  const std::string ctrl = Ctrl(jpk, "SprzedazCtrl", "PodatekNalezny");
  for (int column = 0; column < t.ColumnCount(); ++column) {
    if (!t.Column(column).Editable()) continue;
    SCOPED_TRACE(t.Column(column).title);
    const CellState state = t.GetCellState(1, column);
    const std::string typed = t.Column(column).kind == ColumnKind::Amount        ? "7,5"
                              : t.Column(column).kind == ColumnKind::Date        ? "2026-02-01"
                              : t.Column(column).kind == ColumnKind::Ksef        ? "OFF"
                              : t.Column(column).kind == ColumnKind::DocType     ? "RO"
                              : t.Column(column).kind == ColumnKind::Markers     ? "GTU_05 MR_T"
                              : t.Column(column).element == "KodKrajuNadaniaTIN" ? "CZ"
                                                                                 : "X";
    t.SetCell(1, column, typed);
    EXPECT_NE(t.Record(1).Xml(), before);
    t.SetCellState(1, column, state);
    EXPECT_EQ(t.Record(1).Xml(), before);
  }
  EXPECT_EQ(Ctrl(jpk, "SprzedazCtrl", "PodatekNalezny"), ctrl);
}

TEST(RecordTable, AddTakeAndInsertRenumber) {
  auto jpk = Document();
  RecordTable sales(jpk, RecordSide::Sales);
  const int row = sales.AddRecord(0);
  EXPECT_EQ(row, 1);
  EXPECT_EQ(Row(sales, 1), "2||BRAK|BRAK|BRAK|2026-02-01||BFK||||||||0|0");
  EXPECT_EQ(sales.CellText(2, 0), "3");
  EXPECT_EQ(sales.CellText(3, 0), "4");
  EXPECT_EQ(Ctrl(jpk, "SprzedazCtrl", "LiczbaWierszySprzedazy"), "4");
  kxtest::TempDir dir;
  jpk.OwnerDocument().SaveToFile(dir / "nowy.xml");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "nowy.xml"), "");

  const std::string first = sales.Record(0).Xml();
  xml::XmlNode taken = sales.TakeRecord(0);
  EXPECT_EQ(sales.RowCount(), 3);
  EXPECT_EQ(sales.CellText(0, 0), "1");
  EXPECT_EQ(Ctrl(jpk, "SprzedazCtrl", "LiczbaWierszySprzedazy"), "3");
  sales.InsertRecord(0, taken);
  EXPECT_EQ(sales.Record(0).Xml(), first);
  EXPECT_EQ(sales.CellText(3, 0), "4");

  // The first record of an empty side goes before its control element.
  auto onlySales = Document(kSales, "");
  RecordTable purchases(onlySales, RecordSide::Purchases);
  EXPECT_EQ(purchases.AddRecord(), 0);
  EXPECT_EQ(Ctrl(onlySales, "ZakupCtrl", "LiczbaWierszyZakupow"), "1");
  onlySales.OwnerDocument().SaveToFile(dir / "zakup.xml");
  EXPECT_EQ(kxtest::SchemaErrors(dir / "zakup.xml"), "");
  RecordTable again(onlySales, RecordSide::Purchases);
  EXPECT_EQ(again.RowCount(), 1);

  // A change the numbering refuses (a positive K_46) is taken back whole.
  const int k46 = [&] {
    again.SetAllAmounts(true);
    return again.ColumnOf("K_46");
  }();
  const std::string whole = onlySales.OwnerDocument().Xml();
  EXPECT_THROW(again.SetCell(0, k46, "5"), Error);
  EXPECT_EQ(onlySales.OwnerDocument().Xml(), whole);
}

// A file as the program writes it, opened in the editor; one amount changed
// in the grid and the file saved: only that amount, the control sum and the
// creation time differ.
TEST(RecordTable, SavingAfterOneEditKeepsEveryOtherByte) {
  kxtest::TempDir dir;
  kxtest::ScriptedUserPort port;
  AppContext ctx{port};
  ctx.AppSettings.ClearEnter = false;
  V7MEditor editor{ctx, dir.Path()};
  const fs::path file = dir / "luty.xml";
  {
    auto jpk = Document();
    jpk.OwnerDocument().SaveToFile(file);
    jpk::FormatAndSaveV7M(jpk, file.string());
  }
  auto lines = [](const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<std::string> v;
    for (std::string line; std::getline(in, line);) v.push_back(line);
    return v;
  };
  const std::vector<std::string> before = lines(file);
  ASSERT_TRUE(editor.OpenFile(file.string()));
  RecordTable t(editor.Document(), RecordSide::Sales);
  t.SetCell(0, t.ColumnOf("K_20"), "47");
  editor.SaveTo(file.string());
  const std::vector<std::string> after = lines(file);
  ASSERT_EQ(after.size(), before.size());
  std::vector<std::string> changed;
  for (size_t i = 0; i < before.size(); ++i) {
    if (after[i] != before[i]) changed.push_back(after[i]);
  }
  ASSERT_EQ(changed.size(), 3u);
  EXPECT_NE(changed[0].find("<DataWytworzeniaJPK>"), std::string::npos);
  EXPECT_EQ(changed[1], "      <K_20>47</K_20>");
  EXPECT_EQ(changed[2], "      <PodatekNalezny>52</PodatekNalezny>");
}
