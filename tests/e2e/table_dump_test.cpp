// kx2jpk-cli table dump and query, run as a user runs them: every real
// Paradox and dBase table of the shared real data is dumped and compared
// field by field with its independent ground truth (expected.json); tables
// written by another program (python3-dbf) in a temporary folder are dumped
// and compared with the values that program was given.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "fixtures/table_builder.h"
#include "platform/tables/codepage.h"
#include "platform/tables/md5.h"
#include "support/run_cli.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kx::tables;
using kxtest::RunCli;
using nlohmann::json;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// RFC 4180: fields separated by ",", quoted when they hold "," '"' CR or LF,
// lines ended by CRLF. Fails the test on anything else.
Rows ParseCsv(const std::string& text) {
  Rows rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, wasQuoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"' && field.empty() && !wasQuoted) {
      quoted = wasQuoted = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
      wasQuoted = false;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      row.push_back(std::move(field));
      rows.push_back(std::move(row));
      row.clear();
      field.clear();
      wasQuoted = false;
      ++i;
    } else {
      EXPECT_FALSE(wasQuoted) << "text after a closing quote at byte " << i;
      EXPECT_TRUE(c != '\r' && c != '\n' && c != '"') << "unquoted CR, LF or quote at byte " << i;
      field += c;
    }
  }
  EXPECT_FALSE(quoted) << "unterminated quote";
  EXPECT_TRUE(row.empty() && field.empty()) << "the last line has no CRLF";
  for (const auto& r : rows) EXPECT_EQ(r.size(), rows.front().size()) << "rows of different lengths";
  return rows;
}

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t k = 0; k + 1 < hex.size(); k += 2) out += static_cast<char>(std::stoi(hex.substr(k, 2), nullptr, 16));
  return out;
}

std::string Binary(size_t size, const std::string& md5) {
  return "<" + std::to_string(size) + " bytes md5 " + md5 + ">";
}

size_t Utf8Chars(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// "" when the number in the cell is the expected one.
std::string NumberMismatch(const std::string& cell, double want) {
  char* end = nullptr;
  double got = std::strtod(cell.c_str(), &end);
  if (cell.empty() || *end != '\0') return "not a number: \"" + cell + "\"";
  if (std::fabs(got - want) > 1e-12 * std::max(1.0, std::fabs(want))) {
    return "got " + cell + ", want " + json(want).dump();
  }
  return {};
}

std::string TextMismatch(const std::string& cell, const std::string& want) {
  if (cell == want) return {};
  size_t same = 0;
  while (same < cell.size() && same < want.size() && cell[same] == want[same]) ++same;
  return "got " + std::to_string(cell.size()) + " bytes, want " + std::to_string(want.size()) + ", equal up to " +
         std::to_string(same) + ": got \"" + cell.substr(same, 40) + "\" want \"" + want.substr(same, 40) + "\"";
}

struct RealTable {
  std::string set, file;
  json truth;
  std::string Id() const { return set + "/" + file; }
};

std::vector<RealTable> LoadSets(const std::string& format) {
  std::vector<RealTable> out;
  fs::path root = kxtest::SharedDir() / "realdata" / format;
  std::vector<fs::path> sets;
  for (const auto& e : fs::directory_iterator(root)) {
    if (fs::exists(e.path() / "expected.json")) sets.push_back(e.path());
  }
  std::sort(sets.begin(), sets.end());
  for (const auto& dir : sets) {
    std::ifstream in(dir / "expected.json");
    json doc = json::parse(in);
    for (auto& [file, truth] : doc["tables"].items()) out.push_back({dir.filename().string(), file, truth});
  }
  return out;
}

std::string CaseName(const RealTable& t) {
  std::string name = t.Id();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

// Code page numbers of the ground truth's Python codec names (0: none).
int CodePageOf(const std::string& codec) {
  if (codec == "gbk") return 936;
  if (codec == "utf-8") return 65001;
  if (codec.rfind("cp", 0) == 0) return std::stoi(codec.substr(2));
  return 0;
}

kxtest::CliResult Dump(const fs::path& table, std::vector<std::string> extra = {}) {
  std::vector<std::string> args{"table", "dump", table.string()};
  args.insert(args.end(), extra.begin(), extra.end());
  return RunCli(args);
}

// --- Paradox ---------------------------------------------------------------

const std::vector<RealTable>& ParadoxTables() {
  static const std::vector<RealTable> tables = LoadSets("paradox");
  return tables;
}

// "" when the CSV cell shows the ground-truth value of a field of this type.
std::string ParadoxMismatch(char type, const json& want, const std::string& cell, int codePage) {
  if (want.is_null()) return cell.empty() ? "" : "got \"" + cell + "\", want null";
  switch (type) {
    case 'A': return codePage ? TextMismatch(cell, want.get<std::string>()) : "";  // see RomanEight
    case 'S':
    case 'I':
    case '+': return cell == std::to_string(want.get<int64_t>()) ? "" : "got " + cell + ", want " + want.dump();
    case 'N':
    case '$': return NumberMismatch(cell, want.get<double>());
    case 'L': return cell == (want.get<bool>() ? "true" : "false") ? "" : "got " + cell;
    case 'D':
      // The ground truth counts years before 1 without a year 0 (2 BC is
      // -2); ours are astronomical (2 BC is -1).
      return TextMismatch(cell, want == "-002-12-31" ? "-001-12-31" : want.get<std::string>());
    case 'T': return TextMismatch(cell, want.get<std::string>());
    case '@':
      // Before year 1 the ground truth rounds the day towards zero and shows
      // the rest as a negative time: 1 January of 1 BC minus 23 hours is
      // 01:00 on 31 December of the astronomical year -1.
      return TextMismatch(cell, want == "-001-01-01 -23:00:00" ? "-001-12-31 01:00:00" : want.get<std::string>());
    case '#': {
      std::string text = want.get<std::string>();
      // A null BCD (no value bit, zero digits) reads there as invalid digits.
      if (text.find("??????") != std::string::npos) return cell.empty() ? "" : "got " + cell + ", want null";
      if (text.find_first_not_of("-0123456789.") == std::string::npos) return NumberMismatch(cell, std::stod(text));
      // Nibbles above 9 printed as ";:>?": the values the table's own driver
      // tests expect (SOURCE.json).
      static const std::map<std::string, double> kKnown = {{"0.1229999999999999980;00>00000;?4:", 0.123},
                                                           {"-0.1229999999999999980;00>00000;?4:", -0.123},
                                                           {"0.9999000000000000118:00>00000>?4:", 0.9999}};
      auto it = kKnown.find(text);
      return it == kKnown.end() ? "unknown BCD text " + text : NumberMismatch(cell, it->second);
    }
    case 'Y': {
      std::string bytes = Unhex(want["hex"]);
      return TextMismatch(cell, Binary(bytes.size(), Md5Hex(bytes)));
    }
    case 'M':
    case 'F': {
      // Memo text: the ground truth gives the stored bytes' size and MD5 and
      // the decoded start.
      std::string start = want["text_start"];
      if (cell.compare(0, start.size(), start) != 0)
        return "text start: " + TextMismatch(cell.substr(0, start.size()), start);
      std::string raw = FromUtf8(cell, codePage);
      if (raw.size() != want["size"].get<size_t>() || Md5Hex(raw) != want["md5"].get<std::string>()) {
        return "stored bytes differ: " + std::to_string(raw.size()) + " bytes, want " + want["size"].dump();
      }
      return {};
    }
    default:  // B O G (Graphic without its 8-byte prefix on both sides)
      return TextMismatch(cell, Binary(want["size"].get<size_t>(), want["md5"].get<std::string>()));
  }
}

class ParadoxDump : public ::testing::TestWithParam<size_t> {};

TEST_P(ParadoxDump, MatchesGroundTruth) {
  const RealTable& t = ParadoxTables()[GetParam()];
  const json& truth = t.truth;
  fs::path path = kxtest::SharedDir() / "realdata" / "paradox" / t.set / t.file;
  int codec = CodePageOf(truth["text_decoded_with"].get<std::string>());
  std::vector<std::string> extra;
  if (codec != 0 && codec != truth["code_page"].get<int>()) extra = {"--codepage", std::to_string(codec)};
  auto r = Dump(path, extra);

  if (truth["encryption_field"].get<int64_t>() != 0) {
    // Password-protected tables are refused, naming the table.
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_THAT(r.err, HasSubstr("hasłem"));
    EXPECT_THAT(r.err, HasSubstr(t.file));
    return;
  }
  bool memoMissing = false;
  for (const auto& rec : truth["first_records"]) {
    for (const auto& [name, v] : rec.items()) memoMissing |= v.is_object() && v.contains("unread");
  }
  if (memoMissing) {
    // Memos kept in a missing .mb file are not shown as empty: the dump
    // fails and names the file it lacks.
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.err, HasSubstr(".MB"));
    return;
  }
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  Rows rows = ParseCsv(r.out);
  ASSERT_FALSE(rows.empty()) << "no header line";
  const json& fields = truth["fields"];
  ASSERT_EQ(rows[0].size(), fields.size());
  for (size_t k = 0; k < fields.size() && codec != 0; ++k) EXPECT_EQ(rows[0][k], fields[k]["name"].get<std::string>());
  ASSERT_EQ(rows.size() - 1, truth["num_records"].get<size_t>());

  // The ground truth lists records in block-chain order; the dump prints a
  // keyed table in key order, so a keyed table's records are matched to the
  // dump row that agrees best. A table without key prints in chain order.
  const bool keyed = truth["primary_key_fields"].get<int>() > 0;
  for (size_t i = 0; i < truth["first_records"].size(); ++i) {
    const json& want = truth["first_records"][i];
    auto mismatches = [&](const std::vector<std::string>& row) {
      std::vector<std::string> out;
      for (size_t k = 0; k < fields.size(); ++k) {
        std::string m = ParadoxMismatch(fields[k]["type"].get<std::string>()[0],
                                        want[fields[k]["name"].get<std::string>()], row[k], codec);
        if (!m.empty()) out.push_back(fields[k]["name"].get<std::string>() + ": " + m);
      }
      return out;
    };
    size_t best = i + 1;
    std::vector<std::string> bestMismatches = mismatches(rows[best]);
    for (size_t row = 1; keyed && !bestMismatches.empty() && row < rows.size(); ++row) {
      auto m = mismatches(rows[row]);
      if (m.size() < bestMismatches.size()) best = row, bestMismatches = m;
    }
    for (const auto& m : bestMismatches)
      ADD_FAILURE() << t.Id() << " record " << i << " (dump row " << best << ") " << m;
  }
}

std::string ParadoxCaseName(const ::testing::TestParamInfo<size_t>& param) {
  return CaseName(ParadoxTables()[param.param]);
}

INSTANTIATE_TEST_SUITE_P(RealData, ParadoxDump, ::testing::Range<size_t>(0, ParadoxTables().size()), ParadoxCaseName);

TEST(ParadoxDumpSpecial, RomanEightTextKeepsItsBytes) {
  // ROMAN8.db holds HP Roman-8 text, which has no code page number. Read as
  // cp437, the dump shows each stored byte as its cp437 character: the bytes
  // of "Š½ƒ¶", the ground truth's value, in HP Roman-8.
  auto r = Dump(kxtest::SharedDir() / "realdata" / "paradox" / "paradoxdriver-db" / "ROMAN8.db", {"--codepage", "437"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Rows rows = ParseCsv(r.out);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"A"}));
  EXPECT_EQ(FromUtf8(rows[1][0], 437), "\xEB\xF8\xBE\xF4");
}

// --- dBase -----------------------------------------------------------------

const std::vector<RealTable>& DbaseTables() {
  static const std::vector<RealTable> tables = LoadSets("dbase");
  return tables;
}

// dBase IV memo files: the ground truth reads their memos 8 bytes too long
// (the length counts the block header) and cuts text at the first 0x1F.
bool IsDbaseFourMemo(const json& truth, char type) {
  int version = std::stoi(truth["version_byte"].get<std::string>(), nullptr, 16);
  const json& memo = truth["dbfread"].value("memo_file", json());
  std::string file = memo.is_string() ? memo.get<std::string>() : "";
  bool dbt = file.size() > 4 && (file.substr(file.size() - 4) == ".dbt" || file.substr(file.size() - 4) == ".DBT");
  return dbt && version != 0x83 && (type == 'M' || type == 'B' || type == 'G');
}

std::string DbaseMismatch(const json& truth, char type, const json& want, const std::string& cell, int codePage,
                          const json& raw) {
  if (want.is_null()) return cell.empty() ? "" : "got \"" + cell + "\", want null";
  if (want.is_boolean()) return cell == (want.get<bool>() ? "true" : "false") ? "" : "got " + cell;
  if (want.is_number()) return NumberMismatch(cell, want.get<double>());
  bool fourMemo = IsDbaseFourMemo(truth, type);
  if (want.is_string()) {
    std::string text = want;
    if (type == 'T' || type == '@') return TextMismatch(cell, text.substr(0, 19));  // the dump shows whole seconds
    if (text.find("\xEF\xBF\xBD") != std::string::npos && raw.is_string()) {
      // The ground truth could not decode these bytes (no code page known):
      // the dump's text must give back the stored bytes.
      std::string bytes = Unhex(raw);
      while (!bytes.empty() && (bytes.back() == ' ' || bytes.back() == '\0')) bytes.pop_back();
      return TextMismatch(FromUtf8(cell, codePage), bytes);
    }
    if (fourMemo) {
      size_t cut = cell.find('\x1F');
      if (cut != std::string::npos) return TextMismatch(cell.substr(0, cut), text);
      if (text.compare(0, cell.size(), cell) != 0 || text.size() > cell.size() + 8) return TextMismatch(cell, text);
      return {};
    }
    return TextMismatch(cell, text);
  }
  if (want.contains("md5_utf8")) {
    std::string text = cell;
    if (fourMemo) {
      size_t cut = cell.find('\x1F');
      if (cut == std::string::npos) {
        std::string start = want["text_start"];
        size_t chars = Utf8Chars(cell), wantChars = want["size_chars"];
        bool prefix =
            cell.compare(0, std::min(cell.size(), start.size()), start, 0, std::min(cell.size(), start.size())) == 0;
        return prefix && chars <= wantChars && chars + 8 >= wantChars ? "" : "memo differs beyond the known misreading";
      }
      text = cell.substr(0, cut);
    }
    if (Utf8Chars(text) != want["size_chars"].get<size_t>() || Md5Hex(text) != want["md5_utf8"].get<std::string>()) {
      return "memo of " + std::to_string(Utf8Chars(text)) + " characters, want " + want["size_chars"].dump();
    }
    return {};
  }
  if (want.contains("md5")) {
    size_t size = want["size"];
    if (fourMemo) {
      // Bitmaps whose length the ground truth misreads; the reader's own
      // tests check that each one is a whole BMP file.
      return cell.rfind("<", 0) == 0 && cell.find(" bytes md5 ") != std::string::npos ? ""
                                                                                      : "not a binary value: " + cell;
    }
    return TextMismatch(cell, Binary(size, want["md5"].get<std::string>()));
  }
  return "unexpected ground truth " + want.dump();
}

// Tables the ground truth cannot read, or reads wrongly as a whole; each has
// its own test below.
const std::set<std::string> kDbaseSpecial = {
    // clang-format off
    "infused-dbf/dbase_02.dbf",           "infused-dbf/dbase_8c.dbf",          "php-xbase/dBase/dBaseVII.dbf",
    "php-xbase/dBase/dBaseVII_double.dbf", "php-xbase/dBase/dBaseVII_int.dbf", "php-xbase/dBase/dBaseVII_ts.dbf",
    "php-xbase/foxpro/vfp.dbf",           "dbfdatareader/FolderRoot.dbf",      "php-xbase/socios.dbf",
    "polish-prg/powiaty.dbf",             "infused-dbf/mazovia.dbf",           "infused-dbf/dbase_83_missing_memo.dbf",
    // clang-format on
};

class DbaseDump : public ::testing::TestWithParam<size_t> {};

TEST_P(DbaseDump, MatchesGroundTruth) {
  const RealTable& t = DbaseTables()[GetParam()];
  const json& truth = t.truth;
  fs::path path = kxtest::SharedDir() / "realdata" / "dbase" / t.set / t.file;
  std::vector<std::string> extra;
  int codePage = 0;
  fs::path cpg = path;
  cpg.replace_extension(".cpg");
  if (truth.contains("encoding_override") && truth["encoding_override"]["encoding"].is_string() && !fs::exists(cpg)) {
    codePage = CodePageOf(truth["encoding_override"]["encoding"]);
    extra = {"--codepage", std::to_string(codePage)};
  }
  if (codePage == 0) {
    std::string used = truth["dbfread"].value("encoding_used", "");
    codePage = used == "ascii" || used.empty() ? 852 : CodePageOf(used);  // no code page: the Polish DOS default
  }
  auto r = Dump(path, extra);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Rows rows = ParseCsv(r.out);
  ASSERT_FALSE(rows.empty());

  std::vector<json> fields;
  for (const auto& f : truth["fields"]) {
    if (f["type"] != "0") fields.push_back(f);  // _NullFlags is not a field users see
  }
  ASSERT_EQ(rows.size() - 1, truth["dbfread"]["live_records"].get<size_t>());
  if (fields.empty()) {
    // A table without fields prints an empty line per record.
    for (const auto& row : rows) EXPECT_EQ(row, std::vector<std::string>{""});
    return;
  }
  ASSERT_EQ(rows[0].size(), fields.size());
  for (size_t k = 0; k < fields.size(); ++k) EXPECT_EQ(rows[0][k], fields[k]["name"].get<std::string>());

  const json& records = truth["first_records"];
  const json raws = truth.value("first_records_nonascii_raw_hex", json::array());
  for (size_t i = 0; i < records.size(); ++i) {
    for (size_t k = 0; k < fields.size(); ++k) {
      std::string name = fields[k]["name"];
      char type = fields[k]["type"].get<std::string>()[0];
      const std::string& cell = rows[i + 1][k];
      std::string where = t.Id() + " record " + std::to_string(i) + " " + name + ": ";
      if (t.Id() == "php-xbase/foxpro/issue115.dbf" && name == "MASINA" && i > 0) {
        // The ground truth ignores _NullFlags; bit 5 of 0x20 marks MASINA null.
        EXPECT_EQ(cell, "") << where;
        continue;
      }
      if (t.Id() == "infused-dbf/dbase_32.dbf" && name == "NAME") {
        // The ground truth ignores the varchar length kept in the record.
        EXPECT_EQ(cell, "Bad Meets Evil") << where;
        continue;
      }
      json raw = i < raws.size() && raws[i].contains(name) ? raws[i][name] : json();
      std::string m = DbaseMismatch(truth, type, records[i][name], cell, codePage, raw);
      EXPECT_EQ(m, "") << where;
    }
  }
}

std::string DbaseCaseName(const ::testing::TestParamInfo<size_t>& param) {
  return CaseName(DbaseTables()[param.param]);
}

std::vector<size_t> DbaseWithGroundTruth() {
  std::vector<size_t> out;
  for (size_t i = 0; i < DbaseTables().size(); ++i) {
    if (!kDbaseSpecial.count(DbaseTables()[i].Id())) out.push_back(i);
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(RealData, DbaseDump, ::testing::ValuesIn(DbaseWithGroundTruth()), DbaseCaseName);

fs::path DbaseFile(const std::string& rel) { return kxtest::SharedDir() / "realdata" / "dbase" / rel; }

TEST(DbaseDumpSpecial, TablesWithoutGroundTruthValues) {
  // No independent reader decodes these (dBase II, dBase 7, unknown field
  // types); the dump must read them whole, with the rows the file holds.
  struct Case {
    const char* table;
    size_t rows;
    const char* firstRow;  // "" when not checked
  } cases[] = {
      {"php-xbase/dBase/dBaseVII_int.dbf", 6, "1"},
      {"php-xbase/dBase/dBaseVII_double.dbf", 5, "-199.99"},
      {"php-xbase/dBase/dBaseVII_ts.dbf", 9, "1900-01-01 00:00:00"},  // six records deleted
      {"php-xbase/foxpro/vfp.dbf", 3, ""},
      {"dbfdatareader/FolderRoot.dbf", 9, ""},
  };
  for (const auto& c : cases) {
    auto r = Dump(DbaseFile(c.table));
    ASSERT_EQ(r.exitCode, 0) << c.table << ": " << r.err;
    Rows rows = ParseCsv(r.out);
    ASSERT_EQ(rows.size(), c.rows + 1) << c.table;
    if (*c.firstRow) {
      EXPECT_EQ(rows[1][0], c.firstRow) << c.table;
    }
  }

  // php-xbase wrote the same rows as dBase III and as dBase 7.
  Rows three = ParseCsv(Dump(DbaseFile("php-xbase/dBase/dBaseIII.dbf")).out);
  Rows seven = ParseCsv(Dump(DbaseFile("php-xbase/dBase/dBaseVII.dbf")).out);
  ASSERT_EQ(three.size(), 4u);
  ASSERT_EQ(seven.size(), 4u);
  for (const char* name : {"NAME", "BIRTHDAY", "IS_MAN", "MONEY"}) {
    size_t a = std::find(three[0].begin(), three[0].end(), name) - three[0].begin();
    size_t b = std::find(seven[0].begin(), seven[0].end(), name) - seven[0].begin();
    ASSERT_LT(a, three[0].size()) << name;
    ASSERT_LT(b, seven[0].size()) << name;
    for (size_t r = 1; r < 4; ++r) EXPECT_EQ(seven[r][b], three[r][a]) << name << " row " << r;
  }
}

TEST(DbaseDumpSpecial, DbaseTwoEmptyNumbers) {
  // dBase II leaves an empty number as blanks around the decimal point
  // ("    .   " in START:PAY of the last two records): no value, not an
  // error. No independent reader decodes dBase II.
  auto r = Dump(DbaseFile("infused-dbf/dbase_02.dbf"));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Rows rows = ParseCsv(r.out);
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_EQ(rows[0].back(), "START:PAY");
  EXPECT_EQ(rows[1].back(), "6");
  EXPECT_EQ(rows[1][1], "Stegman");
  EXPECT_EQ(rows[8].back(), "");
  EXPECT_EQ(rows[9].back(), "");
}

TEST(DbaseDumpSpecial, MazoviaTableWithZeroDeletionFlags) {
  // Both records are live although their flag byte is 0x00; decoded with the
  // Mazovia letter table (realdata/README.md).
  auto r = Dump(DbaseFile("infused-dbf/mazovia.dbf"));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Rows rows = ParseCsv(r.out);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"2020-01-04", "English"}));
  EXPECT_EQ(rows[2][1], "Ś╫êëτ⌡ś");
}

TEST(DbaseDumpSpecial, UnreadableTablesFailWithTheirNames) {
  struct Case {
    const char* table;
    std::vector<const char*> message;
  } cases[] = {
      // Field widths that do not add up to the record length.
      {"polish-prg/powiaty.dbf", {"powiaty.dbf"}},
      // "1,200.00" in a number field: an amount is never guessed.
      {"php-xbase/socios.dbf", {"socios.dbf", "SALARIO"}},
      // Memos kept in a missing memo file are not shown as empty.
      {"infused-dbf/dbase_83_missing_memo.dbf", {"dbase_83_missing_memo.dbf", "DESC"}},
      {"infused-dbf/dbase_8c.dbf", {"dbase_8c.dbf", "Description"}},  // dBase 7; its .dbt is not in the set
  };
  for (const auto& c : cases) {
    auto r = Dump(DbaseFile(c.table));
    EXPECT_EQ(r.exitCode, 1) << c.table;
    for (const char* part : c.message) EXPECT_THAT(r.err, HasSubstr(part)) << c.table;
  }
}

// --- Tables written by another program --------------------------------------

// python3-dbf writes the tables and, beside them, the values it was given in
// the form the dump shows them.
const char* kPythonWriter = R"PY(
import datetime, json, os, sys
import dbf

out = sys.argv[1]
expected = {}

def write(name, layout, dbf_type, codepage, rows, deleted=()):
    t = dbf.Table(os.path.join(out, name), layout, dbf_type=dbf_type, codepage=codepage)
    t.open(dbf.READ_WRITE)
    for row in rows:
        t.append(row)
    for i in deleted:
        with t[i] as r:
            dbf.delete(r)
    t.close()
    shown = []
    for i, row in enumerate(rows):
        if i in deleted:
            continue
        cells = []
        for v in row:
            if v is None: cells.append(None)
            elif isinstance(v, bool): cells.append('true' if v else 'false')
            elif isinstance(v, datetime.datetime): cells.append(v.strftime('%Y-%m-%d %H:%M:%S'))
            elif isinstance(v, datetime.date): cells.append('%04d-%02d-%02d' % (v.year, v.month, v.day))
            elif isinstance(v, str): cells.append(v.rstrip(' '))
            else: cells.append(v)
        shown.append(cells)
    expected[name] = {'fields': [f.split()[0] for f in layout.split(';')], 'rows': shown}

write('towary.dbf', 'ID I; NAZWA C(30); ILOSC B; KIEDY T; UWAGI M; WAGA N(10,3); OK L; DZIEN D', 'vfp', 'cp1250', [
    (1, 'Śruba M6 "ocynk", 100 szt.', 2.5, datetime.datetime(2024, 5, 31, 23, 59, 58), 'Linia 1\r\nLinia 2, ąę', 1.125, True, datetime.date(2024, 5, 1)),
    (-7, 'Kołek (usunięty)', -0.001, datetime.datetime(2024, 1, 1), 'skasowany', -0.5, False, datetime.date(2024, 1, 2)),
    (2147483646, '', 1e300, datetime.datetime(1900, 1, 1, 0, 0, 0), 'x' * 3000, 0, False, datetime.date(1, 1, 1)),
], deleted=(1,))
write('kontrah.dbf', 'NAZWA C(40); MIASTO C(25); SALDO N(14,2); OD D; AKTYWNY L; NOTATKA M', 'db3', 'cp852', [
    ('Zakład Usług Żeglugowych', 'Świnoujście', -1234567.89, datetime.date(1999, 12, 31), True, 'Żółw ' * 300 + 'koniec'),
    ('Nazwa  z  odstępami', 'Łódź', 0.01, None, None, ''),
])
write('pusta.dbf', 'KOD C(5); ILE N(5,0)', 'db3', 'cp1250', [])
write('dlugie.dbf', 'NR N(6,0); OPIS C(20); KWOTA F(12,4); DATA D; UWAGA M', 'fp', 'cp1250', [
    (i, 'Pozycja nr %d ąę' % i, i * 1.0625 - 500, datetime.date(2020, 1, 1) + datetime.timedelta(days=i),
     'notatka %d' % i if i % 100 == 0 else '') for i in range(2500)
])
json.dump(expected, open(os.path.join(out, 'expected.json'), 'w'), ensure_ascii=False)
)PY";

TEST(OtherProgramTables, DumpShowsTheValuesWritten) {
  if (std::system("/usr/bin/python3 -c 'import dbf' 2>/dev/null") != 0) GTEST_SKIP() << "python3-dbf is not installed";
  kxtest::TempDir dir;
  fs::path script = dir.Write("write_tables.py", kPythonWriter);
  std::string command = "/usr/bin/python3 '" + script.string() + "' '" + dir.Path().string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  json expected = json::parse(kxtest::ReadFile(dir / "expected.json"));
  ASSERT_EQ(expected.size(), 4u);
  for (auto& [name, table] : expected.items()) {
    SCOPED_TRACE(name);
    // The name without extension finds the file too.
    auto r = Dump(dir / fs::path(name).stem());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Rows rows = ParseCsv(r.out);
    ASSERT_FALSE(rows.empty());
    std::vector<std::string> header;
    for (const auto& f : table["fields"]) header.push_back(f);
    EXPECT_EQ(rows[0], header);
    ASSERT_EQ(rows.size() - 1, table["rows"].size());
    for (size_t i = 0; i < table["rows"].size(); ++i) {
      for (size_t k = 0; k < header.size(); ++k) {
        const json& want = table["rows"][i][k];
        const std::string& cell = rows[i + 1][k];
        std::string where = "row " + std::to_string(i) + " " + header[k];
        if (want.is_number()) {
          EXPECT_EQ(NumberMismatch(cell, want.get<double>()), "") << where;
        } else if (want.is_null()) {
          EXPECT_EQ(cell, "") << where;
        } else {
          EXPECT_EQ(TextMismatch(cell, want.get<std::string>()), "") << where;
        }
      }
    }
  }
}

// --- Options, output form and failures --------------------------------------

class DumpOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    kxtest::TableBuilder("Rejestr VAT")
        .Field("Nr", FieldKind::Integer)
        .Field("Period Id", FieldKind::Integer)
        .Field("Date", FieldKind::Date)
        .Field("Name", FieldKind::Text, 30)
        .Field("Netto", FieldKind::Number)
        .Key(1)
        .Row({3, 12405, Date{2024, 5, 31}, "Sklep \"Pod Lipą\", Kraków", 100.5})
        .Row({1, 12405, Date{2024, 5, 1}, "Łódź", nullptr})
        .Row({2, 12410, Date{2024, 6, 1}, nullptr, -3.25})
        .Row({4, 12405, Date{2024, 5, 15}, "Łódź", 0.0})
        .WriteParadox(m_dir.Path());
  }
  kxtest::TempDir m_dir;
};

TEST_F(DumpOptions, PrintsKeyOrderAsRfc4180Csv) {
  auto r = Dump(m_dir / "Rejestr VAT.db");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "Nr,Period Id,Date,Name,Netto\r\n"
            "1,12405,2024-05-01,Łódź,\r\n"
            "2,12410,2024-06-01,,-3.25\r\n"
            "3,12405,2024-05-31,\"Sklep \"\"Pod Lipą\"\", Kraków\",100.5\r\n"
            "4,12405,2024-05-15,Łódź,0\r\n");
}

TEST_F(DumpOptions, FilterAndIndexChooseAndOrderRows) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> numbers;  // the Nr column of the rows printed
  } cases[] = {
      {{"--filter", "[Period Id] = 12405"}, {"1", "3", "4"}},
      {{"--filter", "(Date >= 2024-05-10) and (Date <= 2024-05-31)"}, {"3", "4"}},
      {{"--index", "Name;Date"}, {"2", "3", "1", "4"}},  // nulls first; text by bytes ("S" before "Ł")
      {{"--index", "Netto"}, {"1", "2", "4", "3"}},
      {{"--filter", "[Period Id] = 12405", "--index", "Date"}, {"1", "4", "3"}},
      {{"--filter", "Nr > 100"}, {}},
  };
  for (const auto& c : cases) {
    std::string label = ::testing::PrintToString(c.args);
    auto r = Dump(m_dir / "rejestr vat", c.args);
    ASSERT_EQ(r.exitCode, 0) << label << r.err;
    Rows rows = ParseCsv(r.out);
    ASSERT_FALSE(rows.empty()) << label;
    std::vector<std::string> numbers;
    for (size_t i = 1; i < rows.size(); ++i) numbers.push_back(rows[i][0]);
    EXPECT_EQ(numbers, c.numbers) << label;
  }
}

TEST_F(DumpOptions, FailuresNameWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  } cases[] = {
      {{"table", "dump", (m_dir / "brak").string()}, 1, "brak"},
      {{"table", "dump", (m_dir / "Rejestr VAT").string(), "--filter", "[Nope] = 1"}, 1, "Nope"},
      {{"table", "dump", (m_dir / "Rejestr VAT").string(), "--filter", "(Nr = "}, 1, "filtr"},
      {{"table", "dump", (m_dir / "Rejestr VAT").string(), "--index", "Nr;Nope"}, 1, "Nope"},
      {{"table", "dump", (m_dir / "Rejestr VAT").string(), "--codepage", "12345"}, 1, "12345"},
      {{"table", "dump"}, 2, "PATH"},
      {{"query", "--db", m_dir.Path().string()}, 2, "FILE"},
  };
  for (const auto& c : cases) {
    std::string label = ::testing::PrintToString(c.args);
    auto r = RunCli(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << label << "\n" << r.err;
    EXPECT_THAT(r.err, HasSubstr(c.message)) << label;
    EXPECT_EQ(r.out, "") << label;
  }
}

TEST_F(DumpOptions, QueryPrintsItsResultAsCsv) {
  kxtest::TableBuilder("kontrahenci")
      .Field("NAZWA", FieldKind::Text, 30)
      .Field("MIASTO", FieldKind::Text, 20)
      .Row({"Łódź", "Łódź, centrum"})
      .Row({"Sklep \"Pod Lipą\", Kraków", "Kraków"})
      .WriteDbase(m_dir.Path());
  fs::path sql = m_dir.Write("SQL/rejestr.sql",
                             "SELECT R.Nr, R.\"Date\", K.MIASTO, R.Netto * 2 AS Podwojone\n"
                             "FROM \"Rejestr VAT\" R JOIN kontrahenci K ON K.NAZWA = R.Name\n"
                             "WHERE R.\"Period Id\" = :Okres AND R.Nr >= :OdNr\n"
                             "ORDER BY R.Nr\n");
  auto r =
      RunCli({"query", "--db", m_dir.Path().string(), sql.string(), "--param", "Okres=12405", "--param", "OdNr=2"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "Nr,Date,MIASTO,Podwojone\r\n"
            "3,2024-05-31,Kraków,201\r\n"
            "4,2024-05-15,\"Łódź, centrum\",0\r\n");

  struct Case {
    std::vector<std::string> params;
    std::vector<const char*> message;
  } failures[] = {
      {{"--param", "Okres=12405"}, {":OdNr", "rejestr.sql"}},  // a parameter without value
      {{"--param", "Okres=1", "--param", "OdNr=1", "--param", "Rok=2024"}, {"Rok", "rejestr.sql"}},
      {{"--param", "Okres=maj", "--param", "OdNr=1"}, {"Okres=maj"}},  // values are whole numbers
      {{"--param", "Okres", "--param", "OdNr=1"}, {"Okres"}},
  };
  for (const auto& c : failures) {
    std::vector<std::string> args{"query", "--db", m_dir.Path().string(), sql.string()};
    args.insert(args.end(), c.params.begin(), c.params.end());
    auto f = RunCli(args);
    EXPECT_EQ(f.exitCode, 1) << c.message[0];
    for (const char* part : c.message) EXPECT_THAT(f.err, HasSubstr(part));
    EXPECT_EQ(f.out, "");
  }

  fs::path bad = m_dir.Write("SQL/zle.sql", "SELECT Nr FROM \"Rejestr VAT\" WHERE Nope = 1");
  auto f = RunCli({"query", "--db", m_dir.Path().string(), bad.string()});
  EXPECT_EQ(f.exitCode, 1);
  EXPECT_THAT(f.err, HasSubstr("zle.sql"));
  EXPECT_THAT(f.err, HasSubstr("no such column: Nope"));
  EXPECT_EQ(f.out, "");
}

}  // namespace
