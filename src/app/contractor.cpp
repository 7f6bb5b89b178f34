#include "app/contractor.h"

#include "app/kxTools.h"
#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx {

bool UsersTableExists = false;

namespace {

constexpr const char* kLoadingStopped = "Wczytywanie przerwano";

bool AskYesNo(ui::UserPort& port, const std::string& text) {
  return port.Ask(ui::BoxKind::Error, text, {ui::Button::Yes, ui::Button::No}, ui::Button::Yes) == ui::Button::Yes;
}

// The parts of a text between "," and ";".
std::vector<std::string> SplitTown(const std::string& text) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == ',' || c == ';') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

}  // namespace

void ConfirmNipProblem(ui::UserPort& port, const std::string& message, const std::string& nip, const std::string& name,
                       const std::string& document) {
  std::string text = message + Format(" NIP: %s\rKontrahent: %s\rDokument: %s\rKontynuować?", nip.c_str(), name.c_str(),
                                      document.c_str());
  if (!AskYesNo(port, text)) throw Error(kLoadingStopped);
}

Contractor ReadContractor(AppContext& ctx, const std::string& document, tables::Table& users, bool check) {
  Contractor c;
  c.name = users.FieldByName("Firm Name").AsString();
  std::string town = users.FieldByName("City").AsString();
  int64_t options = users.FieldByName("Options").AsInteger();

  if (options != 0) {
    std::vector<std::string> parts = SplitTown(town);
    if (parts.size() >= 2) {
      town = parts[0];
      c.countryCode = EuCountryCodeFromName(parts[1]);
    }
  }

  bool zipFirst = ctx.AppSettings.AdrZipCityFirst;
  std::string zip = users.FieldByName("ZipCode").AsString();
  if (UsersTableExists && EqualsIgnoreCase(users.TableName(), "Users")) {
    c.address = FormatAddress(zip, town, users.FieldByName("Street").AsString(), users.FieldByName("House").AsString(),
                              "", zipFirst);
  } else {
    c.address = FormatAddress(zip, town, users.FieldByName("Address").AsString(), "", "", zipFirst);
  }

  if (tables::Field* nip = users.FindField("NIP")) c.nip = nip->AsString();

  if (c.name.empty()) {
    throw Error(Format("Brak nazwy kontrahenta\r\nDokument: %s  NIP: %s\r\nWczytywanie przerwano", document.c_str(),
                       c.nip.c_str()));
  }

  if (check) {
    ui::UserPort& port = ctx.ui;
    CheckNip(
        c.nipCountry, c.nip,
        [&port](const std::string& message, const std::string& nip, const std::string& name, const std::string& doc) {
          ConfirmNipProblem(port, message, nip, name, doc);
        },
        c.name, document);
  }

  if (c.nipCountry.empty() && (c.nip.rfind("GB", 0) == 0 || c.nip.rfind("CH", 0) == 0)) {
    c.nipCountry = c.nip.substr(0, 2);
    c.nip.erase(0, 2);
  }

  if (check && LowerCase(c.nip) == "brak") {
    if (!AskYesNo(ctx.ui,
                  Format("Brak numeru NIP. Dokument: %s\r%s\rKontynuować?", document.c_str(), c.name.c_str()))) {
      throw Error(kLoadingStopped);
    }
  }

  if (options == 3 && c.countryCode.empty() && !c.nipCountry.empty()) c.countryCode = c.nipCountry;

  if (check && c.address.empty()) c.address = "brak";
  return c;
}

}  // namespace kx
