#pragma once
// JPK_V7M generation: a new document for the working month filled from the
// registers of one source program, then handed to the editor.

#include <string>

#include <optional>

#include "app/app_context.h"
#include "editor/v7m_editor.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "platform/tables/table.h"

namespace kx::generate {

using jpk::v7m::IXMLJPK;

enum class SourceProgram { Towix, Rejko, Folvo };

struct GenerateOptions {
  tables::Date month;                          // any day of the month to generate
  SourceProgram source = SourceProgram::Towix;
  bool sale = true;                            // read the sales registers
  bool buy = true;                             // read the purchase registers
  bool correction = false;                     // the file corrects an earlier one
  bool declaration = false;                    // compute the declaration part
  // The editor window's typed declaration fields; without them, those the
  // editor shows for its active document.
  std::optional<editor::DeclarationInput> declarationInput;
};

// What the generation keeps for the whole program run.
struct GenJpkVatState {
  // Set by "Yes to all" at the KSeF question; never cleared afterwards.
  bool AlwaysMarkBFK = false;
};

// Fails when the register table (open) has no field "KSeF".
void RequireKsefField(tables::Table& reg);

// The KSeF reference of the current register row: the field's text, or for an
// empty field "BFK" or "" as the user decides; Cancel stops the generation.
std::string KsefReference(AppContext& ctx, GenJpkVatState& state, const std::string& messagePrefix,
                          tables::Table& reg);

// The source drivers: records of the month of CurDate into the document.
void GenerateFromTowix(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc);
void GenerateFromRejko(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc);
void GenerateFromFolvo(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options, IXMLJPK doc);

// The "Generuj" command: CurDate takes the month, a new document with header
// and subject is filled by the chosen program's driver and handed to the
// editor (linked into its active document, or made the active one and
// recalculated); then the declaration is computed when asked for. The
// hand-over happens also when the driver fails, so the editor holds what was
// built before the error, which is then passed on.
void GenerateJpkV7M(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options,
                    editor::V7MEditor& editor);

}  // namespace kx::generate
