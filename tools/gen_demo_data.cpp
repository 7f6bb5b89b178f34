// gen_demo_data: writes the source tables of one month of a demo firm for the
// three source programs, with plausible Polish contractors and documents.
//
//   gen_demo_data FOLDER [--month YYYY-MM] [--rows N] [--seed S]
//                        [--rejko-layout single|registers]
//                        [--rows-per-document N] [--contractors N]
//
// FOLDER receives towix/ (the month's documents: headers WI, rows WT, goods
// W, series WS and the VAT register REG, with the per-period contractor
// tables UR, UC and the Users table), rejko/ (Users and the year folder with
// the single table Register or the nine registers REGS ... REGBP, and the
// ledger of the whole year: accounts, journal and details) and folvo/ (Users and
// YYYY/Register). The bookkeeping and register tables also hold a few rows
// of another period, which a month's run must leave out.
//
// --rows is the number of documents of the month in each program. The
// warehouse month holds every kind of document its exports read: invoices
// (some at gross prices) with their corrections, receipts, export and EU
// supplies, purchases, goods received and issued against an invoice,
// internal issues and transfers; a few are left out by their flags. Its
// documents have 1 to 6 rows each, or exactly --rows-per-document rows.
// --contractors adds generated domestic firms to the named ones until there
// are that many.
//
// The same seed gives the same tables. Each program's tables draw from their
// own stream, so a change to one program's data leaves the others as they
// were.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/kxTools.h"
#include "jpk/check/ksef_number.h"
#include "platform/error.h"
#include "platform/tables/paradox_writer.h"

namespace {

using kx::tables::Date;
using kx::tables::FieldDef;
using kx::tables::FieldKind;
using kx::tables::Value;

struct Firm {
  int number;
  std::string name;
  std::string nip;
  int options;
  std::string city;
  std::string zip;
  std::string street;
  std::string house;
  int payer = 0;  // the firm that pays this one's documents; 0: the firm itself

  std::string ShortName() const { return name.substr(0, name.find(' ')); }
  int PayerNumber() const { return payer != 0 ? payer : number; }
};

struct Options {
  Date month{2026, 11, 1};
  int rows = 60;            // documents of the month in each program
  int rowsPerDocument = 0;  // warehouse document rows; 0: 1 to 6
  int contractors = 0;      // at least this many contractors in all
  unsigned seed = 2026;
  bool rejkoRegisters = false;
};

class Generator {
 public:
  explicit Generator(const Options& o)
      : m_rng(o.seed),
        m_seed(o.seed),
        m_month(o.month),
        m_rows(o.rows),
        m_rowsPerDocument(o.rowsPerDocument),
        m_rejkoRegisters(o.rejkoRegisters) {
    MakeFirms(o.contractors);
  }

  void Write(const std::filesystem::path& out) {
    UseStream(Stream::Towix);
    WriteTowix(out / "towix");
    std::filesystem::path rejko = out / "rejko";
    std::filesystem::create_directories(rejko);
    WriteUsers(rejko);
    UseStream(Stream::Rejko);
    if (m_rejkoRegisters) {
      WriteRejkoRegisters(rejko / std::to_string(m_month.year));
    } else {
      WriteRejko(rejko / std::to_string(m_month.year));
    }
    UseStream(Stream::Ledger);
    WriteLedger(rejko / std::to_string(m_month.year));
    std::filesystem::path folvo = out / "folvo";
    UseStream(Stream::Folvo);
    WriteFolvo(folvo / std::to_string(m_month.year));
    WriteUsers(folvo);
  }

 private:
  int Between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
  bool Chance(int percent) { return Between(1, 100) <= percent; }
  double Amount(int lo, int hi) { return kx::RoundAmount(2, Between(lo * 100, hi * 100) / 100.0); }

  std::string ValidNip() {
    for (;;) {
      std::string nip = std::to_string(Between(1, 9));
      for (int i = 0; i < 8; ++i) nip += static_cast<char>('0' + Between(0, 9));
      // A tax office prefix never ends in "00"; KSeF numbers refuse such NIPs.
      if (nip[1] == '0' && nip[2] == '0') continue;
      int sum = 0;
      for (int i = 0; i < 9; ++i) sum += (nip[i] - '0') * (kx::kNipWeights[i] - '0');
      if (sum % 11 != 10) return nip + static_cast<char>('0' + sum % 11);
    }
  }

  // The random streams: the firms come from the seed itself, each program's
  // documents from a stream of their own.
  enum class Stream { Towix = 1, Rejko, Ledger, Folvo };
  void UseStream(Stream stream) {
    std::seed_seq seq{m_seed, static_cast<unsigned>(stream)};
    m_rng.seed(seq);
  }

  void MakeFirms(int contractors) {
    // clang-format off
    static const char* kNames[] = {"Piekarnia Kłos", "Mleczarnia Łąka Sp. z o.o.", "Sklep Spożywczy \"Pod Lipą\"",
                                   "Hurtownia Owoców Sadownik", "Przedsiębiorstwo Handlowe Żuraw",
                                   "Delikatesy Jagoda s.c.", "Masarnia Wiejska Nowak", "Browar Rzemieślniczy Chmiel",
                                   "Cukiernia Słodki Róg", "Zakład Przetwórstwa Rybnego Bałtyk",
                                   "Market Społem", "Restauracja Pod Złotym Kłosem", "Kawiarnia Młynek",
                                   "Gospodarstwo Rolne Wiśniewski", "Transport Ciężarowy Kowalczyk"};
    // clang-format on
    static const char* kTowns[][3] = {{"Łódź", "90-006", "Piotrkowska"}, {"Warszawa", "00-950", "Marszałkowska"},
                                      {"Kraków", "31-042", "Grodzka"},   {"Poznań", "61-772", "Półwiejska"},
                                      {"Gdańsk", "80-831", "Długa"},     {"Wrocław", "50-106", "Świdnicka"},
                                      {"Zgierz", "95-100", "Łęczycka"},  {"Pabianice", "95-200", "Zamkowa"}};
    int number = 1;
    for (const char* name : kNames) {
      const auto& town = kTowns[Between(0, 7)];
      m_domestic.push_back(m_firms.size());
      m_firms.push_back({number++, name, ValidNip(), 0, town[0], town[1], town[2], std::to_string(Between(1, 120))});
    }
    // Branches whose documents another firm pays: the shop "Pod Lipą" by
    // Market Społem, the café Młynek by the restaurant.
    m_firms[2].payer = 11;
    m_firms[12].payer = 12;
    m_eu = {m_firms.size(), m_firms.size() + 1};
    m_firms.push_back(
        {number++, "Müller Lebensmittel GmbH", "DE811128135", 1, "Berlin;Niemcy", "10115", "Hauptstraße", "12"});
    m_firms.push_back(
        {number++, "Potraviny Novák s.r.o.", "CZ25596641", 1, "Praha;Czechy", "11000", "Václavské náměstí", "3"});
    m_nonEu = {m_firms.size()};
    m_firms.push_back({number++, "Highland Provisions Ltd", "GB220430231", 1, "Edinburgh;Wielka Brytania", "EH2 2ER",
                       "Princes Street", "25"});
    // Generated domestic firms, for months with many contractors.
    static const char* kTrades[] = {"Sklep",  "Hurtownia", "Piekarnia", "Delikatesy",
                                    "Bistro", "Kiosk",     "Market",    "Cukiernia"};
    static const char* kOwners[] = {"Nowak",    "Kowalski",    "Wiśniewski", "Wójcik",    "Kowalczyk",
                                    "Kamiński", "Lewandowski", "Zieliński",  "Szymański", "Woźniak"};
    while (static_cast<int>(m_firms.size()) < contractors) {
      const auto& town = kTowns[Between(0, 7)];
      std::string name =
          std::string(kTrades[Between(0, 7)]) + " " + kOwners[Between(0, 9)] + " " + std::to_string(number);
      m_domestic.push_back(m_firms.size());
      m_firms.push_back({number++, name, ValidNip(), 0, town[0], town[1], town[2], std::to_string(Between(1, 120))});
    }
  }

  const Firm& AnyOf(const std::vector<size_t>& pool) {
    return m_firms[pool[Between(0, static_cast<int>(pool.size()) - 1)]];
  }
  const Firm& AnyDomesticFirm() { return AnyOf(m_domestic); }
  const Firm& AnyForeignFirm() { return AnyOf(m_eu); }
  const Firm& AnyNonEuFirm() { return AnyOf(m_nonEu); }

  static Date AddDays(Date d, int days) {
    using namespace std::chrono;
    year_month_day ymd{sys_days{year{d.year} / d.month / d.day} + std::chrono::days{days}};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
  }

  Date Day() { return {m_month.year, m_month.month, Between(1, 28)}; }

  // A KSeF number of the seller: NIP-RRRRMMDD-12 hexadecimal characters-check
  // sum. Two more characters are drawn and left unused, so that the tables
  // drawn after it stay as they were.
  std::string Ksef(const std::string& sellerNip, Date d) {
    static const char* kHex = "0123456789ABCDEF";
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", d.year, d.month, d.day);
    std::string s = sellerNip + "-" + date + "-";
    for (int i = 0; i < 12; ++i) s += kHex[Between(0, 15)];
    for (int i = 0; i < 2; ++i) Between(0, 15);
    return s + "-" + kx::jpk::check::KsefCheckText(s);
  }

  // Net amounts at 23, 8 and 5 % of one document, with their taxes.
  struct Amounts {
    double n23 = 0, t23 = 0, n8 = 0, t8 = 0, n5 = 0, t5 = 0, exempt = 0, zero = 0;
    double Tax() const { return kx::RoundAmount(2, t23 + t8 + t5); }
    double Gross() const { return kx::RoundAmount(2, n23 + n8 + n5 + exempt + zero + Tax()); }
  };
  Amounts Document() {
    Amounts a;
    a.n23 = Amount(50, 5000);
    a.t23 = kx::TaxFromNet(a.n23, 23);
    if (Chance(50)) {
      a.n8 = Amount(10, 2000);
      a.t8 = kx::TaxFromNet(a.n8, 8);
    }
    if (Chance(30)) {
      a.n5 = Amount(10, 1000);
      a.t5 = kx::TaxFromNet(a.n5, 5);
    }
    if (Chance(10)) a.exempt = Amount(10, 500);
    return a;
  }

  static FieldDef F(const char* name, FieldKind kind, int size = 0) { return FieldDef{name, kind, 'A', size, 0}; }
  static Value T(const std::string& s) { return Value::FromText(s); }
  static Value I(int64_t n) { return Value::FromInt(n); }
  static Value N(double d) { return Value::FromFloat(d); }
  static Value D(Date d) { return Value::FromDate(d); }

  // The contractor master table "Users", keyed on Number.
  void WriteUsers(const std::filesystem::path& dir) {
    std::vector<FieldDef> users{
        F("Number", FieldKind::Integer), F("Firm Name", FieldKind::Text, 60), F("Identifier", FieldKind::Text, 20),
        F("City", FieldKind::Text, 40),  F("Options", FieldKind::Short),      F("Street", FieldKind::Text, 40),
        F("House", FieldKind::Text, 10), F("ZipCode", FieldKind::Text, 10),   F("NIP", FieldKind::Text, 20)};
    std::vector<std::vector<Value>> rows;
    for (const Firm& f : m_firms) {
      rows.push_back({I(f.number), T(f.name), T(f.ShortName()), T(f.city), I(f.options), T(f.street), T(f.house),
                      T(f.zip), T(f.nip)});
    }
    kx::tables::WriteParadoxTable(dir / "Users.db", users, rows, {1250, 1});
  }

  // The period copies UR and UC of the contractors, keyed on Number; their
  // PayerNumber is the Users number of the firm that pays.
  void WriteContractors(const std::filesystem::path& dir) {
    std::vector<FieldDef> period{
        F("Number", FieldKind::Integer),   F("Firm Name", FieldKind::Text, 60), F("Identifier", FieldKind::Text, 20),
        F("City", FieldKind::Text, 40),    F("Options", FieldKind::Short),      F("Address", FieldKind::Text, 60),
        F("ZipCode", FieldKind::Text, 10), F("NIP", FieldKind::Text, 20),       F("PayerNumber", FieldKind::Integer)};
    std::vector<std::vector<Value>> periodRows;
    for (const Firm& f : m_firms) {
      periodRows.push_back({I(f.number), T(f.name), T(f.ShortName()), T(f.city), I(f.options),
                            T(f.street + " " + f.house), T(f.zip), T(f.nip), I(f.PayerNumber())});
    }
    kx::tables::ParadoxWriteOptions keyed{1250, 1};
    std::string prefix = kx::PeriodTableName(false, "", m_month);
    kx::tables::WriteParadoxTable(dir / (prefix + "UR.db"), period, periodRows, keyed);
    kx::tables::WriteParadoxTable(dir / (prefix + "UC.db"), period, periodRows, keyed);
    WriteUsers(dir);
  }

  // Goods cards of the warehouse; VAT below -1 means exempt.
  struct Goods {
    int group;
    int index;
    const char* name;
    const char* unit;
    double price;
    int vat;
    int series;  // number of series (batches), 0 for services
  };
  static const std::vector<Goods>& Catalogue() {
    static const std::vector<Goods> kGoods = {
        {1, 1, "Mąka pszenna typ 450 1 kg", "szt", 3.29, 5, 2},
        {1, 2, "Cukier biały kryształ 1 kg", "szt", 4.15, 5, 2},
        {1, 3, "Mleko UHT 3,2% 1 l", "szt", 3.59, 5, 3},
        {1, 4, "Masło ekstra 82% 200 g", "szt", 6.99, 5, 2},
        {1, 5, "Ser żółty gouda", "kg", 28.90, 5, 2},
        {1, 6, "Jaja kurze L (10 szt.)", "opak", 9.80, 5, 2},
        {1, 7, "Kiełbasa śląska", "kg", 21.50, 5, 2},
        {1, 8, "Ziemniaki jadalne", "kg", 2.10, 5, 1},
        {1, 9, "Jabłka Ligol", "kg", 3.40, 5, 1},
        {1, 10, "Olej rzepakowy 1 l", "szt", 8.49, 5, 2},
        {1, 11, "Chleb żytni na zakwasie 800 g", "szt", 7.20, 5, 1},
        {2, 1, "Kawa mielona 500 g", "szt", 24.90, 23, 2},
        {2, 2, "Herbata czarna ekspresowa 100 tor.", "opak", 12.40, 23, 2},
        {2, 3, "Czekolada mleczna 100 g", "szt", 4.29, 23, 2},
        {2, 4, "Woda mineralna gazowana 1,5 l", "szt", 1.89, 23, 2},
        {2, 5, "Piwo jasne pełne 0,5 l", "szt", 3.19, 23, 2},
        {2, 6, "Sok jabłkowy 100% 1 l", "szt", 4.59, 5, 2},
        {3, 1, "Płyn do mycia naczyń 1 l", "szt", 6.79, 23, 1},
        {3, 2, "Worki na śmieci 60 l (20 szt.)", "rolka", 5.49, 23, 1},
        {3, 3, "Ręcznik papierowy (2 rolki)", "opak", 7.99, 23, 1},
        {4, 1, "Usługa gastronomiczna - catering", "usł", 350.00, 8, 0},
        {4, 2, "Usługa transportowa", "usł", 180.00, 23, 0},
        {4, 3, "Szkolenie sanitarne personelu", "usł", 240.00, -2, 0},
    };
    return kGoods;
  }
  // Unit cost of a series: a share of the sale price that differs per batch.
  static double SeriesCost(const Goods& g, int series) { return kx::RoundAmount(2, g.price * (0.66 + 0.04 * series)); }

  void WriteGoods(const std::filesystem::path& dir, const std::string& prefix) {
    std::vector<FieldDef> w{F("Group", FieldKind::Short),    F("Index", FieldKind::Integer),
                            F("Name", FieldKind::Text, 60),  F("Unit", FieldKind::Text, 10),
                            F("Price", FieldKind::Currency), F("VAT", FieldKind::Short)};
    std::vector<FieldDef> ws{F("Group", FieldKind::Short), F("Index", FieldKind::Integer),
                             F("SeriesNo", FieldKind::Integer), F("Cost", FieldKind::Currency),
                             F("Expiry", FieldKind::Date)};
    std::vector<std::vector<Value>> wRows, wsRows;
    for (const Goods& g : Catalogue()) {
      wRows.push_back({I(g.group), I(g.index), T(g.name), T(g.unit), N(g.price), I(g.vat)});
      for (int s = 1; s <= g.series; ++s) {
        wsRows.push_back({I(g.group), I(g.index), I(s), N(SeriesCost(g, s)),
                          D({m_month.year + 1, m_month.month, std::min(28, 3 * s + g.index)})});
      }
    }
    kx::tables::WriteParadoxTable(dir / (prefix + "W.db"), w, wRows, {1250, 2});
    kx::tables::WriteParadoxTable(dir / (prefix + "WS.db"), ws, wsRows, {1250, 3});
  }

  // Warehouse document kinds (WI Type, REG Class). Of the invoice kinds an
  // odd code is the correction of the even code below it.
  enum Kind : int {
    kInvoice = 0,
    kInvoiceCorrection = 1,
    kExport = 2,  // export of goods outside the EU
    kExportCorrection = 3,
    kReceiptInvoice = 4,  // invoice to a receipt
    kReceiptInvoiceCorrection = 5,
    kReceipt = 6,
    kTransfer = 8,  // MM, between warehouses
    kEuSupply = 22,
    kEuSupplyCorrection = 23,
    kIssueToInvoice = 24,     // WZ issued against an invoice
    kInternalIssue = 32,      // RW
    kPurchase = 128,          // purchase invoice, goods received with it
    kReceiptToInvoice = 152,  // PZ against a purchase invoice
  };
  static constexpr int kWiLeftOut = 0x10;    // WI Flags: not a stock document
  static constexpr int kWiCancelled = 0x01;  // WI Flags: cancelled
  static constexpr int kGrossPrices = 0x40;  // WI Options
  static constexpr int kRegSkip = 0x08;      // REG Flags: left out of the register and the exports
  static constexpr int kRegHalved = 0x40;    // REG Flags: purchase amounts halved
  static constexpr int kRegSplitPayment = 0x80;
  static constexpr int kRegTP = 0x100;
  static constexpr int kRegGoods = 0x200;  // REG Flags: foreign sale of goods
  enum PayForm : int { kCash = 0, kCard = 1, kTransferPay = 2, kCashOnDelivery = 4, kPrepayment = 5 };

  // The kind a document refers to through its Master fields; -1: none.
  static int MasterKind(int kind) {
    switch (kind) {
      case kInvoiceCorrection:
      case kIssueToInvoice: return kInvoice;
      case kExportCorrection: return kExport;
      case kReceiptInvoiceCorrection: return kReceiptInvoice;
      case kEuSupplyCorrection: return kEuSupply;
      case kReceiptToInvoice: return kPurchase;
      default: return -1;
    }
  }
  static bool IsCorrection(int kind) { return kind % 2 == 1 && kind < kInternalIssue; }
  static bool IsForeign(int kind) { return kind == kExport || kind == kExportCorrection || kind / 2 == kEuSupply / 2; }
  // Documents without VAT amounts of their own: their register row carries
  // only the value at cost.
  static bool IsStockOnly(int kind) {
    return kind == kTransfer || kind == kIssueToInvoice || kind == kInternalIssue || kind == kReceiptToInvoice;
  }

  // One row of a warehouse document.
  struct Line {
    const Goods* goods;
    int series;       // 0: none (services)
    double quantity;  // below 0 in a correction: goods returned
    double price;     // unit price: net, or gross on a document with gross prices
    int vat;
    double unitCost;  // value of one unit at cost (0 for services)
  };

  // One document: its header (WI), rows (WT) and register row (REG).
  struct WarehouseDoc {
    int kind = 0;
    int number = 0;
    std::string name;
    Date date{}, saleDate{};
    int wiFlags = 0, options = 0, regFlags = 0, gtu = 0;
    const Firm* firm = nullptr;  // none: an internal document
    std::string comment, ksef;
    int masterKind = 0, masterNumber = 0;  // 0, 0: refers to nothing
    int payInfo = kCash, payDelay = 0;
    std::vector<Line> lines;
  };

  // The month opens with documents of every kind (so that a small month
  // holds them all, masters before the documents that refer to them); the
  // rest are drawn.
  // clang-format off
  static constexpr int kOpening[] = {
      kInvoice, kInvoice, kExport, kReceiptInvoice, kReceipt, kReceipt, kEuSupply, kPurchase, kPurchase,
      kInternalIssue, kInternalIssue, kTransfer, kTransfer,
      kInvoiceCorrection, kInvoiceCorrection, kExportCorrection, kReceiptInvoiceCorrection, kEuSupplyCorrection,
      kIssueToInvoice, kReceiptToInvoice};
  // clang-format on
  int DrawKind() {
    // Kind and share in percent.
    static const int kShares[][2] = {{kInvoice, 38},         {kInvoiceCorrection, 3}, {kExport, 2},
                                     {kExportCorrection, 1}, {kReceiptInvoice, 4},    {kReceiptInvoiceCorrection, 1},
                                     {kReceipt, 4},          {kEuSupply, 3},          {kEuSupplyCorrection, 1},
                                     {kIssueToInvoice, 3},   {kInternalIssue, 2},     {kTransfer, 2},
                                     {kPurchase, 32},        {kReceiptToInvoice, 4}};
    int roll = Between(1, 100);
    for (const auto& [kind, share] : kShares) {
      if ((roll -= share) <= 0) return kind;
    }
    return kInvoice;
  }

  std::vector<WarehouseDoc> WarehouseMonth() {
    std::vector<WarehouseDoc> docs;
    docs.reserve(m_rows);
    std::vector<size_t> ofKind[256];  // documents of each kind, by index
    std::vector<int> referred;        // per document: how many refer to it
    int counters[256] = {};
    for (int i = 0; i < m_rows; ++i) {
      int kind = i < static_cast<int>(std::size(kOpening)) ? kOpening[i] : DrawKind();
      int masterKind = MasterKind(kind);
      // Nothing to refer to yet: a document of the master's kind instead.
      if (masterKind >= 0 && ofKind[masterKind].empty()) {
        kind = masterKind;
        masterKind = -1;
      }
      WarehouseDoc d;
      d.kind = kind;
      d.number = ++counters[kind];
      if (masterKind >= 0) {
        // A few tries for a document nothing refers to yet.
        const auto& pool = ofKind[masterKind];
        size_t master = pool[Between(0, static_cast<int>(pool.size()) - 1)];
        for (int tries = 0; tries < 3 && referred[master] > 0; ++tries) {
          master = pool[Between(0, static_cast<int>(pool.size()) - 1)];
        }
        ++referred[master];
        FollowMaster(d, docs[master]);
      } else {
        NewDocument(d);
      }
      d.name = DocumentName(d.kind, d.number);
      ofKind[kind].push_back(docs.size());
      docs.push_back(std::move(d));
      referred.push_back(0);
    }
    return docs;
  }

  // Document number as printed: the kind's prefix, the number, and the
  // month and year, the year or the month.
  std::string DocumentName(int kind, int number) const {
    struct Form {
      int kind;
      const char* prefix;
      bool month, year;
    };
    static const Form kForms[] = {{kInvoice, "FV", true, true},        {kInvoiceCorrection, "KFV", true, true},
                                  {kExport, "FE", false, true},        {kExportCorrection, "KFE", false, true},
                                  {kReceiptInvoice, "FP", true, true}, {kReceiptInvoiceCorrection, "KFP", true, true},
                                  {kReceipt, "PAR", true, false},      {kTransfer, "MM", true, true},
                                  {kEuSupply, "WDT", false, true},     {kEuSupplyCorrection, "KWDT", false, true},
                                  {kIssueToInvoice, "WZ", true, true}, {kInternalIssue, "RW", true, true},
                                  {kPurchase, "FZ", true, true},       {kReceiptToInvoice, "PZ", true, true}};
    char buf[40] = "";
    for (const Form& f : kForms) {
      if (f.kind != kind) continue;
      int n = std::snprintf(buf, sizeof buf, "%s %d", f.prefix, number);
      if (f.month) n += std::snprintf(buf + n, sizeof buf - n, "/%02d", m_month.month);
      if (f.year) std::snprintf(buf + n, sizeof buf - n, "/%04d", m_month.year);
    }
    return buf;
  }

  int RowCount() { return m_rowsPerDocument > 0 ? m_rowsPerDocument : Between(1, 6); }

  // Rows of a new document from the goods cards: sales at the card's price
  // (gross when the document has gross prices), foreign sales at 0 %, and
  // purchases and internal documents at the series' cost.
  void AddLines(WarehouseDoc& d) {
    const auto& goods = Catalogue();
    bool foreign = IsForeign(d.kind);
    bool atCost = d.kind == kPurchase || d.kind == kInternalIssue || d.kind == kTransfer;
    bool internal = d.kind == kInternalIssue || d.kind == kTransfer;
    // The last three cards are services: sold at home only.
    int last = static_cast<int>(goods.size()) - (foreign || atCost ? 4 : 1);
    for (int n = RowCount(); n > 0; --n) {
      const Goods& g = goods[Between(0, last)];
      int series = g.series > 0 ? Between(1, g.series) : 0;
      bool byWeight = std::string(g.unit) == "kg";
      double qty = g.series == 0 ? 1
                   : internal    ? (byWeight ? Between(1, 20) / 2.0 : Between(1, 24))
                                 : (byWeight ? Between(5, 400) / 2.0 : Between(6, 240));
      double cost = series > 0 ? SeriesCost(g, series) : 0;
      int vat = foreign ? 0 : g.vat;
      double price = atCost ? cost : g.price;
      if ((d.options & kGrossPrices) != 0 && vat > 0) price = kx::RoundAmount(2, price * (100 + vat) / 100);
      d.lines.push_back({&g, series, qty, price, vat, cost});
    }
  }

  // Payment form and term of a new document.
  void DrawPayment(WarehouseDoc& d) {
    if (d.kind == kReceipt || d.kind == kReceiptInvoice) {
      d.payInfo = Chance(60) ? kCash : kCard;
      return;
    }
    if (d.kind == kInternalIssue || d.kind == kTransfer) return;
    int roll = Between(1, 100);
    if (roll <= 70) {
      d.payInfo = kTransferPay;
      d.payDelay = std::vector<int>{7, 14, 30}[Between(0, 2)];
    } else {
      d.payInfo = roll <= 80 ? kCash : roll <= 90 ? kCard : roll <= 95 ? kCashOnDelivery : kPrepayment;
    }
  }

  void NewDocument(WarehouseDoc& d) {
    static const char* kIssuePurposes[] = {"Zużycie na potrzeby własne", "Degustacja w sklepie", "Ubytek naturalny",
                                           "Towar przeterminowany"};
    static const char* kTransferPurposes[] = {"Przesunięcie między magazynami", "Uzupełnienie zapasu sklepu"};
    d.date = Day();
    d.saleDate = Chance(80) ? d.date : Date{d.date.year, d.date.month, std::max(1, d.date.day - Between(1, 5))};
    switch (d.kind) {
      case kInvoice:
        d.firm = &AnyDomesticFirm();
        if (d.number % 5 == 2) d.options |= kGrossPrices;
        if (d.number % 10 == 4) d.regFlags |= kRegSkip;   // left out of the register and the exports
        if (d.number % 10 == 7) d.wiFlags |= kWiLeftOut;  // left out of the stock report
        if (d.number % 6 == 3) d.regFlags |= kRegSplitPayment;
        if (Chance(10)) d.regFlags |= kRegTP;
        d.gtu = Chance(20) ? 1 << Between(0, 12) : Chance(5) ? 0x1001 : 0;
        d.ksef = Chance(85) ? Ksef(m_ownNip, d.date) : Chance(50) ? "OFF" : "BFK";
        break;
      case kExport:
      case kEuSupply:
        d.firm = d.kind == kExport ? &AnyNonEuFirm() : &AnyForeignFirm();
        d.regFlags |= kRegGoods;
        d.ksef = "BFK";
        break;
      case kReceiptInvoice:
      case kReceipt:
        d.firm = &AnyDomesticFirm();
        d.options |= kGrossPrices;
        d.ksef = "DI";
        if (d.kind == kReceipt && d.number % 3 == 2) {
          d.regFlags |= kRegSkip;
          d.wiFlags |= kWiCancelled;
          d.comment = "Paragon anulowany";
        }
        break;
      case kPurchase:
        d.firm = &AnyDomesticFirm();
        // The invoice is issued by the firm that the register names: the payer.
        d.ksef = Chance(80) ? Ksef(m_firms[d.firm->PayerNumber() - 1].nip, d.saleDate) : "BFK";
        if (Chance(5)) d.regFlags |= kRegHalved;
        break;
      case kInternalIssue:
        d.saleDate = d.date;
        d.comment = kIssuePurposes[Between(0, 3)];
        if (d.number % 3 == 2) d.wiFlags |= kWiLeftOut;
        break;
      default:  // kTransfer: every other one to a firm, the rest to the target warehouse of the settings
        d.saleDate = d.date;
        if (d.number % 2 == 0) d.firm = &AnyDomesticFirm();
        d.comment = kTransferPurposes[Between(0, 1)];
        break;
    }
    DrawPayment(d);
    AddLines(d);
    // Large invoices are paid in the split payment.
    if (d.kind == kInvoice && Totals(d).Gross() >= 15000) d.regFlags |= kRegSplitPayment;
  }

  // A document that refers to another through its Master fields: a
  // correction returns part of the goods, a WZ or PZ takes the rows of its
  // invoice.
  void FollowMaster(WarehouseDoc& d, const WarehouseDoc& m) {
    static const char* kReasons[] = {"Zwrot towaru uszkodzonego w transporcie", "Błędna ilość na fakturze",
                                     "Reklamacja jakościowa", "Zwrot towaru po terminie przydatności"};
    d.masterKind = m.kind;
    d.masterNumber = m.number;
    d.firm = m.firm;
    d.options = m.options;
    d.payInfo = m.payInfo;
    d.payDelay = m.payDelay;
    d.date = {m.date.year, m.date.month, Between(m.date.day, 28)};
    if (!IsCorrection(d.kind)) {
      // A WZ keeps its invoice's date of sale; a PZ's goods arrive on its own date.
      d.saleDate = d.kind == kIssueToInvoice ? m.saleDate : d.date;
      d.lines = m.lines;
      return;
    }
    d.saleDate = d.date;
    d.gtu = m.gtu;
    d.regFlags = m.regFlags & (kRegSplitPayment | kRegTP | kRegGoods);
    d.ksef = d.kind == kInvoiceCorrection          ? (Chance(85) ? Ksef(m_ownNip, d.date) : "OFF")
             : d.kind == kReceiptInvoiceCorrection ? "DI"
                                                   : "BFK";
    if (d.number % 2 == 0) d.comment = kReasons[Between(0, 3)];
    // Up to a quarter of a row's goods come back; a service is taken back whole.
    for (const Line& l : m.lines) {
      if (m_rowsPerDocument == 0 && !Chance(50)) continue;
      Line r = l;
      if (l.series == 0) {
        r.quantity = -l.quantity;
      } else if (std::string(l.goods->unit) == "kg") {
        r.quantity = -Between(1, std::max(1, static_cast<int>(l.quantity / 2))) / 2.0;
      } else {
        r.quantity = -Between(1, std::max(1, static_cast<int>(l.quantity / 4)));
      }
      d.lines.push_back(r);
    }
    if (d.lines.empty()) {
      d.lines.push_back(m.lines.front());
      d.lines.back().quantity = -d.lines.back().quantity;
    }
  }

  // Amounts per rate of a document from its rows. With gross prices a row's
  // net is taken from its gross value and a rate's tax is gross less net.
  Amounts Totals(const WarehouseDoc& d) const {
    bool gross = (d.options & kGrossPrices) != 0;
    double net[3] = {}, grossSum[3] = {};  // 23, 8 and 5 %; 0 % and exempt go to the amounts directly
    Amounts a;
    for (const Line& l : d.lines) {
      double value = kx::RoundAmount(2, l.quantity * l.price);
      double n = gross ? kx::NetFromGross(value, l.vat) : value;
      int slot = l.vat == 23 ? 0 : l.vat == 8 ? 1 : l.vat == 5 ? 2 : 3;
      if (slot == 3) {
        (l.vat == 0 ? a.zero : a.exempt) += n;
        continue;
      }
      net[slot] += n;
      grossSum[slot] += value;
    }
    static const int kRates[] = {23, 8, 5};
    double* nets[] = {&a.n23, &a.n8, &a.n5};
    double* taxes[] = {&a.t23, &a.t8, &a.t5};
    for (int i = 0; i < 3; ++i) {
      *nets[i] = kx::RoundAmount(2, net[i]);
      *taxes[i] = gross ? kx::RoundAmount(2, grossSum[i] - *nets[i]) : kx::TaxFromNet(*nets[i], kRates[i]);
    }
    a.zero = kx::RoundAmount(2, a.zero);
    a.exempt = kx::RoundAmount(2, a.exempt);
    return a;
  }

  // Value of a document at cost: the sum of its rows' values at cost.
  static double CostValue(const WarehouseDoc& d) {
    double sum = 0;
    for (const Line& l : d.lines) sum += kx::RoundAmount(2, l.quantity * l.unitCost);
    return kx::RoundAmount(2, sum);
  }

  // The month's documents: headers WI and rows WT over the goods W and their
  // series WS, and for each document its VAT register row in REG (same key,
  // amounts summed from the rows; a stock document's row holds only its value
  // at cost).
  void WriteTowix(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    WriteContractors(dir);
    std::string prefix = kx::PeriodTableName(false, "", m_month);
    WriteGoods(dir, prefix);
    std::vector<FieldDef> fields{
        F("Class", FieldKind::Short),     F("Year", FieldKind::Short),         F("MagId", FieldKind::Short),
        F("Number", FieldKind::Integer),  F("Flags", FieldKind::Integer),      F("Document", FieldKind::Text, 30),
        F("User", FieldKind::Integer),    F("Payer", FieldKind::Integer),      F("Date", FieldKind::Date),
        F("SaleDate", FieldKind::Date),   F("PayDate", FieldKind::Date),       F("KSeF", FieldKind::Text, 40),
        F("GTU", FieldKind::Short),       F("ValueFree", FieldKind::Currency), F("Value0", FieldKind::Currency),
        F("Value3", FieldKind::Currency), F("Tax3", FieldKind::Currency),      F("Value7", FieldKind::Currency),
        F("Tax7", FieldKind::Currency),   F("Value22", FieldKind::Currency),   F("Tax22", FieldKind::Currency),
        F("Value", FieldKind::Currency),  F("TotalTax", FieldKind::Currency),  F("CostValue", FieldKind::Currency)};
    std::vector<FieldDef> wiFields{
        F("Type", FieldKind::Short),       F("Year", FieldKind::Short),        F("MagId", FieldKind::Short),
        F("Number", FieldKind::Integer),   F("Name", FieldKind::Text, 30),     F("Date", FieldKind::Date),
        F("SaleDate", FieldKind::Date),    F("Flags", FieldKind::Integer),     F("Options", FieldKind::Integer),
        F("User", FieldKind::Integer),     F("Comment", FieldKind::Text, 60),  F("MasterType", FieldKind::Short),
        F("MasterYear", FieldKind::Short), F("MasterMagId", FieldKind::Short), F("MasterNumber", FieldKind::Integer),
        F("PayInfo", FieldKind::Short),    F("PayDelay", FieldKind::Short)};
    std::vector<FieldDef> wtFields{
        F("Type", FieldKind::Short),     F("Year", FieldKind::Short),     F("MagId", FieldKind::Short),
        F("Number", FieldKind::Integer), F("Pos", FieldKind::Short),      F("Group", FieldKind::Short),
        F("Index", FieldKind::Integer),  F("Series", FieldKind::Integer), F("Quantity", FieldKind::Number),
        F("Price", FieldKind::Currency), F("VAT", FieldKind::Short)};
    std::vector<std::vector<Value>> rows, wi, wt;
    const std::vector<WarehouseDoc> docs = WarehouseMonth();
    rows.reserve(docs.size());
    wi.reserve(docs.size());
    for (const WarehouseDoc& d : docs) {
      int user = d.firm ? d.firm->number : 0;
      int payer = d.firm ? d.firm->PayerNumber() : 0;
      bool referring = d.masterNumber != 0;
      wi.push_back({I(d.kind), I(m_month.year), I(1), I(d.number), T(d.name), D(d.date), D(d.saleDate), I(d.wiFlags),
                    I(d.options), I(user), T(d.comment), I(d.masterKind), I(referring ? m_month.year : 0),
                    I(referring ? 1 : 0), I(d.masterNumber), I(d.payInfo), I(d.payDelay)});
      int pos = 0;
      for (const Line& l : d.lines) {
        wt.push_back({I(d.kind), I(m_month.year), I(1), I(d.number), I(++pos), I(l.goods->group), I(l.goods->index),
                      I(l.series), N(l.quantity), N(l.price), I(l.vat)});
      }
      Amounts a = IsStockOnly(d.kind) ? Amounts{} : Totals(d);
      bool foreign = IsForeign(d.kind);
      double value = foreign ? a.zero : a.Gross();
      // clang-format off
      rows.push_back({I(d.kind), I(m_month.year), I(1), I(d.number), I(d.regFlags), T(d.name), I(user), I(payer),
                      D(d.date), D(d.saleDate), D(AddDays(d.date, d.payDelay)), T(d.ksef), I(d.gtu),
                      N(a.exempt), N(foreign ? 0 : a.zero), N(a.n5), N(a.t5), N(a.n8), N(a.t8), N(a.n23), N(a.t23),
                      N(value), N(a.Tax()), N(CostValue(d))});
      // clang-format on
    }
    kx::tables::WriteParadoxTable(dir / (prefix + "REG.db"), fields, rows, {1250, 4});
    kx::tables::WriteParadoxTable(dir / (prefix + "WI.db"), wiFields, wi, {1250, 4});
    kx::tables::WriteParadoxTable(dir / (prefix + "WT.db"), wtFields, wt, {1250, 5});
  }

  // GTU set of a sale (some carry one group) and procedure set of a purchase
  // (a few imports: bit 1).
  int SaleGtu() { return Chance(20) ? 1 << Between(0, 12) : 0; }
  int BuyProcedure() { return Chance(5) ? 2 : 0; }

  // Rows of another period: the month's filter must leave them out.
  int OtherPeriodRows() const { return std::max(1, m_rows / 10); }
  int OtherMonth() const { return m_month.month % 12 + 1; }

  void WriteRejko(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    std::vector<FieldDef> fields{
        F("RegType", FieldKind::Short),   F("VatPeriod", FieldKind::Short),       F("Number", FieldKind::Integer),
        F("FirmId", FieldKind::Integer),  F("DocName", FieldKind::Text, 30),      F("DocDate", FieldKind::Date),
        F("SaleDate", FieldKind::Date),   F("TypDokumentu", FieldKind::Text, 10), F("GTU", FieldKind::Short),
        F("Procedura", FieldKind::Short), F("KSeF", FieldKind::Text, 40),         F("ValueFree", FieldKind::Currency),
        F("Value0", FieldKind::Currency), F("NetD", FieldKind::Currency),         F("VatD", FieldKind::Currency),
        F("NetB", FieldKind::Currency),   F("VatB", FieldKind::Currency),         F("NetA", FieldKind::Currency),
        F("VatA", FieldKind::Currency)};
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= m_rows + OtherPeriodRows(); ++i) {
      int month = i <= m_rows ? m_month.month : OtherMonth();
      bool sale = Chance(65);
      const Firm& firm = AnyDomesticFirm();
      Date d{m_month.year, month, Between(1, 28)};
      Amounts a = Document();
      char buf[40];
      std::snprintf(buf, sizeof buf, sale ? "FS/%d/%02d/%04d" : "FK/%d/%02d/%04d", i, month, m_month.year);
      rows.push_back({I(sale ? 0 : 128), I(month), I(i), I(firm.number), T(buf), D(d), D(d), T(""),
                      I(sale ? SaleGtu() : 0), I(sale ? 0 : BuyProcedure()),
                      T(Chance(85) ? Ksef(sale ? m_ownNip : firm.nip, d) : "BFK"), N(a.exempt), N(0), N(a.n5), N(a.t5),
                      N(a.n8), N(a.t8), N(a.n23), N(a.t23)});
    }
    kx::tables::WriteParadoxTable(dir / "Register.db", fields, rows);
  }

  // The older layout: nine registers of the year, rows told apart by period id.
  void WriteRejkoRegisters(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    // clang-format off
    std::vector<FieldDef> fields{F("Period Id", FieldKind::Integer),     F("Number", FieldKind::Integer),
                                 F("User", FieldKind::Integer),          F("Dokument", FieldKind::Text, 30),
                                 F("Data Wystawienia", FieldKind::Date), F("Data Sprzedazy", FieldKind::Date),
                                 F("Data Wplywu", FieldKind::Date),      F("TypDokumentu", FieldKind::Text, 10),
                                 F("GTU", FieldKind::Short),             F("Procedura", FieldKind::Short),
                                 F("KSeF", FieldKind::Text, 40),         F("Wart. zw", FieldKind::Currency),
                                 F("Wart. 0", FieldKind::Currency),      F("Wart. 3", FieldKind::Currency),
                                 F("VAT 3", FieldKind::Currency),        F("Wart. 7", FieldKind::Currency),
                                 F("VAT 7", FieldKind::Currency),        F("Wart. 22", FieldKind::Currency),
                                 F("VAT 22", FieldKind::Currency),       F("VAT", FieldKind::Currency),
                                 F("VatNPO", FieldKind::Currency)};
    // clang-format on
    // Register, document prefix, share of the rows in percent.
    struct Reg {
      const char* name;
      const char* prefix;
      int share;
      bool sale;
    };
    static const Reg kRegs[] = {{"REGS", "FS", 40, true},     {"REGSKOR", "KFS", 5, true}, {"REGSU", "FU", 10, true},
                                {"REGB1", "FZ1", 5, false},   {"REGB", "FZ", 25, false},   {"REGB2", "FZ2", 5, false},
                                {"REGBKOR", "KFZ", 3, false}, {"REGBA", "FA", 4, false},   {"REGBP", "ST", 3, false}};
    std::vector<std::vector<Value>> tables[std::size(kRegs)];
    int numbers[std::size(kRegs)] = {};
    for (int i = 1; i <= m_rows + OtherPeriodRows(); ++i) {
      int month = i <= m_rows ? m_month.month : OtherMonth();
      int roll = Between(1, 100);
      size_t r = 0;
      for (int sum = kRegs[0].share; r + 1 < std::size(kRegs) && roll > sum; sum += kRegs[++r].share) {
      }
      const Reg& reg = kRegs[r];
      int number = ++numbers[r];
      const Firm& firm = AnyDomesticFirm();
      Date issued{m_month.year, month, Between(1, 25)};
      Date received{issued.year, issued.month, issued.day + Between(0, 3)};
      Amounts a = Document();
      double npo = !reg.sale && Chance(15) ? kx::RoundAmount(2, a.t23 / 2) : 0;
      char buf[40];
      std::snprintf(buf, sizeof buf, "%s/%d/%02d/%04d", reg.prefix, number, month, m_month.year);
      // clang-format off
      tables[r].push_back({I((m_month.year - 1900) * 100 + 5 * month), I(number), I(firm.number), T(buf),
                           D(issued), D(issued), D(received), T(""), I(reg.sale ? SaleGtu() : 0),
                           I(reg.sale ? 0 : BuyProcedure()),
                           T(Chance(85) ? Ksef(reg.sale ? m_ownNip : firm.nip, issued) : "BFK"), N(a.exempt),
                           N(a.zero), N(a.n5), N(a.t5), N(a.n8), N(a.t8), N(a.n23), N(a.t23),
                           N(kx::RoundAmount(2, a.Tax() - npo)), N(npo)});
      // clang-format on
    }
    // Every register exists, also an empty one: the reader opens all nine.
    for (size_t r = 0; r < std::size(kRegs); ++r) {
      kx::tables::WriteParadoxTable(dir / (std::string(kRegs[r].name) + ".db"), fields, tables[r]);
    }
  }

  // The ledger of the year folder: the chart of accounts "accounts" (three
  // levels: 201, 201-1, 201-1-<firm>; result, off-balance and left-out
  // accounts), the journal "journal" (one row per booking) and its entries
  // "details" for every month of the year, and in December the closing
  // period (period number + 10) that moves the result accounts to 860.
  void WriteLedger(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    std::vector<FieldDef> accFields{F("Primary", FieldKind::Short),         F("Secondary1", FieldKind::Short),
                                    F("Secondary2", FieldKind::Short),      F("Secondary3", FieldKind::Short),
                                    F("Account Name", FieldKind::Text, 60), F("Options", FieldKind::Short),
                                    F("InitYDebit", FieldKind::Currency),   F("InitYCredit", FieldKind::Currency)};
    std::vector<std::vector<Value>> accounts;
    auto account = [&](int p, int s1, int s2, const std::string& name, int options, double initDebit,
                       double initCredit) {
      accounts.push_back({I(p), s1 ? I(s1) : Value::Null(), s2 ? I(s2) : Value::Null(), Value::Null(), T(name),
                          I(options), N(initDebit), N(initCredit)});
    };
    account(100, 0, 0, "Kasa", 0, 8500, 0);
    account(130, 0, 0, "Rachunek bieżący", 0, 184250.40, 0);
    account(200, 0, 0, "Rozrachunki z odbiorcami", 0, 0, 0);
    account(200, 1, 0, "Odbiorcy krajowi", 0, 0, 0);
    account(201, 0, 0, "Rozrachunki z dostawcami", 0, 0, 0);
    account(201, 1, 0, "Dostawcy krajowi", 0, 0, 0);
    for (const Firm& f : m_firms) {
      if (f.options != 0) continue;
      account(200, 1, f.number, f.name, 0, 0, 0);
      account(201, 1, f.number, f.name, 0, 0, 0);
    }
    account(221, 0, 0, "Rozrachunki z urzędem skarbowym", 0, 0, 0);
    account(221, 1, 0, "VAT należny", 0, 0, 0);
    account(221, 2, 0, "VAT naliczony", 0, 0, 0);
    account(330, 0, 0, "Towary", 0, 96340.15, 0);
    account(402, 0, 0, "Usługi obce", 4, 0, 0);
    account(700, 0, 0, "Sprzedaż towarów", 4, 0, 0);
    account(731, 0, 0, "Wartość sprzedanych towarów", 4, 0, 0);
    account(801, 0, 0, "Kapitał zakładowy", 0, 0, 289090.55);
    account(860, 0, 0, "Wynik finansowy", 0, 0, 0);
    account(976, 0, 0, "Zobowiązania warunkowe", 2, 0, 0);
    account(990, 0, 0, "Rozliczenie zobowiązań warunkowych", 2, 0, 0);
    account(999, 0, 0, "Konto archiwalne", 1, 0, 0);

    std::vector<FieldDef> jrnFields{
        F("Period Id", FieldKind::Integer), F("Seq No", FieldKind::Text, 12),      F("Book Type", FieldKind::Text, 30),
        F("Book No", FieldKind::Text, 30),  F("Book Id", FieldKind::Text, 10),     F("Date", FieldKind::Date),
        F("Book Date", FieldKind::Date),    F("Operator Id", FieldKind::Text, 10), F("Comments", FieldKind::Text, 80)};
    std::vector<FieldDef> detFields{F("Period Id", FieldKind::Integer),        F("Seq No", FieldKind::Text, 12),
                                    F("Primary Account", FieldKind::Short),    F("Secondary Account", FieldKind::Short),
                                    F("Secondary2 Account", FieldKind::Short), F("Description", FieldKind::Text, 60),
                                    F("Debit", FieldKind::Currency),           F("Credit", FieldKind::Currency)};
    std::vector<std::vector<Value>> journal, details;
    std::map<int, double> result;  // balance (debit - credit) of each result account
    int seq = 0;
    auto side = [&](int period, const std::string& no, int p, int s1, int s2, const std::string& text, double debit,
                    double credit) {
      details.push_back({I(period), T(no), I(p), I(s1), I(s2), T(text), debit != 0 ? N(debit) : Value::Null(),
                         credit != 0 ? N(credit) : Value::Null()});
      if (p >= 400 && p < 800) result[p] = kx::RoundAmount(2, result[p] + debit - credit);
    };
    static const char* kOperators[] = {"AKOW", "MNOW", "JWIS"};
    const int otherMonthEntries = std::max(1, std::min(m_rows / 2, 30));
    for (int m = 1; m <= 12; ++m) {
      int fv = 0, fz = 0, wb = 0, pk = 0;
      int period = (m_month.year - 1900) * 100 + 5 * m;
      int entries = m == m_month.month ? m_rows : otherMonthEntries;
      for (int i = 0; i < entries; ++i) {
        char no[32];
        std::snprintf(no, sizeof no, "%d/%02d", ++seq, m);
        const Firm& firm = AnyDomesticFirm();
        Date d{m_month.year, m, Between(1, 28)};
        Date booked = AddDays(d, Between(0, 2));
        if (booked.month != m) booked = d;
        int roll = Between(1, 100);
        std::string type, id, doc, comment;
        char buf[40];
        if (roll <= 40) {
          type = "Sprzedaż";
          id = "FV";
          std::snprintf(buf, sizeof buf, "FV %d/%02d/%04d", ++fv, m, m_month.year);
          double net = Amount(100, 8000), tax = kx::TaxFromNet(net, 23);
          side(period, no, 200, 1, firm.number, "Należność od odbiorcy", kx::RoundAmount(2, net + tax), 0);
          side(period, no, 700, 0, 0, "Przychód ze sprzedaży", 0, net);
          side(period, no, 221, 1, 0, "VAT należny", 0, tax);
          comment = Chance(70) ? "Sprzedaż towarów - " + firm.name : "";
        } else if (roll <= 70) {
          type = "Zakup";
          id = "FZ";
          std::snprintf(buf, sizeof buf, "FZ %d/%02d/%04d", ++fz, m, m_month.year);
          double net = Amount(100, 6000), tax = kx::TaxFromNet(net, 23);
          bool service = Chance(25);
          side(period, no, service ? 402 : 330, 0, 0, service ? "Usługa obca" : "Przyjęcie towaru", net, 0);
          side(period, no, 221, 2, 0, "VAT naliczony", tax, 0);
          side(period, no, 201, 1, firm.number, "Zobowiązanie wobec dostawcy", 0, kx::RoundAmount(2, net + tax));
          comment = Chance(70) ? "Zakup od " + firm.name : "";
        } else if (roll <= 90) {
          type = "Wyciąg bankowy";
          id = "WB";
          std::snprintf(buf, sizeof buf, "WB %d/%02d", ++wb, m);
          double amount = Amount(200, 9000);
          side(period, no, 130, 0, 0, "Wpłata odbiorcy", amount, 0);
          side(period, no, 200, 1, firm.number, "Zapłata należności", 0, amount);
        } else {
          type = "Polecenie księgowania";
          id = "PK";
          std::snprintf(buf, sizeof buf, "PK %d/%02d", ++pk, m);
          double amount = Amount(100, 5000);
          side(period, no, 731, 0, 0, "Koszt sprzedanych towarów", amount, 0);
          side(period, no, 330, 0, 0, "Rozchód towarów", 0, amount);
          comment = "Rozliczenie kosztu sprzedaży";
        }
        journal.push_back(
            {I(period), T(no), T(type), T(buf), T(id), D(d), D(booked), T(kOperators[Between(0, 2)]), T(comment)});
      }
      // Off-balance: a guarantee given at the end of each quarter.
      if (m % 3 == 0) {
        char no[32], buf[40];
        std::snprintf(no, sizeof no, "%d/%02d", ++seq, m);
        std::snprintf(buf, sizeof buf, "PK %d/%02d", ++pk, m);
        const double guarantee = Amount(5000, 20000);
        side(period, no, 976, 0, 0, "Poręczenie kredytu odbiorcy", guarantee, 0);
        side(period, no, 990, 0, 0, "Poręczenie kredytu odbiorcy", 0, guarantee);
        journal.push_back({I(period), T(no), T("Polecenie księgowania"), T(buf), T("PK"), D(Date{m_month.year, m, 28}),
                           D(Date{m_month.year, m, 28}), T("AKOW"), T("Poręczenie - zobowiązanie warunkowe")});
      }
    }
    // Closing period of the year: the result accounts' balances go to 860.
    {
      int period = (m_month.year - 1900) * 100 + 5 * 12 + 10;
      char no[32];
      std::snprintf(no, sizeof no, "%d/%02d", ++seq, 12);
      const std::map<int, double> balances = result;
      for (const auto& [p, balance] : balances) {
        if (balance > 0) {
          side(period, no, 860, 0, 0, "Przeniesienie kosztów", balance, 0);
          side(period, no, p, 0, 0, "Zamknięcie konta", 0, balance);
        } else if (balance < 0) {
          side(period, no, p, 0, 0, "Zamknięcie konta", -balance, 0);
          side(period, no, 860, 0, 0, "Przeniesienie przychodów", 0, -balance);
        }
      }
      Date end{m_month.year, 12, 31};
      journal.push_back({I(period), T(no), T("Zamknięcie roku"), T("PK Z/12"), T("PK"), D(end), D(end), T("AKOW"),
                         T("Zamknięcie kont wynikowych")});
    }
    kx::tables::WriteParadoxTable(dir / "accounts.db", accFields, accounts);
    kx::tables::WriteParadoxTable(dir / "journal.db", jrnFields, journal);
    kx::tables::WriteParadoxTable(dir / "details.db", detFields, details);
  }

  void WriteFolvo(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    std::vector<FieldDef> fields{
        F("RegId", FieldKind::Short),     F("Number", FieldKind::Integer),        F("VATMonth", FieldKind::Short),
        F("FirmId", FieldKind::Integer),  F("DocName", FieldKind::Text, 30),      F("RegDate", FieldKind::Date),
        F("SaleDate", FieldKind::Date),   F("TypDokumentu", FieldKind::Text, 10), F("GTU", FieldKind::Short),
        F("Procedura", FieldKind::Short), F("KSeF", FieldKind::Text, 40),         F("ValueFree", FieldKind::Currency),
        F("Value0", FieldKind::Currency), F("Net3", FieldKind::Currency),         F("Vat3", FieldKind::Currency),
        F("Net7", FieldKind::Currency),   F("Vat7", FieldKind::Currency),         F("Net22", FieldKind::Currency),
        F("Vat22", FieldKind::Currency),  F("VatNoDeduct", FieldKind::Currency)};
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= m_rows + OtherPeriodRows(); ++i) {
      int month = i <= m_rows ? m_month.month : OtherMonth();
      bool sale = Chance(60);
      const Firm& firm = AnyDomesticFirm();
      Date d{m_month.year, month, Between(1, 28)};
      Amounts a = Document();
      char buf[40];
      std::snprintf(buf, sizeof buf, sale ? "F/%d/%04d" : "Z/%d/%04d", i, m_month.year);
      // clang-format off
      rows.push_back({I(sale ? 1 : 128), I(i), I(month), I(firm.number), T(buf), D(d), D(d), T(""),
                      I(sale ? SaleGtu() : 0), I(sale ? 0 : BuyProcedure()), T(Chance(85) ? Ksef(sale ? m_ownNip : firm.nip, d) : "BFK"), N(a.exempt), N(0), N(a.n5),
                      N(a.t5), N(a.n8), N(a.t8), N(a.n23), N(a.t23), N(sale ? 0 : Chance(10) ? Amount(1, 50) : 0)});
      // clang-format on
    }
    kx::tables::WriteParadoxTable(dir / "Register.db", fields, rows);
  }

  std::mt19937 m_rng;
  unsigned m_seed;
  Date m_month;
  int m_rows;
  int m_rowsPerDocument;
  bool m_rejkoRegisters;
  std::vector<Firm> m_firms;
  std::vector<size_t> m_domestic, m_eu, m_nonEu;  // indices into m_firms
  std::string m_ownNip = "7270120002";
};

}  // namespace

int main(int argc, char** argv) {
  // Options come in pairs after the folder; a folder name starting with "-"
  // (such as --help) is a mistake, not a folder to fill.
  if (argc < 2 || argv[1][0] == '-' || argc % 2 != 0) {
    std::cerr << "Użycie: gen_demo_data FOLDER [--month RRRR-MM] [--rows N] [--seed S]"
                 " [--rejko-layout single|registers] [--rows-per-document N] [--contractors N]\n";
    return 2;
  }
  std::filesystem::path out = argv[1];
  Options o;
  // A whole number of at least 1, the whole text.
  auto count = [](const std::string& text, int& n) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < 1 || v > 100000000) return false;
    n = static_cast<int>(v);
    return true;
  };
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string opt = argv[i];
    std::string val = argv[i + 1];
    if (opt == "--month" && std::sscanf(val.c_str(), "%4d-%2d", &o.month.year, &o.month.month) == 2 &&
        o.month.month >= 1 && o.month.month <= 12) {
      continue;
    }
    if (opt == "--rows" && count(val, o.rows)) continue;
    if (opt == "--rows-per-document" && count(val, o.rowsPerDocument)) continue;
    if (opt == "--contractors" && count(val, o.contractors)) continue;
    if (opt == "--rejko-layout" && (val == "single" || val == "registers")) {
      o.rejkoRegisters = val == "registers";
      continue;
    }
    if (opt == "--seed") {
      o.seed = static_cast<unsigned>(std::strtoul(val.c_str(), nullptr, 10));
      continue;
    }
    std::cerr << "Błędna opcja: " << opt << " " << val << "\n";
    return 2;
  }
  try {
    Generator(o).Write(out);
  } catch (const kx::Error& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
