// Fuzz target: the configuration file on arbitrary bytes. The bytes are read
// as text directly and as a file is read (UTF-8, UTF-16 with a byte-order
// mark or code page 1250), every key the program knows is looked up, and the
// whole configuration is read as at start from the bytes written into a
// temporary folder. Every input must end in values or kx::Error.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>

#include "app/app_context.h"
#include "app/configuration.h"
#include "app/ini_file.h"
#include "platform/error.h"
#include "platform/text_utils.h"
#include "platform/ui/user_port.h"

namespace {

namespace fs = std::filesystem;

constexpr std::pair<const char*, const char*> kKeys[] = {
    {"System", "NIP"},           {"System", "Nazwa"},
    {"System", "Imie"},          {"System", "Nazwisko"},
    {"System", "DataUrodzenia"}, {"System", "Email"},
    {"System", "Telefon"},       {"System", "Regon"},
    {"System", "Miasto"},        {"System", "Wojewodztwo"},
    {"System", "Powiat"},        {"System", "Gmina"},
    {"System", "Ulica"},         {"System", "NrDomu"},
    {"System", "NrLokalu"},      {"System", "KodPocztowy"},
    {"System", "Poczta"},        {"System", "USCode"},
    {"System", "NazwaSystemu"},  {"System", "CurDate"},
    {"System", "KXDataDir"},     {"System", "RejkoDir"},
    {"System", "FolvoDir"},      {"System", "NetFileDir"},
    {"System", "UserDir"},       {"System", "RejkoUserDir"},
    {"System", "SaveDir"},       {"System", "NameSufix"},
    {"System", "SchemaDir"},     {"System", "YearKxTbl"},
    {"System", "YearUsrTbl"},    {"System", "AdrZipCityFirst"},
    {"System", "RegBySaleDate"}, {"System", "AddAnulParag"},
    {"System", "AddValZw2Net"},  {"System", "AddNPO2Net"},
    {"System", "AddFaktMarket"}, {"System", "AddCostInvo"},
    {"System", "Zakup2Ex"},      {"System", "Sprzedaz2ImpUslugEx"},
    {"System", "ClearEnter"},    {"System", "DowodSprzedazyRO"},
    {"System", "SkadMM"},        {"System", "DokadMM"},
    {"Sage", "Wersja_programu"}, {"Sage", "Wersja_szablonu"},
};

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Lower(std::string_view ascii) {
  std::string s(ascii);
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

// Looks up every key; checks what the reader promises of the values.
void ReadKeys(const kx::IniFile& ini) {
  ini.Warnings();
  for (const auto& [section, key] : kKeys) {
    std::optional<std::string> value = ini.Find(section, key);
    Check(value == ini.Find(Lower(section), Lower(key)));  // names match without regard to case
    Check(ini.ValueExists(section, key) == value.has_value());
    if (value) Check(kx::Trim(*value) == *value);  // no blanks around a value
    ini.ReadString(section, key, "-");
    int64_t n = ini.ReadInteger(section, key, 0);
    // A sign, where one is written, is the sign of the number read.
    if (value && !value->empty() && (*value)[0] == '-') Check(n <= 0);
    if (value && !value->empty() && (*value)[0] != '-') Check(n >= 0);
    ini.ReadBool(section, key, true);
  }
}

// The program's user port is never asked anything while the configuration is read.
class NoQuestionsPort : public kx::ui::UserPort {
 public:
  kx::ui::Button Ask(kx::ui::BoxKind, const std::string&, const std::vector<kx::ui::Button>&, kx::ui::Button) override {
    std::abort();
  }
  void Show(kx::ui::BoxKind, const std::string&) override { std::abort(); }
  std::optional<std::string> ChooseSaveFile(kx::ui::FileDialogState&) override { std::abort(); }
  std::optional<std::string> ChooseOpenFile(kx::ui::FileDialogState&) override { std::abort(); }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { std::abort(); }
  void ShowWait(const std::string&) override { std::abort(); }
  void HideWait() override { std::abort(); }
  void BeginBusy() override { std::abort(); }
  void EndBusy() override { std::abort(); }
};

// A folder of this process, removed with its files when the process exits;
// in memory (/dev/shm) unless TMPDIR says otherwise, as two files are
// written for every input.
class WorkFolder {
 public:
  WorkFolder() {
    std::error_code ec;
    fs::path base = std::getenv("TMPDIR") == nullptr && fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                                                         : fs::temp_directory_path(ec);
    std::string pattern = ((ec ? fs::path("/tmp") : base) / "kx_ini_fuzz.XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    m_path = pattern;
  }
  ~WorkFolder() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::abort();
}

// The configuration as read at start: the file and the word list beside it.
void ReadAtStart(std::string_view bytes) {
  static WorkFolder folder;
  WriteFile(folder.Path() / "firma.ini", bytes);
  WriteFile(folder.Path() / "CutDict.txt", bytes);
  NoQuestionsPort port;
  kx::AppContext ctx(port);
  try {
    kx::ReadConfiguration(ctx, {"/opt/kx2jpk/kx2jpk", "/ini=" + (folder.Path() / "firma").string()}, folder.Path());
  } catch (const kx::Error&) {
  }
  kx::ReleaseConfiguration(ctx);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    ReadKeys(kx::IniFile::FromText(bytes, "fuzz.ini"));
  } catch (const kx::Error&) {
  }
  try {
    ReadKeys(kx::IniFile::FromText(kx::DecodeTextFile(bytes), "fuzz.ini"));
  } catch (const kx::Error&) {
  }
  ReadAtStart(bytes);
  return 0;
}
