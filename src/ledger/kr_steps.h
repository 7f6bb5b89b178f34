#pragma once
// The steps of a JPK_KR run, shared by the files that implement them.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "app/app_context.h"
#include "jpk/model/Schemat_JPK_KR1_v10.h"

namespace kx::ledger::detail {

// What every step needs: the firm, the ledger's year folder, the period and
// the working folder of the query files and the accounts' working table.
struct KrRun {
  AppContext& ctx;
  std::filesystem::path workingDir;
  std::string databaseFolder;  // RejkoDir followed by the year, with its separator
  uint16_t periodId = 0;
  bool december = false;
  std::function<void()> nextStep;  // one progress step without a new message
  std::function<void()> made;      // told after each item made (none: nothing to tell)

  void Made() const {
    if (made) made();
  }
};

// The query file of that relative name ("SQL/zois.sql"): in the working
// folder, else in the program's data folders; fails naming the places.
std::filesystem::path QueryFile(const KrRun& run, const std::string& relative);

// Each returns the number of items made.
int WriteAccounts(const KrRun& run, jpk::kr::IXMLJPKKR root);
int WriteJournal(const KrRun& run, jpk::kr::IXMLJPKKR root);
int WriteAccountEntries(const KrRun& run, jpk::kr::IXMLJPKKR root);

}  // namespace kx::ledger::detail
