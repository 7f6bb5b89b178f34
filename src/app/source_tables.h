#pragma once
// The tables of the three source programs as our drivers open them: the
// folder setting a table lies in, how its file name is formed, its index
// fields and the master table it follows; with the class and kind codes and
// flag bits the drivers select rows by.
//
//   tables::Table wi(ctx.Session), wt(ctx.Session);
//   SetUpTable(ctx, wi, towix::kWI);
//   SetUpTable(ctx, wt, towix::kWT, &wi);
//
// Field names are the source programs' own and are used exactly.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/AppSettings.h"
#include "app/app_context.h"
#include "platform/tables/table.h"

namespace kx {

// The setting a table's folder comes from.
enum class TableFolder {
  KXData,     // KXDataDir
  User,       // UserDir
  RejkoYear,  // RejkoDir, then the four-digit year of CurDate as a subfolder
  RejkoUser,  // RejkoUserDir
  FolvoYear,  // FolvoDir, then the four-digit year of CurDate as a subfolder
};

// How a table's file name is formed from its name.
enum class TableNaming {
  Fixed,       // the name as it is
  KxPeriod,    // PeriodTableName(YearKxTbl, name, CurDate)
  UserPeriod,  // PeriodTableName(YearUsrTbl, name, CurDate)
};

// One table as a driver opens it.
struct SourceTable {
  const char* name = "";  // file name, or its part after the period prefix
  TableFolder folder = TableFolder::KXData;
  TableNaming naming = TableNaming::Fixed;
  const char* indexFields = "";  // "F1;F2"; empty: the file's own key order
  // The table whose current record this one follows, matched on masterFields
  // (fields of the master) to the first index fields. A link with masterFields
  // but no master follows whichever of several tables is being read.
  const SourceTable* master = nullptr;
  const char* masterFields = "";
};

// Folder of the setting, ending with a separator as the settings do.
std::string SourceFolder(const AppSettings& s, TableFolder folder);
// File name without folder and extension, for the month of CurDate.
std::string SourceFileName(const AppSettings& s, const SourceTable& table);
// Folder and file name: the name a cursor is given.
std::string SourceTableName(const AppSettings& s, const SourceTable& table);
// Whether the table's Paradox file (.db) is there.
bool SourceTableExists(const AppSettings& s, const SourceTable& table);

// Names the closed cursor, sets its index fields and links it to `master` on
// the described master fields (no link when the description has none).
void SetUpTable(const AppContext& ctx, tables::Table& table, const SourceTable& description,
                tables::Table* master = nullptr);

// Field names of a VAT register row, for the layouts that differ only in them.
struct VatRegisterFields {
  const char* document;      // document number
  const char* issueDate;     // issue date of a sale
  const char* saleDate;      // sale date of a sale
  const char* purchaseDate;  // purchase (document) date of a purchase
  const char* receiptDate;   // receipt date of a purchase
  const char* valueFree;     // exempt net
  const char* value0;        // 0 % net
  const char* net5;
  const char* tax5;
  const char* net8;
  const char* tax8;
  const char* net23;
  const char* tax23;
  const char* totalTax;          // nullptr: the rates' taxes are summed
  const char* nonDeductibleTax;  // nullptr: the layout has none
};

// ---------------------------------------------------------------- warehouse

namespace towix {

// Key of a document: WI's primary key, and the fields its rows and register
// row carry it in.
inline constexpr const char* kDocumentKey = "Type;Year;MagId;Number";

// The month's tables of the export, in the order they are opened.
inline constexpr SourceTable kWI{.name = "WI", .naming = TableNaming::KxPeriod, .indexFields = kDocumentKey};
// A second cursor on the document headers, unfiltered, for FindKey by a
// document's Master* fields.
inline constexpr SourceTable kMaster{.name = "WI", .naming = TableNaming::KxPeriod, .indexFields = kDocumentKey};
inline constexpr SourceTable kWT{.name = "WT",
                                 .naming = TableNaming::KxPeriod,
                                 .indexFields = kDocumentKey,
                                 .master = &kWI,
                                 .masterFields = kDocumentKey};
inline constexpr SourceTable kW{.name = "W",
                                .naming = TableNaming::KxPeriod,
                                .indexFields = "Group;Index",
                                .master = &kWT,
                                .masterFields = "Group;Index"};
inline constexpr SourceTable kWS{.name = "WS",
                                 .naming = TableNaming::KxPeriod,
                                 .indexFields = "Group;Index;SeriesNo",
                                 .master = &kWT,
                                 .masterFields = "Group;Index;Series"};
inline constexpr SourceTable kReg{.name = "REG",
                                  .naming = TableNaming::KxPeriod,
                                  .indexFields = "Class;Year;MagId;Number",
                                  .master = &kWI,
                                  .masterFields = kDocumentKey};
inline constexpr SourceTable kUR{.name = "UR",
                                 .folder = TableFolder::User,
                                 .naming = TableNaming::UserPeriod,
                                 .indexFields = "Number",
                                 .master = &kWI,
                                 .masterFields = "User"};
inline constexpr SourceTable kUC{.name = "UC",
                                 .folder = TableFolder::User,
                                 .naming = TableNaming::UserPeriod,
                                 .indexFields = "Number",
                                 .master = &kWI,
                                 .masterFields = "User"};
// Opened and linked only when the file exists (UsersTableExists).
inline constexpr SourceTable kUsers{.name = "Users",
                                    .folder = TableFolder::User,
                                    .indexFields = "Number",
                                    .master = &kUR,
                                    .masterFields = "PayerNumber"};

// The register as the JPK_V7M generation reads it: walked alone, filtered to
// the month, with the contractor of each row's Payer: Users when that file
// exists, otherwise UR for sales and UC for purchases.
inline constexpr SourceTable kVatRegister{.name = "REG", .naming = TableNaming::KxPeriod};
inline constexpr SourceTable kVatUsers{.name = "Users",
                                       .folder = TableFolder::User,
                                       .indexFields = "Number",
                                       .master = &kVatRegister,
                                       .masterFields = "Payer"};
inline constexpr SourceTable kVatBuyers{.name = "UR",
                                        .folder = TableFolder::User,
                                        .naming = TableNaming::UserPeriod,
                                        .indexFields = "Number",
                                        .master = &kVatRegister,
                                        .masterFields = "Payer"};
inline constexpr SourceTable kVatSellers{.name = "UC",
                                         .folder = TableFolder::User,
                                         .naming = TableNaming::UserPeriod,
                                         .indexFields = "Number",
                                         .master = &kVatRegister,
                                         .masterFields = "Payer"};
const SourceTable& VatContractors(bool usersTable, bool sales);

// REG Flags bits.
inline constexpr int64_t kRegCostInvoice = 0x02;   // purchase read only with AddCostInvo
inline constexpr int64_t kRegSkip = 0x08;          // left out of every output (a class 6 row: cancelled receipt)
inline constexpr int64_t kRegFP = 0x10;            // sale of type "FP"
inline constexpr int64_t kRegHalved = 0x40;        // purchase amounts halved
inline constexpr int64_t kRegSplitPayment = 0x80;  // split payment
inline constexpr int64_t kRegTP = 0x100;           // procedure marker TP
inline constexpr int64_t kRegGoods = 0x200;        // foreign sale of goods (else services)
inline constexpr int64_t kRegIMP = 0x400;          // purchase marker IMP

// WI Flags bits that leave a document out of JPK_MAG, and the Options bit of
// gross prices.
inline constexpr int64_t kDocNotInMag = 0x01 | 0x10;
inline constexpr int64_t kDocGrossPrices = 0x40;

// REG Class codes.
inline constexpr int64_t kClassCancelledReceipt = 6;  // a receipt; with kRegSkip a cancelled one
bool IsForeignSaleClass(int64_t cls);                 // 2, 3, 22, 23: no tax, the document's Value
bool IsEuSaleClass(int64_t cls);                      // 22, 23
bool IsFpClass(int64_t cls);                          // 4, 5: invoices to receipts, type "FP"
bool IsPurchaseClass(int64_t cls);                    // 128, 129
bool RegisterClassChecksNip(int64_t cls);             // all but 2 to 7

// WI Type codes (document kinds). Of the invoice kinds an odd code is the
// correction of the even code below it.
inline constexpr std::array<int, 11> kSaleDocTypes = {0, 1, 2, 3, 4, 5, 7, 22, 23, 50, 51};
inline constexpr int kMarketInvoiceType = 48;            // a sale document type with AddFaktMarket
bool IsSaleDocType(const AppSettings& s, int64_t type);  // in SaleDocTypes
bool IsFaKind(int64_t type);                             // JPK_FA: 0-5, 20-23, 48-53
bool IsPzKind(int64_t type);                             // goods received: 128, 129, 152, 153
bool IsWzKind(int64_t type);                             // goods issued: 0-7, 9-15, 18-25
bool IsRwKind(int64_t type);                             // internal issue: 32
bool IsMmKind(int64_t type);                             // transfer: 8, 16, 17, 36
bool KindChecksNip(int64_t type);                        // all but 4 to 7

}  // namespace towix

// ---------------------------------------------------------------- bookkeeping

namespace rejko {

// The newer layout: one table "Register" in the year folder, read once for
// sales and once for purchases, told apart by RegType.
inline constexpr SourceTable kSingleRegister{.name = "Register", .folder = TableFolder::RejkoYear};
inline constexpr SourceTable kSingleRegisterUsers{.name = "Users",
                                                  .folder = TableFolder::RejkoUser,
                                                  .indexFields = "Number",
                                                  .master = &kSingleRegister,
                                                  .masterFields = "FirmId"};
inline constexpr int kSaleRegType = 0;
inline constexpr int kPurchaseRegType = 128;
std::string SingleRegisterFilter(int regType, int month);

// The older layout: nine registers in the year folder, in reading order.
inline constexpr std::array<SourceTable, 9> kNineRegisters = {{
    {.name = "REGS", .folder = TableFolder::RejkoYear},
    {.name = "REGSKOR", .folder = TableFolder::RejkoYear},
    {.name = "REGSU", .folder = TableFolder::RejkoYear},
    {.name = "REGB1", .folder = TableFolder::RejkoYear},
    {.name = "REGB", .folder = TableFolder::RejkoYear},
    {.name = "REGB2", .folder = TableFolder::RejkoYear},
    {.name = "REGBKOR", .folder = TableFolder::RejkoYear},
    {.name = "REGBA", .folder = TableFolder::RejkoYear},
    {.name = "REGBP", .folder = TableFolder::RejkoYear},
}};
inline constexpr SourceTable kNineRegistersUsers{
    .name = "Users", .folder = TableFolder::RejkoUser, .indexFields = "Number", .masterFields = "User"};
inline constexpr const char* kZakup2ExRegister = "REGB1";            // also sales with Zakup2Ex
inline constexpr const char* kSprzedaz2ImpUslugExRegister = "REGS";  // import of services with Sprzedaz2ImpUslugEx
inline constexpr const char* kFixedAssetsRegister = "REGBP";         // purchases into K_40/K_41
// (year - 1900) * 100 + 5 * month: May 2025 is 12525.
int PeriodId(tables::Date date);
std::string PeriodIdFilter(tables::Date date);
bool ReadAsSales(std::string_view registerName, bool zakup2Ex);
bool ReadAsPurchases(std::string_view registerName);

// clang-format off
inline constexpr VatRegisterFields kSingleRegisterFields{
    .document = "DocName", .issueDate = "DocDate", .saleDate = "SaleDate", .purchaseDate = "SaleDate",
    .receiptDate = "DocDate", .valueFree = "ValueFree", .value0 = "Value0", .net5 = "NetD", .tax5 = "VatD",
    .net8 = "NetB", .tax8 = "VatB", .net23 = "NetA", .tax23 = "VatA", .totalTax = nullptr,
    .nonDeductibleTax = nullptr};
inline constexpr VatRegisterFields kNineRegistersFields{
    .document = "Dokument", .issueDate = "Data Wystawienia", .saleDate = "Data Sprzedazy",
    .purchaseDate = "Data Wystawienia", .receiptDate = "Data Wplywu", .valueFree = "Wart. zw", .value0 = "Wart. 0",
    .net5 = "Wart. 3", .tax5 = "VAT 3", .net8 = "Wart. 7", .tax8 = "VAT 7", .net23 = "Wart. 22", .tax23 = "VAT 22",
    .totalTax = "VAT", .nonDeductibleTax = "VatNPO"};
// clang-format on

// Procedura bit of the purchase marker IMP.
inline constexpr int kProcedureIMP = 0x02;

}  // namespace rejko

// ---------------------------------------------------------------- register program

namespace folvo {

// One register of the year, sales and purchases told apart by RegId.
inline constexpr SourceTable kRegister{.name = "Register", .folder = TableFolder::FolvoYear};
inline constexpr SourceTable kUsers{.name = "Users",
                                    .folder = TableFolder::User,
                                    .indexFields = "Number",
                                    .master = &kRegister,
                                    .masterFields = "FirmId"};
inline constexpr int64_t kFirstPurchaseRegId = 128;
bool IsPurchaseRegId(int64_t regId);  // 128 or more; below: a sale
std::string MonthFilter(int month);

// clang-format off
inline constexpr VatRegisterFields kRegisterFields{
    .document = "DocName", .issueDate = "RegDate", .saleDate = "SaleDate", .purchaseDate = "SaleDate",
    .receiptDate = "RegDate", .valueFree = "ValueFree", .value0 = "Value0", .net5 = "Net3", .tax5 = "Vat3",
    .net8 = "Net7", .tax8 = "Vat7", .net23 = "Net22", .tax23 = "Vat22", .totalTax = nullptr,
    .nonDeductibleTax = "VatNoDeduct"};
// clang-format on

// Procedura bit of the purchase marker IMP.
inline constexpr int kProcedureIMP = 0x02;

}  // namespace folvo

}  // namespace kx
