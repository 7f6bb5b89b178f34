#include "app/source_tables.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fixtures/table_builder.h"
#include "platform/error.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kx;
using kx::tables::Date;
using kx::tables::FieldKind;
using kx::tables::Table;
using kxtest::TableBuilder;

namespace {

const std::string kSep(1, std::filesystem::path::preferred_separator);

// Every folder setting different, so a table in the wrong folder shows.
AppSettings Folders(bool yearKx, bool yearUsr) {
  AppSettings s;
  s.KXDataDir = "/kx/";
  s.UserDir = "/users/";
  s.RejkoDir = "/rejko/";
  s.RejkoUserDir = "/rejko-users/";
  s.FolvoDir = "/folvo/";
  s.YearKxTbl = yearKx;
  s.YearUsrTbl = yearUsr;
  s.CurDate = {2021, 3, 15};
  return s;
}

TEST(SourceTableName, FolderAndPeriodOfMarch2021) {
  struct Case {
    const SourceTable& table;
    bool yearKx;
    bool yearUsr;
    std::string expected;
  } cases[] = {
      // Warehouse tables follow YearKxTbl, contractors YearUsrTbl; each flag
      // set against the other shows a mix-up.
      {towix::kWI, true, false, "/kx/2021WI"},
      {towix::kWI, false, true, "/kx/21_03WI"},
      {towix::kMaster, false, false, "/kx/21_03WI"},
      {towix::kWT, true, false, "/kx/2021WT"},
      {towix::kW, false, false, "/kx/21_03W"},
      {towix::kWS, false, false, "/kx/21_03WS"},
      {towix::kReg, false, true, "/kx/21_03REG"},
      {towix::kUR, false, true, "/users/2021UR"},
      {towix::kUR, true, false, "/users/21_03UR"},
      {towix::kUC, true, false, "/users/21_03UC"},
      {towix::kUsers, true, true, "/users/Users"},
      {towix::kUsers, false, false, "/users/Users"},
      {towix::kVatRegister, true, false, "/kx/2021REG"},
      {towix::kVatBuyers, true, false, "/users/21_03UR"},
      {towix::kVatSellers, false, true, "/users/2021UC"},
      {towix::kVatUsers, false, false, "/users/Users"},
      // The year folders take the year whatever the flags.
      {rejko::kSingleRegister, false, false, "/rejko/2021" + kSep + "Register"},
      {rejko::kNineRegisters[3], true, true, "/rejko/2021" + kSep + "REGB1"},
      {rejko::kSingleRegisterUsers, false, false, "/rejko-users/Users"},
      {rejko::kNineRegistersUsers, true, true, "/rejko-users/Users"},
      {folvo::kRegister, false, false, "/folvo/2021" + kSep + "Register"},
      {folvo::kUsers, true, true, "/users/Users"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SourceTableName(Folders(c.yearKx, c.yearUsr), c.table), c.expected)
        << c.table.name << " YearKxTbl " << c.yearKx << " YearUsrTbl " << c.yearUsr;
  }
}

TEST(SourceTableName, V7MContractorsByUsersFileAndDirection) {
  AppSettings s = Folders(false, false);
  EXPECT_EQ(SourceTableName(s, towix::VatContractors(true, true)), "/users/Users");
  EXPECT_EQ(SourceTableName(s, towix::VatContractors(true, false)), "/users/Users");
  EXPECT_EQ(SourceTableName(s, towix::VatContractors(false, true)), "/users/21_03UR");
  EXPECT_EQ(SourceTableName(s, towix::VatContractors(false, false)), "/users/21_03UC");
}

// Codes at both sides of every group's edges.
TEST(WarehouseCodes, DocumentKindGroups) {
  struct Case {
    int type;
    bool fa, pz, wz, rw, mm, checksNip;
  } cases[] = {
      // type  FA     PZ     WZ     RW     MM     NIP
      {0, true, false, true, false, false, true},     {1, true, false, true, false, false, true},
      {3, true, false, true, false, false, true},     {4, true, false, true, false, false, false},
      {5, true, false, true, false, false, false},    {6, false, false, true, false, false, false},
      {7, false, false, true, false, false, false},   {8, false, false, false, false, true, true},
      {9, false, false, true, false, false, true},    {15, false, false, true, false, false, true},
      {16, false, false, false, false, true, true},   {17, false, false, false, false, true, true},
      {18, false, false, true, false, false, true},   {19, false, false, true, false, false, true},
      {20, true, false, true, false, false, true},    {23, true, false, true, false, false, true},
      {24, false, false, true, false, false, true},   {25, false, false, true, false, false, true},
      {26, false, false, false, false, false, true},  {31, false, false, false, false, false, true},
      {32, false, false, false, true, false, true},   {33, false, false, false, false, false, true},
      {35, false, false, false, false, false, true},  {36, false, false, false, false, true, true},
      {37, false, false, false, false, false, true},  {47, false, false, false, false, false, true},
      {48, true, false, false, false, false, true},   {53, true, false, false, false, false, true},
      {54, false, false, false, false, false, true},  {127, false, false, false, false, false, true},
      {128, false, true, false, false, false, true},  {129, false, true, false, false, false, true},
      {130, false, false, false, false, false, true}, {151, false, false, false, false, false, true},
      {152, false, true, false, false, false, true},  {153, false, true, false, false, false, true},
      {154, false, false, false, false, false, true}, {-1, false, false, false, false, false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(towix::IsFaKind(c.type), c.fa) << c.type;
    EXPECT_EQ(towix::IsPzKind(c.type), c.pz) << c.type;
    EXPECT_EQ(towix::IsWzKind(c.type), c.wz) << c.type;
    EXPECT_EQ(towix::IsRwKind(c.type), c.rw) << c.type;
    EXPECT_EQ(towix::IsMmKind(c.type), c.mm) << c.type;
    EXPECT_EQ(towix::KindChecksNip(c.type), c.checksNip) << c.type;
  }
}

TEST(WarehouseCodes, RegisterClasses) {
  struct Case {
    int cls;
    bool foreign, eu, fp, purchase, checksNip;
  } cases[] = {
      // class foreign eu     FP     purchase NIP
      {0, false, false, false, false, true},   {1, false, false, false, false, true},
      {2, true, false, false, false, false},   {3, true, false, false, false, false},
      {4, false, false, true, false, false},   {5, false, false, true, false, false},
      {6, false, false, false, false, false},  {7, false, false, false, false, false},
      {8, false, false, false, false, true},   {21, false, false, false, false, true},
      {22, true, true, false, false, true},    {23, true, true, false, false, true},
      {24, false, false, false, false, true},  {127, false, false, false, false, true},
      {128, false, false, false, true, true},  {129, false, false, false, true, true},
      {130, false, false, false, false, true}, {134, false, false, false, false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(towix::IsForeignSaleClass(c.cls), c.foreign) << c.cls;
    EXPECT_EQ(towix::IsEuSaleClass(c.cls), c.eu) << c.cls;
    EXPECT_EQ(towix::IsFpClass(c.cls), c.fp) << c.cls;
    EXPECT_EQ(towix::IsPurchaseClass(c.cls), c.purchase) << c.cls;
    EXPECT_EQ(towix::RegisterClassChecksNip(c.cls), c.checksNip) << c.cls;
  }
}

TEST(RegisterProgramCodes, RegIdSplitsSalesFromPurchases) {
  EXPECT_FALSE(folvo::IsPurchaseRegId(0));
  EXPECT_FALSE(folvo::IsPurchaseRegId(127));
  EXPECT_TRUE(folvo::IsPurchaseRegId(128));
  EXPECT_TRUE(folvo::IsPurchaseRegId(200));
  EXPECT_EQ(folvo::MonthFilter(3), "[VATMonth] = 3");
}

TEST(BookkeepingRegisters, FiltersOfBothLayouts) {
  EXPECT_EQ(rejko::PeriodId({2025, 5, 31}), 12525);
  EXPECT_EQ(rejko::PeriodId({1999, 12, 1}), 9960);
  EXPECT_EQ(rejko::PeriodIdFilter({2025, 5, 1}), "[Period Id] = 12525");
  EXPECT_EQ(rejko::SingleRegisterFilter(rejko::kPurchaseRegType, 11), "([RegType] = 128) and ([VatPeriod] = 11)");
}

// Which of the nine registers are read as sales and as purchases, with
// Zakup2Ex off and on.
TEST(BookkeepingRegisters, NineRegistersAsSalesAndPurchases) {
  struct Case {
    const char* name;
    bool sales, salesWithZakup2Ex, purchases;
  } cases[] = {
      {"REGS", true, true, false},     {"REGSKOR", true, true, false}, {"REGSU", true, true, false},
      {"REGB1", false, true, true},    {"REGB", false, false, true},   {"REGB2", false, false, true},
      {"REGBKOR", false, false, true}, {"REGBA", false, false, true},  {"REGBP", false, false, true},
  };
  ASSERT_EQ(std::size(cases), rejko::kNineRegisters.size());
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_STREQ(rejko::kNineRegisters[i].name, c.name) << "reading order";
    EXPECT_EQ(rejko::ReadAsSales(c.name, false), c.sales) << c.name;
    EXPECT_EQ(rejko::ReadAsSales(c.name, true), c.salesWithZakup2Ex) << c.name;
    EXPECT_EQ(rejko::ReadAsPurchases(c.name), c.purchases) << c.name;
  }
}

// A month of the warehouse program in two folders: three documents sharing
// Year, MagId and Number in part, so a link that drops a key field or uses the
// wrong one picks another row.
class WarehouseMonth : public testing::Test {
 protected:
  WarehouseMonth() : ctx(port) {
    AppSettings& s = ctx.AppSettings;
    s.KXDataDir = (dir / "kx").string() + kSep;
    s.UserDir = (dir / "users").string() + kSep;
    s.CurDate = {2021, 3, 15};
    std::filesystem::create_directories(dir / "kx");
    std::filesystem::create_directories(dir / "users");

    TableBuilder("21_03WI")
        // clang-format off
        .Field("Type", FieldKind::Short).Field("Year", FieldKind::Short).Field("MagId", FieldKind::Short)
        .Field("Number", FieldKind::Integer).Field("Name", FieldKind::Text, 20).Field("User", FieldKind::Integer)
        .Field("MasterType", FieldKind::Short).Field("MasterYear", FieldKind::Short)
        .Field("MasterMagId", FieldKind::Short).Field("MasterNumber", FieldKind::Integer)
        .Key(4)
        .Row({8, 2021, 1, 2, "MM 2/2021", 100, nullptr, nullptr, nullptr, nullptr})
        .Row({1, 2021, 1, 1, "KFV 1/2021", 100, 0, 2021, 1, 2})
        .Row({0, 2021, 1, 2, "FV 2/2021", 101, nullptr, nullptr, nullptr, nullptr})
        .WriteParadox(dir / "kx");
    // clang-format on
    TableBuilder("21_03WT")
        // clang-format off
        .Field("Type", FieldKind::Short).Field("Year", FieldKind::Short).Field("MagId", FieldKind::Short)
        .Field("Number", FieldKind::Integer).Field("Pos", FieldKind::Short).Field("Group", FieldKind::Short)
        .Field("Index", FieldKind::Integer).Field("Series", FieldKind::Integer).Field("Quantity", FieldKind::Number)
        .Key(5)
        .Row({8, 2021, 1, 2, 1, 1, 11, 4, 1.0})
        .Row({0, 2021, 1, 2, 2, 1, 11, 3, 5.0})
        .Row({0, 2021, 1, 2, 1, 1, 10, 0, 2.0})
        .Row({1, 2021, 1, 1, 1, 1, 10, 0, -1.0})
        .WriteParadox(dir / "kx");
    // clang-format on
    TableBuilder("21_03W")
        .Field("Group", FieldKind::Short)
        .Field("Index", FieldKind::Integer)
        .Field("Name", FieldKind::Text, 30)
        .Key(2)
        .Row({2, 10, "Olej"})
        .Row({1, 11, "Nakrętka"})
        .Row({1, 10, "Śruba M6"})
        .WriteParadox(dir / "kx");
    TableBuilder("21_03WS")
        .Field("Group", FieldKind::Short)
        .Field("Index", FieldKind::Integer)
        .Field("SeriesNo", FieldKind::Integer)
        .Field("Cost", FieldKind::Number)
        .Key(3)
        .Row({1, 11, 4, 2.75})
        .Row({1, 11, 3, 2.5})
        .Row({1, 10, 3, 9.0})
        .WriteParadox(dir / "kx");
    TableBuilder("21_03REG")
        // clang-format off
        .Field("Class", FieldKind::Short).Field("Year", FieldKind::Short).Field("MagId", FieldKind::Short)
        .Field("Number", FieldKind::Integer).Field("Document", FieldKind::Text, 20).Field("Value", FieldKind::Number)
        .Key(4)
        .Row({1, 2021, 1, 1, "KFV 1/2021", -12.3})
        .Row({0, 2021, 1, 2, "FV 2/2021", 123.0})
        .WriteParadox(dir / "kx");
    // clang-format on
    TableBuilder("21_03UR")
        .Field("Number", FieldKind::Integer)
        .Field("Firm Name", FieldKind::Text, 40)
        .Field("PayerNumber", FieldKind::Integer)
        .Key(1)
        .Row({101, "Beta", 2})
        .Row({100, "Alfa", 1})
        .WriteParadox(dir / "users");
    TableBuilder("Users")
        .Field("Number", FieldKind::Integer)
        .Field("Firm Name", FieldKind::Text, 40)
        .Key(1)
        .Row({100, "Alfa by its own number"})
        .Row({2, "Beta SA"})
        .Row({1, "Alfa Centrala"})
        .WriteParadox(dir / "users");
  }

  kxtest::TempDir dir;
  kxtest::ScriptedUserPort port;
  AppContext ctx;
};

std::string Text(Table& t, const char* field) { return t.FieldByName(field).AsString(); }
std::string Amount(Table& t, const char* field) { return Format("%f", t.FieldByName(field).AsFloat()); }

TEST_F(WarehouseMonth, HeadersWalkWithTheirRowsRegisterAndContractor) {
  const AppSettings& s = ctx.AppSettings;
  Table wi(ctx.Session), master(ctx.Session), wt(ctx.Session), w(ctx.Session), ws(ctx.Session), reg(ctx.Session),
      ur(ctx.Session), users(ctx.Session);
  SetUpTable(ctx, wi, towix::kWI);
  SetUpTable(ctx, master, towix::kMaster);
  SetUpTable(ctx, wt, towix::kWT, &wi);
  SetUpTable(ctx, w, towix::kW, &wt);
  SetUpTable(ctx, ws, towix::kWS, &wt);
  SetUpTable(ctx, reg, towix::kReg, &wi);
  SetUpTable(ctx, ur, towix::kUR, &wi);
  ASSERT_TRUE(SourceTableExists(s, towix::kUsers));
  SetUpTable(ctx, users, towix::kUsers, &ur);
  for (Table* t : {&wi, &master, &wt, &w, &ws, &reg, &ur, &users}) t->Open();

  std::string walk;
  for (wi.First(); !wi.Eof(); wi.Next()) {
    walk += Text(wi, "Name") + ":";
    for (wt.First(); !wt.Eof(); wt.Next()) {
      walk += " " + Text(w, "Name") + " x" + Amount(wt, "Quantity");
      for (ws.First(); !ws.Eof(); ws.Next()) walk += " at " + Amount(ws, "Cost");
      walk += ";";
    }
    walk += reg.IsEmpty() ? " no register;" : " register " + Text(reg, "Document") + " " + Amount(reg, "Value") + ";";
    walk += " buyer " + Text(ur, "Firm Name") + " / " + Text(users, "Firm Name");
    if (!wi.FieldByName("MasterType").IsNull()) {
      ASSERT_TRUE(master.FindKey({wi.FieldByName("MasterType"), wi.FieldByName("MasterYear"),
                                  wi.FieldByName("MasterMagId"), wi.FieldByName("MasterNumber")}));
      walk += "; corrects " + Text(master, "Name");
    }
    walk += "\n";
  }
  EXPECT_EQ(walk,
            "FV 2/2021: Śruba M6 x2.00; Nakrętka x5.00 at 2.50; register FV 2/2021 123.00; buyer Beta / Beta SA\n"
            "KFV 1/2021: Śruba M6 x-1.00; register KFV 1/2021 -12.30; buyer Alfa / Alfa Centrala;"
            " corrects FV 2/2021\n"
            "MM 2/2021: Nakrętka x1.00 at 2.75; no register; buyer Alfa / Alfa Centrala\n");
}

}  // namespace
