// The Sage (Symfonia) output of the warehouse export: the text file in code
// page 1250 with CRLF line ends, on a month written as Paradox tables.

#include <gtest/gtest.h>

#include <filesystem>

#include "export/towix_export.h"
#include "fixtures/warehouse_fixture.h"
#include "platform/error.h"
#include "platform/tables/codepage.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using namespace kxtest;
using kx::exports::SageExport;
using kx::ui::Button;

namespace {

class SageRun {
 public:
  SageRun() : ctx(port) { WarehouseSettings(ctx.AppSettings, dir.Path()); }

  SageExport Make() {
    month.Write(dir.Path());
    kx::exports::WarehouseTables t(ctx);
    return kx::exports::MakeSage(ctx, t);
  }

  TempDir dir;
  ScriptedUserPort port;
  kx::AppContext ctx;
  WarehouseMonth month;
};

std::string FailureText(const SageExport& e) {
  if (!e.failure) return "";
  try {
    std::rethrow_exception(e.failure);
  } catch (const kx::Error& error) {
    return error.what();
  }
}

// The lines of the file decoded to UTF-8; every line must end in CRLF.
std::vector<std::string> Lines(const std::string& bytes) {
  std::string text = kx::tables::ToUtf8(bytes, 1250);
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < text.size()) {
    size_t end = text.find("\r\n", from);
    EXPECT_NE(end, std::string::npos) << "unterminated line: " << text.substr(from);
    if (end == std::string::npos) break;
    EXPECT_EQ(text.find('\n', from), end + 1) << "bare line feed";
    lines.push_back(text.substr(from, end - from));
    from = end + 2;
  }
  return lines;
}

const std::vector<std::string> kInfo = {"INFO{", "  Nazwa programu =kx2jpk", "  Wersja_programu =42",
                                        "  Wersja szablonu =3", "}"};

std::vector<std::string> Block(const std::string& nip, const std::string& name, const std::string& address,
                               const std::string& number, const std::string& date, const std::string& saleDate,
                               const std::string& payment) {
  return {"Dokument{",
          "  anulowany =0",
          "  rodzaj_dok =sprzedaży",
          "  khnip =" + nip,
          "  khnazwa =" + name,
          "  khadres =" + address,
          "  kod =" + number,
          "  data =" + date,
          "  datasp =" + saleDate,
          "  forma_platnosci =" + payment,
          "}"};
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace

TEST(SageExport, FileBytesInCodePage1250WithCrLf) {
  SageRun run;
  run.ctx.AppSettings.NazwaSystemu = "Hurtownia Żuraw";
  run.ctx.AppSettings.Wersja_programu = 51;
  run.ctx.AppSettings.Wersja_szablonu = 4;
  run.month.docs = {{.number = 1, .name = "FV 1/11/2026", .saleDate = {2026, 11, 4}, .payInfo = 2, .payDelay = 14}};
  run.month.reg = {{.number = 1, .value22 = 100, .tax22 = 23, .value = 123, .totalTax = 23}};
  SageExport out = run.Make();
  EXPECT_EQ(out.count, 1);
  EXPECT_FALSE(out.failure);
  EXPECT_EQ(out.text,
            "INFO{\r\n"
            "  Nazwa programu =Hurtownia \xAFuraw\r\n"
            "  Wersja_programu =51\r\n"
            "  Wersja szablonu =4\r\n"
            "}\r\n"
            "Dokument{\r\n"
            "  anulowany =0\r\n"
            "  rodzaj_dok =sprzeda\xBFy\r\n"
            "  khnip =5260250274\r\n"
            "  khnazwa =Piekarnia K\xB3os Sp. j.\r\n"
            "  khadres =Piotrkowska 12  90-006 \xA3\xF3"
            "d\x9F\r\n"
            "  kod =FV 1/11/2026\r\n"
            "  data =2026-11-05\r\n"
            "  datasp =2026-11-04\r\n"
            "  forma_platnosci =przelew 14 dni\r\n"
            "}\r\n");
  EXPECT_TRUE(run.port.shown.empty());
}

TEST(SageExport, EmptyMonthGivesTheInformationBlockOnly) {
  SageRun run;
  // Documents that are no sales, or left out of the register.
  run.month.docs = {{.type = 128, .number = 1}, {.type = 0, .number = 2}, {.type = 6, .number = 3}};
  run.month.reg = {{.cls = 128, .number = 1}, {.cls = 0, .number = 2, .flags = 0x08}, {.cls = 6, .number = 3}};
  SageExport out = run.Make();
  EXPECT_EQ(out.count, 0);
  EXPECT_FALSE(out.failure);
  EXPECT_EQ(Lines(out.text), kInfo);
  EXPECT_TRUE(run.port.shown.empty());
}

TEST(SageExport, DocumentBlocksInKeyOrder) {
  SageRun run;
  run.month.ur = {{.number = 1},
                  {.number = 2,
                   .name = "Müller GmbH",
                   .nip = "DE811128135",
                   .options = 1,
                   .city = "Berlin;Niemcy",
                   .zip = "10115",
                   .address = "Unter den Linden 1"},
                  {.number = 3, .name = "Sklep", .nip = "", .city = "", .zip = "", .address = ""}};
  run.month.docs = {
      {.type = 22, .number = 1, .name = "WDT 1", .user = 2, .payInfo = 1, .payDelay = 30},
      {.type = 0, .number = 7, .name = "FV 7", .date = {2026, 11, 30}, .saleDate = {2026, 11, 28}, .payInfo = 0},
      {.type = 4, .number = 2, .name = "FP 2", .user = 3, .payInfo = 3, .payDelay = 5},
      {.type = 1, .number = 3, .name = "FK 3", .payInfo = 5, .payDelay = 7},
  };
  run.month.reg = {{.cls = 22, .number = 1}, {.cls = 0, .number = 7}, {.cls = 4, .number = 2}, {.cls = 1, .number = 3}};
  SageExport out = run.Make();
  EXPECT_EQ(out.count, 4);
  EXPECT_FALSE(out.failure);
  // The NIP checked (prefix removed, country from the town) for all but types
  // 4 to 7: the receipt invoice keeps its empty NIP and address unasked.
  const std::string klos = "Piotrkowska 12  90-006 Łódź";
  EXPECT_EQ(
      Lines(out.text),
      Join({kInfo,
            Block("5260250274", "Piekarnia Kłos Sp. j.", klos, "FV 7", "2026-11-30", "2026-11-28", "gotówka 0 dni"),
            Block("5260250274", "Piekarnia Kłos Sp. j.", klos, "FK 3", "2026-11-05", "2026-11-05", "przedpłata 7 dni"),
            Block("", "Sklep", "", "FP 2", "2026-11-05", "2026-11-05", "inna forma płatności 5 dni"),
            Block("811128135", "Müller GmbH", "Unter den Linden 1  10115 Berlin", "WDT 1", "2026-11-05", "2026-11-05",
                  "karta płatnicza 30 dni")}));
  EXPECT_TRUE(run.port.shown.empty());
}

TEST(SageExport, ContractorFromUsersTable) {
  SageRun run;
  run.month.ur = {{.number = 4, .name = "Oddział", .address = "Zgierska 5", .payerNumber = 9}};
  run.month.users = {{.number = 9,
                      .name = "Młyn Zbożowy S.A.",
                      .nip = "526-025-02-74",
                      .city = "Kutno",
                      .zip = "99-300",
                      .street = "Łąkowa",
                      .house = "3"}};
  run.month.docs = {{.number = 1, .name = "FV 1", .user = 4}};
  run.month.reg = {{.number = 1}};
  SageExport out = run.Make();
  EXPECT_EQ(Lines(out.text), Join({kInfo, Block("5260250274", "Młyn Zbożowy S.A.", "Łąkowa 3  99-300 Kutno", "FV 1",
                                                "2026-11-05", "2026-11-05", "gotówka 0 dni")}));
}

TEST(SageExport, FailureKeepsTheBlocksWrittenBefore) {
  struct Case {
    const char* what;
    WarehouseUser second;  // contractor of the second document
    std::vector<Button> answers;
    const char* failure;
    int questions;
  };
  const Case cases[] = {
      {"no name",
       {.number = 2, .name = ""},
       {},
       "Brak nazwy kontrahenta\r\nDokument: FV 2  NIP: 5260250274\r\nWczytywanie przerwano",
       0},
      {"NIP refused", {.number = 2, .nip = "1234567890"}, {Button::No}, "Wczytywanie przerwano", 1},
      {"missing NIP refused", {.number = 2, .nip = ""}, {Button::No}, "Wczytywanie przerwano", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SageRun run;
    run.month.ur = {{.number = 1}, c.second};
    run.month.docs = {{.number = 1, .name = "FV 1", .user = 1},
                      {.number = 2, .name = "FV 2", .user = 2},
                      {.number = 3, .name = "FV 3", .user = 1}};
    run.month.reg = {{.number = 1}, {.number = 2}, {.number = 3}};
    run.port.answers = {c.answers.begin(), c.answers.end()};
    SageExport out = run.Make();
    EXPECT_EQ(out.count, 1);
    EXPECT_EQ(FailureText(out), c.failure);
    EXPECT_EQ(static_cast<int>(run.port.shown.size()), c.questions);
    EXPECT_EQ(Lines(out.text), Join({kInfo, Block("5260250274", "Piekarnia Kłos Sp. j.", "Piotrkowska 12  90-006 Łódź",
                                                  "FV 1", "2026-11-05", "2026-11-05", "gotówka 0 dni")}));
  }
}

TEST(SageExport, DriverWritesTheFileAnewAndReportsTheCount) {
  SageRun run;
  TempDir work;
  run.month.docs = {{.number = 1, .name = "FV 1"}, {.number = 2, .name = "FV 2"}};
  run.month.reg = {{.number = 1}, {.number = 2}};
  run.month.Write(run.dir.Path());
  kx::exports::DoFromTowix(run.ctx, kx::exports::ExportFormat::Sage, work.Path().string());
  std::string first = ReadFile(work / kx::exports::kSageFileName);
  EXPECT_EQ(Lines(first).size(), 5u + 2 * 11u);
  ASSERT_EQ(run.port.shown.size(), 1u);
  EXPECT_EQ(run.port.shown[0].text, "Wygenerowano plik zawierający dokumentów: 2");

  // A second run over a month with one document: only its content is left.
  run.month.docs.pop_back();
  run.month.reg.pop_back();
  run.port.shown.clear();
  SageExport second = run.Make();
  kx::exports::DoFromTowix(run.ctx, kx::exports::ExportFormat::Sage, work.Path().string());
  EXPECT_EQ(ReadFile(work / kx::exports::kSageFileName), second.text);
  EXPECT_EQ(Lines(second.text).size(), 5u + 11u);

  // A failing run still writes the blocks before the failure, shows the count
  // and then reports the failure.
  run.month.ur = {{.number = 1}, {.number = 2, .name = ""}};
  run.month.docs = {{.number = 1, .name = "FV 1"}, {.number = 2, .name = "FV 2", .user = 2}};
  run.month.reg = {{.number = 1}, {.number = 2}};
  run.month.Write(run.dir.Path());
  run.port.shown.clear();
  EXPECT_THROW(kx::exports::DoFromTowix(run.ctx, kx::exports::ExportFormat::Sage, work.Path().string()), kx::Error);
  EXPECT_EQ(Lines(ReadFile(work / kx::exports::kSageFileName)).size(), 5u + 11u);
  ASSERT_EQ(run.port.shown.size(), 1u);
  EXPECT_EQ(run.port.shown[0].text, "Wygenerowano plik zawierający dokumentów: 1");
}
