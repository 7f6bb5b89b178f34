#include "app/configuration.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "app/ini_file.h"
#include "app/kxTools.h"
#include "app/source_tables.h"
#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx {
namespace {

constexpr char kSep = std::filesystem::path::preferred_separator;
constexpr char kDateSeparator = '.';  // the Polish regional date separator

struct Today {
  Date date;
  int msec;
};

Today Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday}, (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) * 1000};
}

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

// One calendar month back; the day is kept, or the month's last day when shorter.
Date MonthBefore(Date d) {
  Date r{d.month == 1 ? d.year - 1 : d.year, d.month == 1 ? 12 : d.month - 1, d.day};
  if (r.day > DaysInMonth(r.year, r.month)) r.day = DaysInMonth(r.year, r.month);
  return r;
}

// Year, month and day separated by the regional date separator; a two-digit
// year falls in the 50-year window around the current year.
std::optional<Date> ParseConfigDate(const std::string& text, int currentYear) {
  int parts[3];
  size_t yearDigits = 0;
  size_t pos = 0;
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      if (pos >= text.size() || text[pos] != kDateSeparator) return std::nullopt;
      ++pos;
    }
    size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
    if (pos == start || pos - start > 4) return std::nullopt;
    parts[k] = std::stoi(text.substr(start, pos - start));
    if (k == 0) yearDigits = pos - start;
  }
  if (pos != text.size()) return std::nullopt;
  if (yearDigits <= 2) {
    int base = currentYear - 50;
    parts[0] += base / 100 * 100;
    if (parts[0] < base) parts[0] += 100;
  }
  Date d{parts[0], parts[1], parts[2]};
  if (d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1 || d.day > DaysInMonth(d.year, d.month)) {
    return std::nullopt;
  }
  return d;
}

class ConfigReader {
 public:
  ConfigReader(const IniFile& ini, std::string fileName) : m_ini(ini), m_fileName(std::move(fileName)) {}

  std::string ReadRequiredKey(const std::string& section, const std::string& key) const {
    std::string value = m_ini.ReadString(section, key, "");
    if (value.empty()) {
      throw Error(Format("Brak pola: \"%s = \" w pliku konfiguracyjnym w sekcji: %s", key.c_str(), section.c_str()));
    }
    return value;
  }

  std::string ReadDirKey(const std::string& key, const std::string& def) const {
    if (auto value = m_ini.Find("System", key)) {
      std::string dir = *value;
      if (!dir.empty() && dir.back() != kSep) dir += kSep;
      return dir;
    }
    if (def == "-") return {};
    if (!def.empty()) return def;
    throw Error(Format("Brak wpisu %s w pliku %s", key.c_str(), m_fileName.c_str()));
  }

  std::string Text(const std::string& key, const std::string& def = "") const {
    return m_ini.ReadString("System", key, def);
  }
  bool Flag(const std::string& key, bool def) const { return m_ini.ReadBool("System", key, def); }

  // The date of a key, or nothing when absent or unreadable.
  std::optional<Date> ReadDate(const std::string& key, int currentYear) const {
    std::string text = m_ini.ReadString("System", key, "");
    if (text.empty()) return std::nullopt;
    return ParseConfigDate(text, currentYear);
  }

 private:
  const IniFile& m_ini;
  std::string m_fileName;
};

std::vector<std::string> LoadWordList(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  if (!in) return lines;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  for (std::string& line : SplitLines(DecodeTextFile(bytes.str()))) {
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

// The configuration file's full name and RunDir, from the arguments.
void FindConfigFile(AppContext& ctx, const std::vector<std::string>& args, const std::filesystem::path& workingDir) {
  std::string name;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i].rfind("/ini=", 0) == 0) name = args[i].substr(5);
  }
  if (name.empty() && !args.empty()) name = std::filesystem::path(args[0]).filename().string();

  std::filesystem::path path(name);
  if (path.extension() != ".ini") path.replace_extension(".ini");

  if (path.has_parent_path()) {
    ctx.RunDir = path.parent_path().string() + kSep;
  } else {
    ctx.RunDir = workingDir.string();
    if (ctx.RunDir.empty() || ctx.RunDir.back() != kSep) ctx.RunDir += kSep;
    path = std::filesystem::path(ctx.RunDir + path.string());
  }
  ctx.IniFileName = path.string();
}

}  // namespace

void ReadConfiguration(AppContext& ctx, const std::vector<std::string>& args, const std::filesystem::path& workingDir) {
  if (!args.empty()) ctx.AppName = args[0];
  FindConfigFile(ctx, args, workingDir);
  if (!std::filesystem::exists(ctx.IniFileName)) throw Error(Format("Brak pliku %s", ctx.IniFileName.c_str()));

  IniFile ini(ctx.IniFileName);
  ctx.ConfigWarnings = ini.Warnings();
  ConfigReader r(ini, ctx.IniFileName);
  AppSettings& s = ctx.AppSettings;
  Today today = Now();

  s.NIP = r.ReadRequiredKey("System", "NIP");
  s.Nazwa = r.ReadRequiredKey("System", "Nazwa");
  s.Imie = r.Text("Imie");
  if (!s.Imie.empty()) {
    s.Nazwisko = r.ReadRequiredKey("System", "Nazwisko");
    s.DataUrodzenia = r.ReadDate("DataUrodzenia", today.date.year).value_or(today.date);
    if (s.DataUrodzenia == today.date) {
      throw Error(Format("Brak pola: \"%s = \" w pliku konfiguracyjnym", "DataUrodzenia"));
    }
  }
  s.Email = r.ReadRequiredKey("System", "Email");
  s.Telefon = r.Text("Telefon");
  s.Regon = r.Text("Regon");
  s.Miasto = r.Text("Miasto");
  s.Wojewodztwo = r.Text("Wojewodztwo");
  s.Powiat = r.Text("Powiat");
  s.Gmina = r.Text("Gmina");
  s.Ulica = r.Text("Ulica");
  s.NrDomu = r.Text("NrDomu");
  s.NrLokalu = r.Text("NrLokalu");
  s.KodPocztowy = r.Text("KodPocztowy");
  s.Poczta = r.Text("Poczta");
  s.USCode = r.ReadRequiredKey("System", "USCode");
  s.NazwaSystemu = r.ReadRequiredKey("System", "NazwaSystemu");

  if (auto curDate = r.ReadDate("CurDate", today.date.year)) {
    s.CurDate = *curDate;
    s.CurTimeMsec = 0;
  } else {
    s.CurDate = MonthBefore(today.date);
    s.CurTimeMsec = today.msec;
  }

  s.KXDataDir = r.ReadDirKey("KXDataDir", "-");
  s.RejkoDir = r.ReadDirKey("RejkoDir", "-");
  s.FolvoDir = r.ReadDirKey("FolvoDir", "-");
  bool anyDataDir = !s.KXDataDir.empty() || !s.RejkoDir.empty() || !s.FolvoDir.empty();
  ctx.Session.SetNetFileDir(r.ReadDirKey("NetFileDir", anyDataDir ? "" : "-"));
  if (!ctx.Session.NetFileDir().empty()) ctx.Session.Activate();

  std::string userDirDefault = !s.KXDataDir.empty() ? s.KXDataDir : !s.FolvoDir.empty() ? s.FolvoDir : "-";
  s.UserDir = r.ReadDirKey("UserDir", userDirDefault);
  s.RejkoUserDir = r.ReadDirKey("RejkoUserDir", s.UserDir.empty() ? "-" : s.UserDir);
  s.SaveDir = r.ReadDirKey("SaveDir", "-");
  s.NameSufix = r.Text("NameSufix");
  ctx.SchemaDir = r.ReadDirKey("SchemaDir", "-");

  s.YearKxTbl = r.Flag("YearKxTbl", false);
  s.YearUsrTbl = r.Flag("YearUsrTbl", false);
  s.AdrZipCityFirst = r.Flag("AdrZipCityFirst", false);
  s.RegBySaleDate = r.Flag("RegBySaleDate", false);
  s.AddAnulParag = r.Flag("AddAnulParag", true);
  s.AddValZw2Net = r.Flag("AddValZw2Net", false);
  s.AddNPO2Net = r.Flag("AddNPO2Net", false);
  s.AddFaktMarket = r.Flag("AddFaktMarket", false);
  s.AddCostInvo = r.Flag("AddCostInvo", false);
  s.Zakup2Ex = r.Flag("Zakup2Ex", false);
  s.Sprzedaz2ImpUslugEx = r.Flag("Sprzedaz2ImpUslugEx", false);
  s.ClearEnter = r.Flag("ClearEnter", true);

  s.DowodSprzedazyRO = r.Text("DowodSprzedazyRO", "Raport fiskalny okresowy");
  s.SkadMM = r.Text("SkadMM", "Magazyn Główny");
  s.DokadMM = r.Text("DokadMM", "Magazyn Główny");
  s.Wersja_programu = static_cast<int>(ini.ReadInteger("Sage", "Wersja_programu", 42));
  s.Wersja_szablonu = static_cast<int>(ini.ReadInteger("Sage", "Wersja_szablonu", 3));

  s.SaleDocTypes.reset();
  for (int code : kx::towix::kSaleDocTypes) s.SaleDocTypes.set(static_cast<size_t>(code));
  if (s.AddFaktMarket) s.SaleDocTypes.set(kx::towix::kMarketInvoiceType);
  s.AddressLine = FormatAddress(s.KodPocztowy, s.Miasto, s.Ulica, s.NrDomu, s.NrLokalu, s.AdrZipCityFirst);

  ctx.RejkoAccSet = LoadWordList(workingDir / "RejkoAccSet.txt");
  ctx.CutDict = LoadWordList(workingDir / "CutDict.txt");
}

void ReleaseConfiguration(AppContext& ctx) {
  ctx.CutDict.clear();
  ctx.RejkoAccSet.clear();
  if (!ctx.Session.NetFileDir().empty()) ctx.Session.Deactivate();
}

}  // namespace kx
