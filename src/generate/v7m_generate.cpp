#include "generate/v7m_generate.h"

#include <exception>

#include "platform/error.h"
#include "jpk/files/jpkTools.h"

namespace kx::generate {

void RequireKsefField(tables::Table& reg) {
  if (reg.FindField("KSeF") == nullptr) {
    throw Error("Nie znaleziono pola \"KSeF\" w tabeli: " + reg.TableNameProperty());
  }
}

std::string KsefReference(AppContext& ctx, GenJpkVatState& state, const std::string& messagePrefix,
                          tables::Table& reg) {
  std::string ref = reg.FieldByName("KSeF").AsString();
  if (!ref.empty()) return ref;
  if (state.AlwaysMarkBFK) return "BFK";
  ui::Button answer =
      ctx.ui.Ask(ui::BoxKind::Confirmation, messagePrefix + "\rPuste pole KSeF. Oznaczyć jako BFK?",
                 {ui::Button::Yes, ui::Button::No, ui::Button::Cancel, ui::Button::YesToAll}, ui::Button::Yes);
  switch (answer) {
    case ui::Button::Yes:
      return "BFK";
    case ui::Button::YesToAll:
      state.AlwaysMarkBFK = true;
      return "BFK";
    case ui::Button::No:
      return "";
    default:
      throw Error("Przerwano tworzenie JPK_V7M");
  }
}

namespace {

// The session is active for the length of one generation.
class ActiveSession {
 public:
  explicit ActiveSession(tables::Session& session) : m_session(session) { m_session.Activate(); }
  ~ActiveSession() { m_session.Deactivate(); }
  ActiveSession(const ActiveSession&) = delete;
  ActiveSession& operator=(const ActiveSession&) = delete;

 private:
  tables::Session& m_session;
};

}  // namespace

void GenerateJpkV7M(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options,
                    editor::V7MEditor& editor) {
  ctx.AppSettings.CurDate = jpk::FirstDayOfMonth(options.month);
  ActiveSession session(ctx.Session);
  ui::BusyCursor busy(ctx.ui);

  IXMLJPK doc;
  std::exception_ptr failure;
  try {
    doc = jpk::v7m::NewJPK();
    jpk::PrepareV7MDocument(doc);
    jpk::FillV7MHeader(ctx, doc, options.correction);
    switch (options.source) {
      case SourceProgram::Towix: GenerateFromTowix(ctx, state, options, doc); break;
      case SourceProgram::Rejko: GenerateFromRejko(ctx, state, options, doc); break;
      case SourceProgram::Folvo: GenerateFromFolvo(ctx, state, options, doc); break;
    }
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    if (!doc.IsNull()) editor.AcceptGenerated(doc);
    if (options.declaration && editor.HasDocument()) {
      editor.RecalcDeclaration(options.declarationInput ? *options.declarationInput
                                                        : editor::DeclarationInputFrom(editor.RefreshInfo()));
    }
  } catch (...) {
    // The driver's error comes first; a later one is shown only without it.
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace kx::generate
