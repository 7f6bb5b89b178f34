// The export driver: the month's warehouse tables, the chosen output, and
// the hand-over of what it made to the window or to a file.

#include "export/towix_export.h"

#include <unistd.h>

#include <filesystem>

#include "app/contractor.h"
#include "app/source_tables.h"
#include "jpk/files/jpkTools.h"
#include "platform/error.h"
#include "platform/temp_file.h"
#include "platform/text_utils.h"

namespace kx::exports {
using namespace towix;

namespace {

std::string MonthFilter(tables::Date curDate) {
  std::string first = tables::DateText(jpk::FirstDayOfMonth(curDate));
  std::string last = tables::DateText(jpk::LastDayOfMonth(curDate));
  return Format("(Date >= %s) and (Date <= %s)", first.c_str(), last.c_str());
}

bool Contains(std::string_view text, std::string_view part) {
  return LowerCase(std::string(text)).find(LowerCase(std::string(part))) != std::string::npos;
}

void ShowCount(AppContext& ctx, int count) {
  if (count >= 1) ctx.ui.Show(ui::BoxKind::Information, Format("Wygenerowano plik zawierający dokumentów: %d", count));
}

bool AskSave(AppContext& ctx) {
  return ctx.ui.Ask(ui::BoxKind::Confirmation, "Zapisać wygenerowany plik?", {ui::Button::Yes, ui::Button::No},
                    ui::Button::Yes) == ui::Button::Yes;
}

// The save dialog with the export's proposed name, then the whole file written.
void SaveTextAs(AppContext& ctx, const std::string& text, const std::string& suffix) {
  auto fileName = jpk::AskSaveFileName(ctx, suffix);
  if (!fileName) return;
  ui::BusyCursor busy(ctx.ui);
  ReplaceFileWhole(*fileName, text);
}

}  // namespace

ExportFormat ExportFormatFromText(std::string_view text) {
  if (text == "JPK_FA") return ExportFormat::JpkFa;
  if (text == "JPK_MAG") return ExportFormat::JpkMag;
  if (Contains(text, "Wapro")) return ExportFormat::Wapro;
  if (Contains(text, "Sage")) return ExportFormat::Sage;
  if (text == "Ramzes") return ExportFormat::Ramzes;
  if (text == "Buchalter") return ExportFormat::Buchalter;
  return ExportFormat::None;
}

// ---------------------------------------------------------------- tables

WarehouseTables::WarehouseTables(AppContext& ctx)
    : wi(ctx.Session),
      master(ctx.Session),
      wt(ctx.Session),
      w(ctx.Session),
      ws(ctx.Session),
      reg(ctx.Session),
      ur(ctx.Session),
      uc(ctx.Session),
      users(ctx.Session),
      m_ctx(ctx) {
  ctx.Session.Activate();
  try {
    SetUpTable(ctx, wi, kWI);
    SetUpTable(ctx, master, kMaster);
    SetUpTable(ctx, wt, kWT, &wi);
    SetUpTable(ctx, w, kW, &wt);
    SetUpTable(ctx, ws, kWS, &wt);
    SetUpTable(ctx, reg, kReg, &wi);
    SetUpTable(ctx, ur, kUR, &wi);
    SetUpTable(ctx, uc, kUC, &wi);
    UsersTableExists = SourceTableExists(ctx.AppSettings, kUsers);
    SetUpTable(ctx, users, kUsers, UsersTableExists ? &ur : nullptr);

    wi.SetFilter(MonthFilter(ctx.AppSettings.CurDate));
    wi.SetFiltered(true);

    wi.Open();
    master.Open();
    wt.Open();
    w.Open();
    ws.Open();
    reg.Open();
    ur.Open();
    uc.Open();
    if (UsersTableExists) {
      users.Open();
      m_usersOpen = true;
    }
  } catch (...) {
    ctx.Session.Deactivate();
    throw;
  }
}

WarehouseTables::~WarehouseTables() {
  uc.Close();
  ur.Close();
  users.Close();
  reg.Close();
  ws.Close();
  w.Close();
  wt.Close();
  wi.Close();
  master.Close();
  m_ctx.Session.Deactivate();
}

bool WarehouseTables::FindMaster() {
  return master.FindKey({wi.FieldByName("MasterType"), wi.FieldByName("MasterYear"), wi.FieldByName("MasterMagId"),
                         wi.FieldByName("MasterNumber")});
}

// ---------------------------------------------------------------- driver

ExportResult RunExport(AppContext& ctx, ExportFormat format) {
  ExportResult result;
  result.format = format;
  if (format == ExportFormat::JpkFa || format == ExportFormat::JpkMag) jpk::RequireFirmAddress(ctx.AppSettings);
  WarehouseTables t(ctx);
  switch (format) {
    case ExportFormat::JpkFa: result.fa = MakeJpkFa(ctx, t); break;
    case ExportFormat::JpkMag: result.mag = MakeJpkMag(ctx, t); break;
    case ExportFormat::Wapro: {
      WaproExport wapro = MakeWaproText(ctx, t);
      result.text = std::move(wapro.text);
      result.count = wapro.count;
      result.failure = wapro.failure;
      break;
    }
    case ExportFormat::Sage: {
      SageExport sage = MakeSage(ctx, t);
      result.text = std::move(sage.text);
      result.count = sage.count;
      result.failure = sage.failure;
      break;
    }
    case ExportFormat::Ramzes: {
      // Kept as text: no tree of the whole month is held.
      RamzesFileOutput text;
      MakeRamzes(ctx, t, text);
      result.text = text.TakeText();
      break;
    }
    case ExportFormat::Buchalter:
    case ExportFormat::None: break;
  }
  return result;
}

void OfferExport(AppContext& ctx, ExportResult& result, const std::string& workingDir) {
  switch (result.format) {
    case ExportFormat::JpkFa:
      if (AskSave(ctx)) jpk::SaveFAAs(ctx, result.fa);
      break;
    case ExportFormat::JpkMag:
      if (AskSave(ctx)) jpk::SaveMAGAs(ctx, result.mag);
      break;
    case ExportFormat::Wapro:
      ShowCount(ctx, result.count);
      if (AskSave(ctx)) SaveTextAs(ctx, result.text, "_Towix2Wapro");
      break;
    case ExportFormat::Sage:
      // The blocks written before a failure stay in the file.
      ReplaceFileWhole(std::filesystem::path(workingDir) / kSageFileName, result.text);
      ShowCount(ctx, result.count);
      break;
    case ExportFormat::Ramzes:
      if (AskSave(ctx)) SaveTextAs(ctx, result.text, "_Towix2Ramzes");
      break;
    case ExportFormat::Buchalter: ctx.ui.Show(ui::BoxKind::Information, "w trakcie realizacji"); break;
    case ExportFormat::None: break;
  }
  if (result.failure) std::rethrow_exception(result.failure);
}

void DoFromTowix(AppContext& ctx, ExportFormat format, const std::string& workingDir) {
  if (format == ExportFormat::Sage) RequireWritableFolder(workingDir);
  ExportResult result;
  {
    // The hourglass while the tables are read; the save dialogs come without it.
    ui::BusyCursor busy(ctx.ui);
    result = RunExport(ctx, format);
  }
  OfferExport(ctx, result, workingDir);
}

std::string ExportJpkFaToFile(AppContext& ctx, const std::string& fileName) {
  jpk::RequireFirmAddress(ctx.AppSettings);
  WarehouseTables t(ctx);
  jpk::fa::IXMLJPKFA root = jpk::fa::NewJPKFA();
  jpk::JpkFileWriter file(root.Node(), fileName);
  const FaCounts made = WriteJpkFa(ctx, t, root, [&file] { file.Made(); });
  file.Finish();
  file.Place();
  return Format("Zapisano plik %s: faktur %d, wierszy %d", fileName.c_str(), made.invoices, made.rows);
}

std::string WriteExport(ExportResult& result, const std::string& fileName) {
  if (result.failure) std::rethrow_exception(result.failure);
  switch (result.format) {
    case ExportFormat::JpkFa: {
      jpk::SaveFAFile(result.fa, fileName);
      return Format("Zapisano plik %s: faktur %d, wierszy %d", fileName.c_str(), result.fa.Faktura().Count(),
                    result.fa.FakturaWiersz().Count());
    }
    case ExportFormat::JpkMag: {
      jpk::SaveMAGFile(result.mag, fileName);
      return Format("Zapisano plik %s", fileName.c_str());
    }
    case ExportFormat::Wapro:
      ReplaceFileWhole(fileName, result.text);
      return Format("Zapisano plik %s: dokumentów %d", fileName.c_str(), result.count);
    case ExportFormat::Ramzes:
      ReplaceFileWhole(fileName, result.text);
      return Format("Zapisano plik %s", fileName.c_str());
    case ExportFormat::Sage:
      ReplaceFileWhole(fileName, result.text);
      return Format("Zapisano plik %s: dokumentów %d", fileName.c_str(), result.count);
    case ExportFormat::Buchalter: throw Error("Eksport do programu Buchalter: w trakcie realizacji");
    case ExportFormat::None: break;
  }
  throw Error("Nie wybrano formatu w jakim mają być wygenerowane dane");
}

}  // namespace kx::exports
