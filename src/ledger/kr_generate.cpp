#include "ledger/kr_generate.h"

#include <system_error>

#include "app/data_files.h"
#include "app/source_tables.h"
#include "jpk/files/jpkTools.h"
#include "ledger/kr_steps.h"
#include "platform/error.h"

namespace kx::ledger {

namespace fs = std::filesystem;

uint16_t LedgerPeriodId(tables::Date date) { return static_cast<uint16_t>((date.year - 1900) * 100 + 5 * date.month); }

bool IsDecember(uint16_t periodId) { return periodId % 100 == 60; }

std::string FormatAccountNumber(uint16_t p, uint16_t s1, uint16_t s2) {
  std::string code = Format("%3.3d", static_cast<int>(p));
  if (s1 != 0) {
    code += Format("-%d", static_cast<int>(s1));
    if (s2 != 0) code += Format("-%d", static_cast<int>(s2));
  }
  return code;
}

namespace detail {

fs::path QueryFile(const KrRun& run, const std::string& relative) {
  std::error_code ec;
  fs::path local = run.workingDir / relative;
  if (fs::is_regular_file(local, ec)) return local;
  if (auto found = FindDataFile(run.ctx, relative)) return *found;
  std::string places = run.workingDir.string();
  for (const fs::path& folder : DataFolders(run.ctx)) places += ", " + folder.string();
  throw Error(Format("Brak pliku zapytania %s (szukano w: %s)", relative.c_str(), places.c_str()));
}

}  // namespace detail

KrCounts GenerateJpkKR(AppContext& ctx, const fs::path& workingDir, jpk::kr::IXMLJPKKR root, const KrProgress& progress,
                       const std::function<void()>& made) {
  const AppSettings& s = ctx.AppSettings;
  int position = 0;
  auto step = [&](const std::string& message, int at) {
    position = at < 0 ? position + 1 : at;
    if (progress) progress(message, at);
  };

  detail::KrRun run{
      ctx, workingDir, SourceFolder(s, TableFolder::RejkoYear), LedgerPeriodId(s.CurDate), false, [&] { step("", -1); },
      made};
  run.december = IsDecember(run.periodId);

  // A header without the firm's address is refused by the schema.
  jpk::RequireFirmAddress(s);
  jpk::PrepareKRDocument(root);
  jpk::FillKRHeader(ctx, root);

  KrCounts counts;
  step("Generowanie ZOiS", -1);
  counts.accounts = detail::WriteAccounts(run, root);

  // The journal's position is set, not counted: the accounts list reports
  // one step of its own in between.
  step("Generowanie dziennika", position + 1);
  // The schema requires at least one journal entry and one account entry: a
  // month without them gives no file.
  const std::string empty = Format("Brak zapisów w księgach za miesiąc %04d-%02d", s.CurDate.year, s.CurDate.month);
  counts.journal = detail::WriteJournal(run, root);
  if (counts.journal == 0) throw Error(empty);

  step("Generowanie zapisów na kontach", -1);
  counts.entries = detail::WriteAccountEntries(run, root);
  if (counts.entries == 0) throw Error(empty);
  return counts;
}

}  // namespace kx::ledger
