#pragma once
// JPK_KR for one month from the bookkeeping program's ledger: the accounts
// list with turnovers and balances (ZOiS) and the journal (Dziennik) from the
// query files SQL/zois.sql and SQL/dziennik.sql, and the account entries
// (KontoZapis) from the ledger's "details" table, each with its control
// element. The work is the same on the dialog's background task and on the
// command line; only the progress reporting differs.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "app/app_context.h"
#include "jpk/model/Schemat_JPK_KR1_v10.h"
#include "platform/tables/value.h"

namespace kx::ledger {

// (year - 1900) * 100 + 5 * month as a 16-bit unsigned value: March 2020 is
// 12015, December 2020 12060 (its closing period 12070).
uint16_t LedgerPeriodId(tables::Date date);
bool IsDecember(uint16_t periodId);

// "%3.3d" of p, then "-s1" when s1 is not 0, then "-s2" when s1 and s2 are
// not 0: (201, 2, 15) gives "201-2-15", (10, 0, 0) "010".
std::string FormatAccountNumber(uint16_t p, uint16_t s1, uint16_t s2);

// The progress of a run: a step's message (empty: keep the last) and its
// position (-1: one step further). It may throw to cancel the run.
using KrProgress = std::function<void(const std::string& message, int position)>;

// What a run made: accounts (ZOiS), journal entries, account entries.
struct KrCounts {
  int accounts = 0;
  int journal = 0;
  int entries = 0;
};

// The steps of a run, for the month of ctx.AppSettings.CurDate, into root
// (a new JPK_KR document): header and subject, ZOiS, Dziennik, KontoZapis.
// made, when given, is told after each account, journal entry and account
// entry (a KRFileWriter's Made, which writes and frees them in batches); they
// are made in the file's order.
// Query files are looked up as "SQL/zois.sql" and "SQL/dziennik.sql" in
// workingDir, then in the program's data folders; the accounts' working
// table is Tmp/_tmp in workingDir (the folder is made when missing). Fails
// with kx::Error; the control elements of a started step are written also
// then.
KrCounts GenerateJpkKR(AppContext& ctx, const std::filesystem::path& workingDir, jpk::kr::IXMLJPKKR root,
                       const KrProgress& progress, const std::function<void()>& made = {});

}  // namespace kx::ledger
