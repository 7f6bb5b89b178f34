#include "app/contractor.h"

#include <gtest/gtest.h>

#include <optional>

#include "platform/error.h"
#include "fixtures/table_builder.h"
#include "support/scripted_user_port.h"
#include "support/temp_dir.h"

using kx::tables::FieldKind;
using kx::ui::Button;
using kxtest::TableBuilder;

namespace {

// Records the buttons of every question as well.
class RecordingPort : public kxtest::ScriptedUserPort {
 public:
  struct Asked {
    std::vector<Button> buttons;
    Button defaultButton;
  };
  std::vector<Asked> asked;

  Button Ask(kx::ui::BoxKind kind, const std::string& text, const std::vector<Button>& buttons,
             Button defaultButton) override {
    asked.push_back({buttons, defaultButton});
    return ScriptedUserPort::Ask(kind, text, buttons, defaultButton);
  }
};

struct Row {
  const char* name = "Hurtownia Żuraw";
  const char* city = "Łódź";
  int options = 0;
  std::optional<const char*> nip = "";  // nullopt: the table has no "NIP" field
  const char* address = "Piotrkowska 12";
  const char* zip = "90-006";
};

// A per-period contractors' table (UR form) with one row, written as a Paradox file.
std::filesystem::path WriteUr(const kxtest::TempDir& dir, const Row& r) {
  TableBuilder t("26_11UR");
  // clang-format off
  t.Field("Number", FieldKind::Integer).Field("Firm Name", FieldKind::Text, 60).Field("City", FieldKind::Text, 40)
      .Field("Options", FieldKind::Short).Field("Address", FieldKind::Text, 60).Field("ZipCode", FieldKind::Text, 10);
  // clang-format on
  if (r.nip) t.Field("NIP", FieldKind::Text, 20);
  t.Key(1);
  std::vector<kxtest::Cell> cells{1, r.name, r.city, r.options, r.address, r.zip};
  if (r.nip) cells.emplace_back(*r.nip);
  t.Row(cells);
  return t.WriteParadox(dir.Path());
}

struct Outcome {
  kx::Contractor c;
  std::string error;
};

Outcome Read(RecordingPort& port, const std::filesystem::path& file, bool check, bool zipFirst = false) {
  kx::AppContext ctx(port);
  ctx.AppSettings.AdrZipCityFirst = zipFirst;
  kx::tables::Table users(ctx.Session);
  users.SetTableName(file.string());
  users.Open();
  Outcome o;
  try {
    o.c = kx::ReadContractor(ctx, "FV 7/2026", users, check);
  } catch (const kx::Error& e) {
    o.error = e.what();
  }
  return o;
}

}  // namespace

TEST(ReadContractor, CountryTownNipAndAddress) {
  struct Case {
    const char* what;
    Row row;
    bool check;
    const char* nipCountry;
    const char* nip;
    const char* countryCode;
    const char* address;
  } cases[] = {
      // clang-format off
      {"options 1: country name after ';'", {.city = "Berlin;Niemcy", .options = 1, .nip = "DE123456789"}, false,
       "", "DE123456789", "DE", "Piotrkowska 12  90-006 Berlin"},
      {"options 2: after ','", {.city = "Praha, Czechy", .options = 2, .nip = "CZ12345678"}, false, "",
       "CZ12345678", "CZ", "Piotrkowska 12  90-006 Praha"},
      {"options 0 keeps the town whole", {.city = "Berlin;Niemcy", .options = 0, .nip = "DE123456789"}, false, "",
       "DE123456789", "", "Piotrkowska 12  90-006 Berlin;Niemcy"},
      {"unknown country name", {.city = "Oslo;Norwegia", .options = 1, .nip = "NO123"}, false, "", "NO123", "",
       "Piotrkowska 12  90-006 Oslo"},
      {"options 3, checked: country from the prefix", {.city = "Berlin", .options = 3, .nip = "DE123456789"}, true,
       "DE", "123456789", "DE", "Piotrkowska 12  90-006 Berlin"},
      {"options 3, unchecked: number as it is", {.city = "Berlin", .options = 3, .nip = "DE123456789"}, false, "",
       "DE123456789", "", "Piotrkowska 12  90-006 Berlin"},
      {"options 3: a country name wins over the prefix", {.city = "Wien;Austria", .options = 3, .nip = "DE123456789"}, true,
       "DE", "123456789", "AT", "Piotrkowska 12  90-006 Wien"},
      {"GB prefix, checked", {.nip = "GB123456789"}, true, "GB", "123456789", "", "Piotrkowska 12  90-006 Łódź"},
      {"CH prefix, unchecked", {.nip = "CH987"}, false, "CH", "987", "", "Piotrkowska 12  90-006 Łódź"},
      {"Polish number with prefix and dashes", {.nip = "pl 123-456-32-18"}, true, "PL", "1234563218", "",
       "Piotrkowska 12  90-006 Łódź"},
      {"unchecked: empty number and address stay empty", {.city = "", .nip = "", .address = "", .zip = ""}, false,
       "", "", "", ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kxtest::TempDir dir;
    RecordingPort port;
    Outcome o = Read(port, WriteUr(dir, c.row), c.check);
    ASSERT_EQ(o.error, "");
    EXPECT_TRUE(port.shown.empty());
    EXPECT_EQ(o.c.name, c.row.name);
    EXPECT_EQ(o.c.nipCountry, c.nipCountry);
    EXPECT_EQ(o.c.nip, c.nip);
    EXPECT_EQ(o.c.countryCode, c.countryCode);
    EXPECT_EQ(o.c.address, c.address);
  }
}

TEST(ReadContractor, DoubtfulDataAskedAndRefusalStops) {
  const char* badSum =
      "Zła suma kontrolna numeru NIP: 1234567890\rKontrahent: Hurtownia Żuraw\rDokument: FV 7/2026\r"
      "Kontynuować?";
  const char* noNip = "Brak numeru NIP. Dokument: FV 7/2026\rHurtownia Żuraw\rKontynuować?";
  struct Case {
    const char* what;
    Row row;
    Button answer;
    const char* question;
    const char* error;
    const char* nip;
    const char* address;
  } cases[] = {
      // clang-format off
      {"bad check digit, Yes", {.nip = "1234567890"}, Button::Yes, badSum, "", "1234567890",
       "Piotrkowska 12  90-006 Łódź"},
      {"bad check digit, No", {.nip = "1234567890"}, Button::No, badSum, "Wczytywanie przerwano", "", ""},
      {"bad dashes", {.nip = "1234-56-32-18"}, Button::No,
       "Zły format numeru. Kreski w złych miejscach NIP: 1234-56-32-18\rKontrahent: Hurtownia Żuraw\r"
       "Dokument: FV 7/2026\rKontynuować?",
       "Wczytywanie przerwano", "", ""},
      {"closed box counts as No", {.nip = "12345"}, Button::Cancel,
       "Zły format numeru NIP: 12345\rKontrahent: Hurtownia Żuraw\rDokument: FV 7/2026\rKontynuować?",
       "Wczytywanie przerwano", "", ""},
      {"empty number, Yes; empty address becomes brak", {.city = "", .nip = "", .address = "", .zip = ""},
       Button::Yes, noNip, "", "BRAK", "brak"},
      {"no NIP field at all, No", {.nip = std::nullopt}, Button::No, noNip, "Wczytywanie przerwano", "", ""},
      {"number brak in any case, Yes", {.nip = "Brak"}, Button::Yes, noNip, "", "BRAK",
       "Piotrkowska 12  90-006 Łódź"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kxtest::TempDir dir;
    RecordingPort port;
    port.answers = {c.answer};
    Outcome o = Read(port, WriteUr(dir, c.row), true);
    ASSERT_EQ(port.shown.size(), 1u);
    EXPECT_EQ(port.shown[0].text, c.question);
    EXPECT_EQ(port.shown[0].kind, kx::ui::BoxKind::Error);
    EXPECT_EQ(port.asked[0].buttons, (std::vector<Button>{Button::Yes, Button::No}));
    EXPECT_EQ(port.asked[0].defaultButton, Button::Yes);
    EXPECT_EQ(o.error, c.error);
    if (*c.error == '\0') {
      EXPECT_EQ(o.c.nip, c.nip);
      EXPECT_EQ(o.c.address, c.address);
    }
  }
}

TEST(ReadContractor, MissingNameFailsBeforeAnyQuestion) {
  kxtest::TempDir dir;
  RecordingPort port;
  Outcome o = Read(port, WriteUr(dir, {.name = "", .nip = "1234567890"}), true);
  EXPECT_EQ(o.error, "Brak nazwy kontrahenta\r\nDokument: FV 7/2026  NIP: 1234567890\r\nWczytywanie przerwano");
  EXPECT_TRUE(port.shown.empty());
}

TEST(ReadContractor, UsersTableGivesStreetAndHouse) {
  kxtest::TempDir dir;
  TableBuilder("Users")
      // clang-format off
      .Field("Number", FieldKind::Integer).Field("Firm Name", FieldKind::Text, 60).Field("City", FieldKind::Text, 40)
      .Field("Options", FieldKind::Short).Field("Street", FieldKind::Text, 40).Field("House", FieldKind::Text, 10)
      .Field("ZipCode", FieldKind::Text, 10).Field("NIP", FieldKind::Text, 20)
      .Key(1)
      .Row({1, "Piekarnia Kłos", "Warszawa", 0, "Długa", "5", "00-950", "123-456-32-18"})
      .WriteParadox(dir.Path());
  // clang-format on
  // A per-period table keeps the one-field address even when Users.db exists.
  std::filesystem::path ur = WriteUr(dir, {.nip = "1234563218"});

  struct Case {
    bool usersExists;
    bool zipFirst;
    std::filesystem::path file;
    const char* address;
    const char* error;
  } cases[] = {
      {true, false, dir / "USERS.DB", "Długa 5  00-950 Warszawa", ""},
      {true, true, dir / "Users", "00-950 Warszawa  Długa 5", ""},
      {true, false, ur, "Piotrkowska 12  90-006 Łódź", ""},
      // Without the flag the table is read in the per-period form, which "Users" does not have.
      {false, false, dir / "Users", "", "brak pola Address"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.string());
    kx::UsersTableExists = c.usersExists;
    RecordingPort port;
    Outcome o = Read(port, c.file, true, c.zipFirst);
    if (*c.error) {
      EXPECT_NE(o.error.find(c.error), std::string::npos) << o.error;
    } else {
      EXPECT_EQ(o.error, "");
      EXPECT_EQ(o.c.address, c.address);
      EXPECT_TRUE(port.shown.empty());
    }
  }
  kx::UsersTableExists = false;
}
