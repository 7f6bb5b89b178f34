#include "app/source_tables.h"

#include <filesystem>

#include "app/kxTools.h"
#include "platform/error.h"
#include "platform/tables/table_file.h"
#include "platform/text_utils.h"

namespace kx {

namespace {

std::string YearFolder(const std::string& dir, tables::Date date) {
  return dir + Format("%04d", date.year) + std::string(1, std::filesystem::path::preferred_separator);
}

bool Between(int64_t code, int64_t first, int64_t last) { return code >= first && code <= last; }

}  // namespace

std::string SourceFolder(const AppSettings& s, TableFolder folder) {
  switch (folder) {
    case TableFolder::KXData: return s.KXDataDir;
    case TableFolder::User: return s.UserDir;
    case TableFolder::RejkoYear: return YearFolder(s.RejkoDir, s.CurDate);
    case TableFolder::RejkoUser: return s.RejkoUserDir;
    case TableFolder::FolvoYear: return YearFolder(s.FolvoDir, s.CurDate);
  }
  return {};
}

std::string SourceFileName(const AppSettings& s, const SourceTable& table) {
  switch (table.naming) {
    case TableNaming::Fixed: return table.name;
    case TableNaming::KxPeriod: return PeriodTableName(s.YearKxTbl, table.name, s.CurDate);
    case TableNaming::UserPeriod: return PeriodTableName(s.YearUsrTbl, table.name, s.CurDate);
  }
  return table.name;
}

std::string SourceTableName(const AppSettings& s, const SourceTable& table) {
  return SourceFolder(s, table.folder) + SourceFileName(s, table);
}

bool SourceTableExists(const AppSettings& s, const SourceTable& table) {
  return tables::LocateTableFile(SourceTableName(s, table) + ".db").has_value();
}

void SetUpTable(const AppContext& ctx, tables::Table& table, const SourceTable& description, tables::Table* master) {
  table.SetTableName(SourceTableName(ctx.AppSettings, description));
  table.SetIndexFieldNames(description.indexFields);
  table.SetMasterSource(master);
  table.SetMasterFields(master ? description.masterFields : "");
}

// ---------------------------------------------------------------- warehouse

namespace towix {

const SourceTable& VatContractors(bool usersTable, bool sales) {
  if (usersTable) return kVatUsers;
  return sales ? kVatBuyers : kVatSellers;
}

bool IsForeignSaleClass(int64_t cls) { return cls == 2 || cls == 3 || IsEuSaleClass(cls); }
bool IsEuSaleClass(int64_t cls) { return cls == 22 || cls == 23; }
bool IsFpClass(int64_t cls) { return cls == 4 || cls == 5; }
bool IsPurchaseClass(int64_t cls) { return cls == 128 || cls == 129; }
bool RegisterClassChecksNip(int64_t cls) { return cls < 2 || cls > 7; }

bool IsSaleDocType(const AppSettings& s, int64_t type) {
  return type >= 0 && type < static_cast<int64_t>(s.SaleDocTypes.size()) &&
         s.SaleDocTypes.test(static_cast<size_t>(type));
}

bool IsFaKind(int64_t type) { return Between(type, 0, 5) || Between(type, 20, 23) || Between(type, 48, 53); }
bool IsPzKind(int64_t type) { return type == 128 || type == 129 || type == 152 || type == 153; }
bool IsWzKind(int64_t type) { return Between(type, 0, 7) || Between(type, 9, 15) || Between(type, 18, 25); }
bool IsRwKind(int64_t type) { return type == 32; }
bool IsMmKind(int64_t type) { return type == 8 || type == 16 || type == 17 || type == 36; }
bool KindChecksNip(int64_t type) { return type < 4 || type > 7; }

}  // namespace towix

// ---------------------------------------------------------------- bookkeeping

namespace rejko {

std::string SingleRegisterFilter(int regType, int month) {
  return Format("([RegType] = %d) and ([VatPeriod] = %d)", regType, month);
}

int PeriodId(tables::Date date) { return (date.year - 1900) * 100 + 5 * date.month; }

std::string PeriodIdFilter(tables::Date date) { return Format("[Period Id] = %d", PeriodId(date)); }

bool ReadAsSales(std::string_view registerName, bool zakup2Ex) {
  return UpperCase(registerName).find("REGS") != std::string::npos || (zakup2Ex && registerName == kZakup2ExRegister);
}

bool ReadAsPurchases(std::string_view registerName) {
  return UpperCase(registerName).find("REGB") != std::string::npos;
}

}  // namespace rejko

// ---------------------------------------------------------------- register program

namespace folvo {

bool IsPurchaseRegId(int64_t regId) { return regId >= kFirstPurchaseRegId; }

std::string MonthFilter(int month) { return Format("[VATMonth] = %d", month); }

}  // namespace folvo

}  // namespace kx
