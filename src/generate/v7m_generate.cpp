#include "generate/v7m_generate.h"

#include <exception>

#include "jpk/files/jpkTools.h"
#include "jpk/v7m/ksef_question.h"
#include "platform/error.h"

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
  return jpk::v7m::AskEmptyKsef(ctx, state.AlwaysMarkBFK, messagePrefix);
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

GeneratedV7M GenerateJpkV7M(AppContext& ctx, GenJpkVatState& state, const GenerateOptions& options) {
  ctx.AppSettings.CurDate = jpk::FirstDayOfMonth(options.month);
  ActiveSession session(ctx.Session);
  ui::BusyCursor busy(ctx.ui);

  GeneratedV7M result;
  try {
    result.document = jpk::v7m::NewJPK();
    jpk::PrepareV7MDocument(result.document);
    jpk::FillV7MHeader(ctx, result.document, options.correction);
    switch (options.source) {
      case SourceProgram::Towix: GenerateFromTowix(ctx, state, options, result.document, result.skipped); break;
      case SourceProgram::Rejko: GenerateFromRejko(ctx, state, options, result.document, result.skipped); break;
      case SourceProgram::Folvo: GenerateFromFolvo(ctx, state, options, result.document, result.skipped); break;
    }
  } catch (...) {
    result.failure = std::current_exception();
  }
  return result;
}

std::string GenerationSummary(const GenerateOptions& options, const GeneratedV7M& generated) {
  const char* source = options.source == SourceProgram::Towix   ? "Towix"
                       : options.source == SourceProgram::Rejko ? "Rejko"
                                                                : "Folvo";
  std::string text =
      Format("Utworzono JPK_V7M za %04d-%02d z programu %s.", options.month.year, options.month.month, source);
  if (!generated.document.IsNull()) {
    auto records = generated.document.Ewidencja();
    text += Format("\rWiersze sprzedaży: %d\rWiersze zakupu: %d", records.SprzedazWiersz().Count(),
                   records.ZakupWiersz().Count());
  }
  if (!generated.skipped.empty()) {
    text += "\rPominięto:";
    for (const auto& [reason, count] : generated.skipped) text += Format("\r- %s: %d", reason.c_str(), count);
  }
  return text;
}

}  // namespace kx::generate
