// The texts of the Buchalter tables made from a record's names and numbers:
// the sales document number split, the short name with the abbreviation
// dictionary, and the two name lines.

#include "convert/buchalter_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/text_utils.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using kx::convert::DocumentNumber;
using kx::convert::NameLines;
using kx::convert::ShortNameDictionary;

namespace {

struct NumberCase {
  const char* text;
  const char* prefix;
  const char* digits;
  const char* suffix;
};

TEST(BuchalterDocumentNumber, SplitsIntoLettersDigitsAndRest) {
  const NumberCase cases[] = {
      {"FV/123/2025", "FV", "123", "2025"},
      {"FV 15", "FV", "15", ""},
      {"FV15", "FV", "15", ""},
      {"fv/0012/02/2026", "FV", "12", "02/2026"},
      {"123/A/2025", "", "123", "A/2025"},
      {"FV/A/7 /x", "FV", "7", "X"},  // letters after the prefix are skipped up to the digits
      {"Korekta-KFV/7 a", "KOREKTA", "7", "A"},
      {"Łódź/5/ść", "ŁÓDŹ", "5", "ŚĆ"},
      {"FV 000", "FV", "0", ""},
      {"99999999999999999999", "", "99999999999999999999", ""},  // the digits as they are; the field checks the size
      // Without digits the number is 0, never the previous record's.
      {"PARAGONY", "PARAGONY", "0", ""},
      {"", "", "0", ""},
      // The fiscal report is split as FISK.
      {"Raport fiskalny okresowy", "FISK", "0", ""},
      {"RAPORT FISKALNY OKRESOWY", "FISK", "0", ""},
      {"Raport fiskalny okresowy 5", "RAPORT", "5", ""},
  };
  for (const NumberCase& c : cases) {
    const DocumentNumber n = kx::convert::SplitDocumentNumber(c.text);
    EXPECT_EQ(n.prefix, c.prefix) << c.text;
    EXPECT_EQ(n.digits, c.digits) << c.text;
    EXPECT_EQ(n.suffix, c.suffix) << c.text;
  }
}

TEST(BuchalterDocumentNumber, FiscalReportInAnyLetterCase) {
  EXPECT_TRUE(kx::convert::IsFiscalReport("Raport fiskalny okresowy"));
  EXPECT_TRUE(kx::convert::IsFiscalReport("raport FISKALNY okresowy"));
  EXPECT_FALSE(kx::convert::IsFiscalReport("Raport fiskalny"));
  EXPECT_FALSE(kx::convert::IsFiscalReport("Raport fiskalny okresowy 5"));
}

struct ShortNameCase {
  const char* name;
  const char* shortName;
};

TEST(BuchalterShortName, WithoutDictionaryTheCleanedNameInUpperCase) {
  const ShortNameDictionary none({});
  const ShortNameCase cases[] = {
      {"Sklep \"Pod Lipą\" s.c.", "SKLEP POD LIPĄ S.C."},
      {"  Jan / Nowak [oddział]  ", "JAN NOWAK ODDZIAŁ"},
      {"Kowalska - Nowak", "KOWALSKA-NOWAK"},
      {"Nowak\nKowalski", "NOWAK KOWALSKI"},
      // Leading initials are joined when there are more than two of them.
      {"P.P.H.U. Jan Kowalski", "PPHU JAN KOWALSKI"},
      {"P. P. H. U. Kowalski", "PPHU KOWALSKI"},
      {"P.H.U.Nowak", "PHU NOWAK"},
      {"F.H. Nowak", "F.H. NOWAK"},  // two places only
      {"A.B.C.", "ABC"},
      // Company forms, the full stops of the patterns standing for any letter.
      {"Mleczarnia Łąka Spółka z ograniczoną odpowiedzialnością", "MLECZARNIA ŁĄKA SP.ZOO"},
      {"Nowak SPÓŁKA KOMANDYTOWA", "NOWAK SP.K."},
      {"Mleczarnia Łąka Sp. z o.o.", "MLECZARNIA ŁĄKA SP. Z O.O."},
      {"", ""},
  };
  for (const ShortNameCase& c : cases) EXPECT_EQ(none.ShortName(c.name), c.shortName) << c.name;
}

TEST(BuchalterShortName, LeadingWordsAbbreviatedByTheirEntries) {
  const ShortNameDictionary dictionary({"Przedsi[eę]biorstw[oa]", "Handlow[eoay]", "Us[lł]ugow[eoay]", "Zak[lł]ad",
                                        "HURTowni[ae]", "sklep", "Sp\\. z o\\.o\\."});
  const ShortNameCase cases[] = {
      // Each matching word gives the entry's leading capitals; the first word
      // that matches no entry brings the rest of the name, after a blank.
      {"Przedsiębiorstwo Handlowe Żuraw", "PH ŻURAW"},
      {"PRZEDSIĘBIORSTWO handlowo-USŁUGOWE Kowalski", "PHU KOWALSKI"},
      {"Zakład Handlowy", "ZH"},
      // Two or more capitals followed by more of the entry end with a full stop,
      // and no blank follows it.
      {"Hurtownia Owoców Sadownik", "HURT.OWOCÓW SADOWNIK"},
      // An entry without capitals removes its word.
      {"Sklep Handlowy Nowak", "H NOWAK"},
      // The rest of the name starting with no letter: no blank.
      {"Zakład 2000", "Z2000"},
      {"Zakład-Nowak", "Z-NOWAK"},
      // An entry is matched at the start of a word only.
      {"Nowak Handlowy", "NOWAK HANDLOWY"},
      // Names are split at blanks and hyphens, so an entry with a blank matches no word.
      {"Sp. z o.o. Nowak", "SP. Z O.O. NOWAK"},
  };
  for (const ShortNameCase& c : cases) EXPECT_EQ(dictionary.ShortName(c.name), c.shortName) << c.name;
}

TEST(BuchalterShortName, DemoFirmDictionaryShortensItsContractors) {
  const std::string text = kxtest::ReadFile(kxtest::SourceDir() / "data" / "demo" / "CutDict.txt");
  std::vector<std::string> entries;
  for (const std::string& line : kx::SplitLines(kx::DecodeTextFile(text))) {
    if (!line.empty()) entries.push_back(line);
  }
  const ShortNameDictionary dictionary(entries);
  const ShortNameCase cases[] = {
      {"Przedsiębiorstwo Handlowe Żuraw", "PH ŻURAW"},
      {"Zakład Przetwórstwa Rybnego Bałtyk", "ZP RYBNEGO BAŁTYK"},
      {"Hurtownia Owoców Sadownik", "HURT.OWOCÓW SADOWNIK"},
      {"Przedsiębiorstwo Handlowo-Usługowe Nowak", "PHU NOWAK"},
      {"Piekarnia Kłos", "PIEKARNIA KŁOS"},
  };
  for (const ShortNameCase& c : cases) EXPECT_EQ(dictionary.ShortName(c.name), c.shortName) << c.name;
  // Every entry shortens some word: none holds a blank or a hyphen.
  for (const std::string& entry : entries) {
    EXPECT_EQ(entry.find_first_of(" -"), std::string::npos) << entry;
  }
}

TEST(BuchalterShortName, InvalidEntryNamedInTheError) {
  try {
    ShortNameDictionary({"Zak[lł]ad", "Hurt(ownia"});
    FAIL() << "no error";
  } catch (const kx::Error& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("CutDict.txt"), std::string::npos) << message;
    EXPECT_NE(message.find("wpis 2"), std::string::npos) << message;
    EXPECT_NE(message.find("Hurt(ownia"), std::string::npos) << message;
  }
}

struct LinesCase {
  std::string name;
  std::string first;
  std::string rest;
};

TEST(BuchalterNameLines, BrokenAtSeventyColumns) {
  const std::string a60(60, 'a');
  const std::string A60(60, 'A');
  const std::string a70(70, 'a');
  const std::string A70(70, 'A');
  const std::string A75(75, 'A');
  const LinesCase cases[] = {
      {"Sklep Pod Lipą", "SKLEP POD LIPĄ", ""},
      {a70, A70, ""},
      // 70 Polish letters are 70 characters, not bytes.
      {[] {
         std::string s;
         for (int i = 0; i < 70; ++i) s += "ż";
         return s;
       }(),
       [] {
         std::string s;
         for (int i = 0; i < 70; ++i) s += "Ż";
         return s;
       }(),
       ""},
      // After the last blank within 70 columns; the rest is the whole rest of the name.
      {a60 + " bbbbbbbb ccccc ddddd eeeee", A60 + " BBBBBBBB", "CCCCC DDDDD EEEEE"},
      // A break right after the 70th column comes too late: the line ends at the one before.
      {a60 + " bbbbbbbbb ccccc", A60, "BBBBBBBBB CCCCC"},
      {a60 + " bbbbbbbbbbbbbbbbbbbbbb", A60, "BBBBBBBBBBBBBBBBBBBBBB"},
      // After a hyphen: the hyphen stays on the first line, no blank is added.
      {a60 + "-bbbbbbbbbbbbbbbb", A60 + "-", "BBBBBBBBBBBBBBBB"},
      // Blanks around the break are dropped.
      {a60 + "    bbbbbbbbbbbbbbbb", A60, "BBBBBBBBBBBBBBBB"},
      // Never inside quotation marks: before the quoted text.
      {"aaa \"" + std::string(70, 'q') + " q\" bbb", "AAA", "\"" + std::string(70, 'Q') + " Q\" BBB"},
      // No break within 70 columns: after the first one that comes.
      {std::string(75, 'a') + " nowak", A75, "NOWAK"},
      // No break at all: the whole name on the first line.
      {std::string(80, 'a'), std::string(80, 'A'), ""},
      // A "#" in the name is the name's own character, not a line break.
      {a60 + " #12 bbbbbbbbbbbbbbbb", A60 + " #12", "BBBBBBBBBBBBBBBB"},
  };
  for (const LinesCase& c : cases) {
    const NameLines lines = kx::convert::SplitNameLines(c.name);
    EXPECT_EQ(lines.first, c.first) << c.name;
    EXPECT_EQ(lines.rest, c.rest) << c.name;
  }
}

}  // namespace
