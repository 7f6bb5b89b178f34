#pragma once
// The firm profile read from the configuration file once at start. Afterwards
// only CurDate (the working month) changes.

#include <bitset>
#include <string>

#include "platform/tables/value.h"

namespace kx {

using tables::Date;

struct AppSettings {
  std::string NIP;
  std::string Nazwa;
  std::string Imie;
  std::string Nazwisko;
  Date DataUrodzenia;
  std::string Email;
  std::string Telefon;
  std::string Regon;
  std::string Miasto;
  std::string Wojewodztwo;
  std::string Powiat;
  std::string Gmina;
  std::string Ulica;
  std::string NrDomu;
  std::string NrLokalu;
  std::string KodPocztowy;
  std::string Poczta;
  std::string USCode;
  std::string NazwaSystemu;
  Date CurDate;
  int CurTimeMsec = 0;  // time of day part of the default CurDate
  std::string KXDataDir;
  std::string RejkoDir;
  std::string FolvoDir;
  std::string UserDir;
  std::string RejkoUserDir;
  std::string SaveDir;
  std::string NameSufix;
  bool YearKxTbl = false;
  bool YearUsrTbl = false;
  bool AdrZipCityFirst = false;
  bool RegBySaleDate = false;
  bool AddAnulParag = true;
  bool AddValZw2Net = false;
  bool AddNPO2Net = false;
  bool AddFaktMarket = false;
  bool AddCostInvo = false;
  bool Zakup2Ex = false;
  bool Sprzedaz2ImpUslugEx = false;
  bool ClearEnter = true;
  std::string DowodSprzedazyRO = "Raport fiskalny okresowy";
  std::string SkadMM = "Magazyn Główny";
  std::string DokadMM = "Magazyn Główny";
  int Wersja_programu = 42;
  int Wersja_szablonu = 3;

  // Derived at the end of reading.
  std::string AddressLine;
  std::bitset<256> SaleDocTypes;
};

}  // namespace kx
