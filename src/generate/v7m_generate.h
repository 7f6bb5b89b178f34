#pragma once
// JPK_V7M generation: a new document for the working month filled from the
// registers of one source program. Whoever asked for it (the editor window,
// the command line) takes the document over.

#include <exception>
#include <map>
#include <string>

#include "app/app_context.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "platform/tables/table.h"

namespace kx::generate {

using jpk::v7m::IXMLJPK;

enum class SourceProgram { Towix, Rejko, Folvo };

struct GenerateOptions {
  tables::Date month;  // any day of the month to generate
  SourceProgram source = SourceProgram::Towix;
  bool sale = true;          // read the sales registers
  bool buy = true;           // read the purchase registers
  bool correction = false;   // the file corrects an earlier one
  bool declaration = false;  // the taker computes the declaration part
};

// A generation's outcome: the new document, and the error of a driver that
// failed; the document then holds what was built before the error (null when
// not even the header was made).
// Source rows left out of the file on purpose, counted by reason (Polish).
using SkippedRows = std::map<std::string, int>;

struct GeneratedV7M {
  IXMLJPK document;
  std::exception_ptr failure;
  SkippedRows skipped;
};

// What a finished generation shows the user: source program, month, records
// of sales and purchases, rows left out and why.
std::string GenerationSummary(const GenerateOptions& options, const GeneratedV7M& generated);

// What the generation keeps for the whole program run.
struct GenJpkVatState {
  // Set by "Yes to all" at the KSeF question; never cleared afterwards.
  bool AlwaysMarkBFK = false;
};

// Fails when the register table (open) has no field "KSeF".
void RequireKsefField(tables::Table& reg);

// The KSeF reference of the current register row: the field's text, or for an
// empty field "BFK" or "" as the user decides; Cancel stops the generation.
std::string KsefReference(AppContext& ctx, GenJpkVatState& state, const std::string& messagePrefix, tables::Table& reg);

// The source drivers: records of the month of CurDate into the document.
void GenerateFromTowix(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc,
                       SkippedRows& skipped);
void GenerateFromRejko(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc,
                       SkippedRows& skipped);
void GenerateFromFolvo(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc,
                       SkippedRows& skipped);

// The "Generuj" command: CurDate takes the month, and a new document with
// header and subject is filled by the chosen program's driver. A driver's
// failure is returned with the document built so far, not thrown.
GeneratedV7M GenerateJpkV7M(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options);

}  // namespace kx::generate
