// kx2jpk-cli config: the firm profile as the program reads it.

#include <CLI/CLI.hpp>
#include <ostream>

#include "app/kxTools.h"
#include "cli/cli_env.h"

namespace kx::cli {
namespace {

std::string DateOrEmpty(const Date& d) { return d.year == 0 ? "" : tables::DateText(d); }

void PrintProfile(CliEnv& env) {
  AppContext& ctx = env.Context();
  const AppSettings& s = ctx.AppSettings;
  std::ostream& o = env.Out();
  auto line = [&o](const char* name, const std::string& value) { o << name << "=" << value << "\n"; };
  auto flag = [&line](const char* name, bool value) { line(name, value ? "1" : "0"); };

  line("NIP", s.NIP);
  line("Nazwa", s.Nazwa);
  line("Imie", s.Imie);
  line("Nazwisko", s.Nazwisko);
  line("DataUrodzenia", DateOrEmpty(s.DataUrodzenia));
  line("Email", s.Email);
  line("Telefon", s.Telefon);
  line("Regon", s.Regon);
  line("Miasto", s.Miasto);
  line("Wojewodztwo", s.Wojewodztwo);
  line("Powiat", s.Powiat);
  line("Gmina", s.Gmina);
  line("Ulica", s.Ulica);
  line("NrDomu", s.NrDomu);
  line("NrLokalu", s.NrLokalu);
  line("KodPocztowy", s.KodPocztowy);
  line("Poczta", s.Poczta);
  line("USCode", s.USCode);
  line("NazwaSystemu", s.NazwaSystemu);
  line("CurDate", DateOrEmpty(s.CurDate));
  line("KXDataDir", s.KXDataDir);
  line("RejkoDir", s.RejkoDir);
  line("FolvoDir", s.FolvoDir);
  line("UserDir", s.UserDir);
  line("RejkoUserDir", s.RejkoUserDir);
  line("SaveDir", s.SaveDir);
  line("NameSufix", s.NameSufix);
  flag("YearKxTbl", s.YearKxTbl);
  flag("YearUsrTbl", s.YearUsrTbl);
  flag("AdrZipCityFirst", s.AdrZipCityFirst);
  flag("RegBySaleDate", s.RegBySaleDate);
  flag("AddAnulParag", s.AddAnulParag);
  flag("AddValZw2Net", s.AddValZw2Net);
  flag("AddNPO2Net", s.AddNPO2Net);
  flag("AddFaktMarket", s.AddFaktMarket);
  flag("AddCostInvo", s.AddCostInvo);
  flag("Zakup2Ex", s.Zakup2Ex);
  flag("Sprzedaz2ImpUslugEx", s.Sprzedaz2ImpUslugEx);
  flag("ClearEnter", s.ClearEnter);
  line("DowodSprzedazyRO", s.DowodSprzedazyRO);
  line("SkadMM", s.SkadMM);
  line("DokadMM", s.DokadMM);
  line("Wersja_programu", std::to_string(s.Wersja_programu));
  line("Wersja_szablonu", std::to_string(s.Wersja_szablonu));
  line("AddressLine", s.AddressLine);
  std::string codes;
  for (size_t c = 0; c < s.SaleDocTypes.size(); ++c) {
    if (s.SaleDocTypes.test(c)) codes += (codes.empty() ? "" : ",") + std::to_string(c);
  }
  line("SaleDocTypes", codes);
  line("RunDir", ctx.RunDir);
  line("NetFileDir", ctx.Session.NetFileDir());
  line("CutDict", std::to_string(ctx.CutDict.size()));
  line("RejkoAccSet", std::to_string(ctx.RejkoAccSet.size()));
}

}  // namespace

void AddConfigCommand(CLI::App& app, CliEnv& env) {
  auto* cmd = app.add_subcommand("config", "Pokaż profil firmy odczytany z pliku konfiguracyjnego");
  cmd->callback([&env] { PrintProfile(env); });
  auto* version = app.add_subcommand("version", "Pokaż wersję programu");
  version->callback([&env] { env.Out() << "Kalvor JPK - " << VersionString(env.executablePath) << "\n"; });
}

}  // namespace kx::cli
