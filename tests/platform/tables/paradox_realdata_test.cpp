// Every Paradox table of the shared real data, read by our reader and compared
// field by field with the independent ground truth in its set's expected.json.

#include <gtest/gtest.h>
#include <iconv.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/tables/codepage.h"
#include "platform/tables/paradox_reader.h"
#include "support/shared_paths.h"

using namespace kx::tables;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// MD5 (RFC 1321), for comparing blobs with the ground truth's checksums.
std::string Md5Hex(const std::string& data) {
  static const uint32_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                      5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                      4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                      6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
  uint32_t k[64];
  for (int i = 0; i < 64; ++i) k[i] = static_cast<uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
  uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  std::string msg = data;
  uint64_t bits = static_cast<uint64_t>(data.size()) * 8;
  msg += static_cast<char>(0x80);
  while (msg.size() % 64 != 56) msg += '\0';
  for (int i = 0; i < 8; ++i) msg += static_cast<char>(bits >> (8 * i));
  for (size_t chunk = 0; chunk < msg.size(); chunk += 64) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) {
      const auto* p = reinterpret_cast<const unsigned char*>(msg.data() + chunk + 4 * i);
      w[i] = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (int i = 0; i < 64; ++i) {
      uint32_t f;
      int g;
      // clang-format off
      if (i < 16) f = (b & c) | (~b & d), g = i;
      else if (i < 32) f = (d & b) | (~d & c), g = (5 * i + 1) % 16;
      else if (i < 48) f = b ^ c ^ d, g = (3 * i + 5) % 16;
      else f = c ^ (b | ~d), g = (7 * i) % 16;
      // clang-format on
      f += a + k[i] + w[g];
      a = d;
      d = c;
      c = b;
      b += (f << kShift[i]) | (f >> (32 - kShift[i]));
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d;
  }
  std::string out;
  char buf[3];
  for (uint32_t v : h)
    for (int i = 0; i < 4; ++i) {
      std::snprintf(buf, sizeof buf, "%02x", (v >> (8 * i)) & 0xFF);
      out += buf;
    }
  return out;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[3];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", c);
    out += buf;
  }
  return out;
}

// UTF-8 to a code page iconv knows by name (for code pages without a number).
std::string IconvFromUtf8(const std::string& text, const char* encoding) {
  iconv_t cd = iconv_open(encoding, "UTF-8");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << encoding;
  std::string out(text.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* o = out.data();
  size_t outLeft = out.size();
  iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

struct RealTable {
  std::string set;
  std::string file;
  json truth;
  json source;
};

std::vector<RealTable> LoadTables() {
  std::vector<RealTable> tables;
  fs::path root = kxtest::SharedDir() / "realdata" / "paradox";
  std::vector<fs::path> sets;
  for (auto& entry : fs::directory_iterator(root))
    if (fs::exists(entry.path() / "expected.json")) sets.push_back(entry.path());
  std::sort(sets.begin(), sets.end());
  for (auto& dir : sets) {
    std::ifstream in(dir / "expected.json");
    json doc = json::parse(in);
    for (auto& [file, truth] : doc["tables"].items())
      tables.push_back({dir.filename().string(), file, truth, doc["source"]});
  }
  return tables;
}

const std::vector<RealTable>& Tables() {
  static const std::vector<RealTable> tables = LoadTables();
  return tables;
}

// The Python codec names of text_decoded_with, as code page numbers; 0 for
// those that have none.
int CodePageOf(const std::string& codec) {
  if (codec == "gbk") return 936;
  if (codec.rfind("cp", 0) == 0) return std::stoi(codec.substr(2));
  return 0;
}

std::string VersionText(int version) {
  switch (version) {
    case 30: return "Paradox 3.0";
    case 35: return "Paradox 3.5";
    case 40: return "Paradox 4.x";
    case 50: return "Paradox 5.x";
    case 70: return "Paradox 7.x";
    default: return "?";
  }
}

class ParadoxRealData : public testing::TestWithParam<size_t> {
 protected:
  const RealTable& Table() const { return Tables()[GetParam()]; }
  fs::path Path() const { return kxtest::SharedDir() / "realdata" / "paradox" / Table().set / Table().file; }

  // Options that decode text as the ground truth did: its codec for a header
  // without a code page, and its override where the header is wrong.
  OpenOptions Options() const {
    OpenOptions options;
    const json& t = Table().truth;
    int codec = CodePageOf(t["text_decoded_with"].get<std::string>());
    // clang-format off
    if (codec == 0) options.forceCodePage = 437;  // compared as bytes below
    else if (t["code_page"].get<int>() == 0) options.defaultCodePage = codec;
    else if (t["code_page"].get<int>() != codec) options.forceCodePage = codec;
    // clang-format on
    return options;
  }
};

TEST_P(ParadoxRealData, MatchesGroundTruth) {
  const json& t = Table().truth;
  SCOPED_TRACE(Table().set + "/" + Table().file);
  if (t["encryption_field"].get<int64_t>() != 0) {
    // Password-protected: refused with a message naming the table.
    try {
      OpenParadoxFile(Path(), Options());
      FAIL() << "a protected table was opened";
    } catch (const kx::Error& e) {
      EXPECT_NE(std::string(e.what()).find("chroniona hasłem"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(Table().file), std::string::npos) << e.what();
    }
    return;
  }

  auto table = OpenParadoxFile(Path(), Options());
  const ParadoxHeaderInfo& h = table->Header();
  EXPECT_EQ(VersionText(h.version), t["format"].get<std::string>());
  EXPECT_EQ(h.fileType, t["file_type"].get<std::string>().rfind("indexed", 0) == 0 ? 0 : 2);
  EXPECT_EQ(h.codePage, t["code_page"].get<int>());
  EXPECT_EQ(h.sortOrder, std::stoi(t["sort_order_byte"].get<std::string>(), nullptr, 16));
  EXPECT_EQ(h.recordSize, t["record_size"].get<int>());
  EXPECT_EQ(h.headerSize, t["header_size"].get<int>());
  EXPECT_EQ(h.blockSize, t["block_size_kb"].get<int>() * 1024);
  EXPECT_EQ(h.keyFieldCount, t["primary_key_fields"].get<int>());
  EXPECT_EQ(h.nextAutoInc, t["autoinc_next"].get<int64_t>());
  EXPECT_EQ(h.encryption, 0u);
  ASSERT_EQ(table->RecordCount(), t["num_records"].get<size_t>());

  const std::string codec = t["text_decoded_with"].get<std::string>();
  const bool numbered = CodePageOf(codec) != 0;
  const auto& fields = table->Fields();
  ASSERT_EQ(fields.size(), t["fields"].size());
  for (size_t k = 0; k < fields.size(); ++k) {
    const json& f = t["fields"][k];
    if (numbered) {
      EXPECT_EQ(fields[k].name, f["name"].get<std::string>());
    }
    EXPECT_EQ(std::string(1, fields[k].code), f["type"].get<std::string>()) << k;
    EXPECT_EQ(fields[k].size, f["size"].get<int>()) << fields[k].name;
  }
  if (h.fileType == 0) {
    auto key = table->PrimaryKey();
    ASSERT_EQ(key.size(), static_cast<size_t>(h.keyFieldCount));
    for (size_t k = 0; k < key.size(); ++k) EXPECT_EQ(key[k], fields[k].name);
  } else {
    EXPECT_TRUE(table->PrimaryKey().empty());
  }

  // The ground truth lists records in chain order.
  std::vector<size_t> byChain(table->RecordCount());
  std::set<size_t> positions;
  for (size_t r = 0; r < table->RecordCount(); ++r) {
    size_t pos = table->ChainPosition(r);
    ASSERT_LT(pos, byChain.size());
    positions.insert(pos);
    byChain[pos] = r;
  }
  EXPECT_EQ(positions.size(), table->RecordCount());

  const std::string name = Table().set + "/" + Table().file;
  for (size_t i = 0; i < t["first_records"].size(); ++i) {
    const json& row = t["first_records"][i];
    size_t r = byChain[i];
    for (size_t k = 0; k < fields.size(); ++k) {
      const FieldDef& f = fields[k];
      const json& want = row[t["fields"][k]["name"].get<std::string>()];
      std::string where = name + " record " + std::to_string(i) + " field " + f.name;
      SCOPED_TRACE(where);

      if (want.is_object() && want.contains("unread")) {
        // A memo or blob kept in a missing .mb file: a clear error naming it.
        try {
          table->Get(r, k);
          ADD_FAILURE() << "value read without its .mb file";
        } catch (const kx::Error& e) {
          EXPECT_NE(std::string(e.what()).find(".MB"), std::string::npos) << e.what();
        }
        continue;
      }
      Value v = table->Get(r, k);
      if (want == "-??????????????????????????.??????") {
        // The ground truth reads a null BCD (no value-present bit, zero
        // digits) as a negative number of invalid digits.
        EXPECT_TRUE(v.IsNull());
        continue;
      }
      if (want.is_null()) {
        EXPECT_TRUE(v.IsNull());
        continue;
      }
      ASSERT_FALSE(v.IsNull());
      switch (f.code) {
        case 'A':
          ASSERT_EQ(v.type, Value::Type::Text);
          if (numbered)
            EXPECT_EQ(v.text, want.get<std::string>());
          else
            EXPECT_EQ(table->RawBytes(r, k), IconvFromUtf8(want.get<std::string>(), "HP-ROMAN8"));
          break;
        case 'S':
        case 'I':
        case '+':
          ASSERT_EQ(v.type, Value::Type::Int);
          EXPECT_EQ(v.i, want.get<int64_t>());
          break;
        case 'N':
        case '$':
          ASSERT_EQ(v.type, Value::Type::Float);
          EXPECT_EQ(v.f, want.get<double>());
          break;
        case 'L':
          ASSERT_EQ(v.type, Value::Type::Bool);
          EXPECT_EQ(v.i != 0, want.get<bool>());
          break;
        case 'D':
          ASSERT_EQ(v.type, Value::Type::Date);
          if (want.get<std::string>() == "-002-12-31") {
            // The ground truth counts years before 1 without a year 0 (2 BC
            // is -2); ours are astronomical (2 BC is -1), the same calendar
            // our day numbers and the writer use.
            EXPECT_EQ(v.date, (Date{-1, 12, 31}));
          } else {
            EXPECT_EQ(DateText(v.date), want.get<std::string>());
          }
          break;
        case 'T':
          ASSERT_EQ(v.type, Value::Type::Time);
          EXPECT_EQ(TimeText(v.msec), want.get<std::string>());
          break;
        case '@':
          ASSERT_EQ(v.type, Value::Type::DateTime);
          if (want.get<std::string>() == "-001-01-01 -23:00:00") {
            // Before year 1 the ground truth rounds the day towards zero and
            // prints the rest as a negative time: 1 BC, 1 January, minus 23
            // hours. That is 01:00 on the same day as the record's date
            // field, astronomical year -1 (see above).
            EXPECT_EQ(v.date, (Date{-1, 12, 31}));
            EXPECT_EQ(v.msec, 3600000);
          } else {
            EXPECT_EQ(DateTimeText(v.date, v.msec), want.get<std::string>());
          }
          break;
        case '#': {
          ASSERT_EQ(v.type, Value::Type::Float);
          std::string text = want.get<std::string>();
          if (text.find_first_not_of("-0123456789.") == std::string::npos) {
            EXPECT_DOUBLE_EQ(v.f, std::strtod(text.c_str(), nullptr));
          } else {
            // The ground truth prints nibbles above 9 (places a writer
            // filled beyond a double's precision) as ";:>?". The values are
            // those the table's own driver tests expect: 0.123, -0.123,
            // 0.9999 (see SOURCE.json).
            static const std::map<std::string, double> kKnown = {{"0.1229999999999999980;00>00000;?4:", 0.123},
                                                                 {"-0.1229999999999999980;00>00000;?4:", -0.123},
                                                                 {"0.9999000000000000118:00>00000>?4:", 0.9999}};
            auto it = kKnown.find(text);
            ASSERT_NE(it, kKnown.end()) << text;
            EXPECT_DOUBLE_EQ(v.f, it->second);
          }
          break;
        }
        case 'Y':
          ASSERT_EQ(v.type, Value::Type::Bytes);
          EXPECT_EQ(Hex(v.text), want["hex"].get<std::string>());
          break;
        case 'M':
        case 'F': {
          ASSERT_EQ(v.type, Value::Type::Text);
          std::string raw = table->RawBytes(r, k);
          EXPECT_EQ(raw.size(), want["size"].get<size_t>());
          EXPECT_EQ(Md5Hex(raw), want["md5"].get<std::string>());
          EXPECT_EQ(v.text, ToUtf8(raw, h.textCodePage));
          break;
        }
        default:  // B O G
          ASSERT_EQ(v.type, Value::Type::Bytes);
          EXPECT_EQ(v.text.size(), want["size"].get<size_t>());
          EXPECT_EQ(Md5Hex(v.text), want["md5"].get<std::string>());
          EXPECT_EQ(Hex(v.text.substr(0, 16)), want["head_hex"].get<std::string>());
      }
    }
  }
}

// Every value of every table decodes (memos and blobs included, from their
// .mb files), and each keyed table's records follow its key.
class ParadoxRealDataReadable : public ParadoxRealData {};

TEST_P(ParadoxRealDataReadable, ReadsEveryValueInKeyOrder) {
  auto table = OpenParadoxFile(Path(), Options());
  const bool mbMissing = Table().file == "MEMBRE.DB";
  size_t values = 0;
  for (size_t r = 0; r < table->RecordCount(); ++r)
    for (size_t k = 0; k < table->Fields().size(); ++k) {
      FieldKind kind = table->Fields()[k].kind;
      if (mbMissing && (kind == FieldKind::Memo || kind == FieldKind::Blob)) continue;
      table->Get(r, k);
      ++values;
    }
  EXPECT_EQ(values > 0, table->RecordCount() > 0);

  size_t keys = table->PrimaryKey().size();
  for (size_t r = 1; r < table->RecordCount() && keys > 0; ++r) {
    for (size_t k = 0; k < keys; ++k) {
      Value a = table->Get(r - 1, k);
      Value b = table->Get(r, k);
      if (a.IsNull() || b.IsNull()) {
        ASSERT_TRUE(a.IsNull()) << "null keys come first, record " << r;
        if (!b.IsNull()) break;
        continue;
      }
      auto cmp = [&]() -> int {
        switch (a.type) {
          case Value::Type::Text: return a.text < b.text ? -1 : a.text > b.text ? 1 : 0;
          case Value::Type::Float: return a.f < b.f ? -1 : a.f > b.f ? 1 : 0;
          case Value::Type::Date: return a.date < b.date ? -1 : a.date > b.date ? 1 : 0;
          default: return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
        }
      }();
      if (a.type == Value::Type::Text && cmp != 0) {
        // Text keys follow the stored bytes.
        std::string ra = table->RawBytes(r - 1, k), rb = table->RawBytes(r, k);
        cmp = ra < rb ? -1 : 1;
      }
      ASSERT_LE(cmp, 0) << "record " << r << " out of key order";
      if (cmp < 0) break;
    }
  }
}

std::string TestName(const testing::TestParamInfo<size_t>& info) {
  std::string name = Tables()[info.param].set + "_" + Tables()[info.param].file;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(AllTables, ParadoxRealData, testing::Range<size_t>(0, Tables().size()), TestName);

std::vector<size_t> ReadableTables() {
  std::vector<size_t> indices;
  for (size_t k = 0; k < Tables().size(); ++k)
    if (Tables()[k].truth["encryption_field"].get<int64_t>() == 0) indices.push_back(k);
  return indices;
}

INSTANTIATE_TEST_SUITE_P(UnprotectedTables, ParadoxRealDataReadable, testing::ValuesIn(ReadableTables()), TestName);

// The tables come from many writers; all sets must be there.
TEST(ParadoxRealDataSets, AllSetsPresent) {
  std::set<std::string> sets;
  for (auto& t : Tables()) sets.insert(t.set);
  EXPECT_EQ(sets.size(), 13u);
  EXPECT_EQ(Tables().size(), 81u);
}

// Reading in chain order was kept separate from key order: the real keyed
// tables written by their own engine are already in key order along the chain.
TEST(ParadoxRealDataKeys, EngineWrittenTablesAreInChainOrder) {
  auto table = OpenParadoxFile(kxtest::SharedDir() / "realdata/paradox/dbdemos/items.db");
  ASSERT_EQ(table->PrimaryKey(), (std::vector<std::string>{"OrderNo", "ItemNo"}));
  ASSERT_EQ(table->RecordCount(), 945u);
  for (size_t r = 0; r < table->RecordCount(); ++r) ASSERT_EQ(table->ChainPosition(r), r);
}

// A Russian table without a code page in its header decodes with the code
// page the caller names for such tables.
TEST(ParadoxRealDataCodePages, HeaderWithoutCodePageUsesTheDefault) {
  fs::path dir = kxtest::SharedDir() / "realdata/paradox/rparadox";
  OpenOptions cp866;
  cp866.defaultCodePage = 866;
  auto of = OpenParadoxFile(dir / "of.db", cp866);
  auto ofHeader = OpenParadoxFile(dir / "of_cp866.db");  // its header says 866
  EXPECT_EQ(of->Header().codePage, 0);
  EXPECT_EQ(ofHeader->Header().codePage, 866);
  ASSERT_EQ(of->RecordCount(), ofHeader->RecordCount());
  EXPECT_EQ(of->Fields()[3].name, "Наименование");
  for (size_t r = 0; r < of->RecordCount(); r += 97)
    for (size_t k = 0; k < of->Fields().size(); ++k) {
      Value a = of->Get(r, k), b = ofHeader->Get(r, k);
      EXPECT_EQ(a.type, b.type);
      EXPECT_EQ(a.text, b.text);
    }
  // Without a default the Polish DOS code page applies; forcing one wins
  // over the header.
  auto of852 = OpenParadoxFile(dir / "of.db");
  EXPECT_EQ(of852->Header().textCodePage, 852);
  OpenOptions forced;
  forced.forceCodePage = 1251;
  EXPECT_EQ(OpenParadoxFile(dir / "of_cp866.db", forced)->Header().textCodePage, 1251);
}

}  // namespace
