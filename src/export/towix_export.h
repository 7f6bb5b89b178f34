#pragma once
// Exports of the warehouse program's documents of one month: JPK_FA, JPK_MAG
// and the import files of the accounting programs Wapro (Magik), Sage
// (Symfonia) and Ramzes.
//
// An export is two steps. RunExport opens the month's tables, walks them
// with the chosen output and closes them again; it asks only what the walk
// needs (contractor questions) and writes nothing. The front end then hands
// the result over: the window asks "Zapisać wygenerowany plik?" and saves
// (OfferExport); the command line writes the result to its -o file, and only
// a complete one.

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/app_context.h"
#include "app/ramzes_document.h"
#include "jpk/model/Schemat_JPK_FA4_v10.h"
#include "jpk/model/Schemat_JPK_MAG1_v10.h"
#include "platform/tables/table.h"
#include "platform/xml/xml_document.h"

namespace kx::exports {

// The output, chosen by the text of the dialog's format box.
enum class ExportFormat { None, JpkFa, JpkMag, Wapro, Sage, Ramzes, Buchalter };

// "JPK_FA" and "JPK_MAG" and "Ramzes" and "Buchalter" exactly; any text
// containing "Wapro" or "Sage" (letter case ignored); else None.
ExportFormat ExportFormatFromText(std::string_view text);

// The nine cursors of one run over the month of CurDate: named, the document
// headers filtered to the month, linked and opened by the constructor (which
// also sets UsersTableExists); closed in the system's order, and the session
// deactivated, by the destructor, also after a failure.
class WarehouseTables {
 public:
  explicit WarehouseTables(AppContext& ctx);
  ~WarehouseTables();
  WarehouseTables(const WarehouseTables&) = delete;
  WarehouseTables& operator=(const WarehouseTables&) = delete;

  tables::Table wi;      // document headers of the month, in key order (Type, Year, MagId, Number)
  tables::Table master;  // the same headers unfiltered, for FindMaster
  tables::Table wt;      // rows of the current document
  tables::Table w;       // goods card of the current row
  tables::Table ws;      // series of the current row
  tables::Table reg;     // VAT register row of the current document
  tables::Table ur;      // contractor of the current document (period copy)
  tables::Table uc;      // second contractor table of the period (supplier of goods received)
  tables::Table users;   // contractor master table, opened only when UsersTableExists

  bool UsersOpen() const { return m_usersOpen; }
  // The table ReadContractor reads the current document's contractor from:
  // Users when it exists, else UR.
  tables::Table& ContractorTable() { return m_usersOpen ? users : ur; }
  // Positions `master` on the document that the current document of `wi`
  // corrects or refers to (its Master* fields); false when there is none.
  bool FindMaster();

 private:
  AppContext& m_ctx;
  bool m_usersOpen = false;
};

// Failures of a walk that keeps what it made before the failure (Wapro,
// Sage): the result holds the part, `failure` the error.
struct WaproExport {
  xml::XmlDocument document;
  std::string text;  // MakeWaproText: the file's text instead of the document
  int count = 0;     // documents written
  std::exception_ptr failure;
};

struct SageExport {
  std::string text;  // the whole file, code page 1250, CRLF line ends
  int count = 0;     // document blocks written
  std::exception_ptr failure;
};

// The outputs. JPK_FA, JPK_MAG and Ramzes throw kx::Error at the first
// failure; Wapro and Sage return the part made with the failure.
jpk::fa::IXMLJPKFA MakeJpkFa(AppContext& ctx, WarehouseTables& t);
// The same into root (a new document); made, when given, is told after each
// invoice and row (a jpk::JpkFileWriter's Made, which writes and frees them
// in batches).
struct FaCounts {
  int invoices = 0;
  int rows = 0;
};
FaCounts WriteJpkFa(AppContext& ctx, WarehouseTables& t, jpk::fa::IXMLJPKFA root,
                    const std::function<void()>& made = {});
jpk::mag::IXMLJPKMAG MakeJpkMag(AppContext& ctx, WarehouseTables& t);
WaproExport MakeWapro(AppContext& ctx, WarehouseTables& t);
// The same kept as the file's text (`text`, no tree of the month held).
WaproExport MakeWaproText(AppContext& ctx, WarehouseTables& t);
SageExport MakeSage(AppContext& ctx, WarehouseTables& t);
xml::XmlDocument MakeRamzes(AppContext& ctx, WarehouseTables& t);
// The same records into an output (the export keeps them as the file's text).
void MakeRamzes(AppContext& ctx, WarehouseTables& t, RamzesOutput& output);

// What one run made. For None and Buchalter nothing is made.
struct ExportResult {
  ExportFormat format = ExportFormat::None;
  jpk::fa::IXMLJPKFA fa;
  jpk::mag::IXMLJPKMAG mag;
  std::string text;            // Sage; Wapro, Ramzes: the file's text, written record by record
  int count = 0;               // Wapro, Sage: documents written
  std::exception_ptr failure;  // Wapro, Sage: the walk stopped here
};

// The driver: the month's tables, the output, the tables closed. Throws when
// a table cannot be opened, a field is missing, or JPK_FA, JPK_MAG or Ramzes
// fail.
ExportResult RunExport(AppContext& ctx, ExportFormat format);

// The file of the Sage output in the working folder.
inline constexpr const char* kSageFileName = "kx2sage.txt";

// The window's hand-over: for Wapro and Sage the count message; the save
// question and the save dialog (JPK_FA, JPK_MAG, Wapro, Ramzes), or the Sage
// file written in `workingDir`; for Buchalter the message "w trakcie
// realizacji". A failure kept in the result is thrown afterwards.
void OfferExport(AppContext& ctx, ExportResult& result, const std::string& workingDir);

// RunExport and OfferExport, as the dialog's "Generuj" runs them.
void DoFromTowix(AppContext& ctx, ExportFormat format, const std::string& workingDir);

// The command line's JPK_FA: written to fileName while it is made, so a
// month of a hundred thousand invoices is never held whole. Returns the
// count line shown, as WriteExport does.
std::string ExportJpkFaToFile(AppContext& ctx, const std::string& fileName);

// The command line's hand-over: a complete result written whole to fileName
// (an older file is replaced only by the finished one); a failure kept in
// the result is thrown and nothing is written. Returns the count line shown.
std::string WriteExport(ExportResult& result, const std::string& fileName);

}  // namespace kx::exports
