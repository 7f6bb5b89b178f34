#include "save_check.h"

#include <vector>

#include "app/data_files.h"
#include "jpk/files/jpk_validate.h"
#include "platform/error.h"

namespace kx::desktop {

namespace {

std::filesystem::path Schemas(AppContext& ctx) {
  if (!ctx.SchemaDir.empty()) return ctx.SchemaDir;
  const auto bundled = FindDataFile(ctx, "xsd/catalog.xml");
  return bundled ? bundled->parent_path() : std::filesystem::path();  // none: nothing to check with
}

void Report(AppContext& ctx, const jpk::SavedFileCheck& outcome, const std::string& fileName) {
  if (outcome.failure) {
    ctx.ui.Show(ui::BoxKind::Warning, "Nie sprawdzono pliku " + fileName + " ze schematem:\r" + *outcome.failure);
    return;
  }
  const std::vector<jpk::SchemaError>& errors = outcome.errors;
  if (errors.empty()) return;
  std::string text = Format("Plik %s jest niezgodny ze schematem (błędów: %zu):", fileName.c_str(), errors.size());
  constexpr size_t kShown = 10;
  for (size_t i = 0; i < errors.size() && i < kShown; ++i) {
    text += "\r" + jpk::SchemaErrorPlace(errors[i]) + errors[i].message;
  }
  if (errors.size() > kShown) text += Format("\r… i dalszych: %zu", errors.size() - kShown);
  text += "\rUrząd skarbowy nie przyjmie takiego pliku. Zapisać go mimo to?";
  if (ctx.ui.Ask(ui::BoxKind::Warning, text, {ui::Button::Yes, ui::Button::No}, ui::Button::No) != ui::Button::Yes) {
    throw Error("plik niezgodny ze schematem nie został zapisany");
  }
}

}  // namespace

jpk::SaveCheck MakeSaveCheck(AppContext& ctx) {
  return {[&ctx] { return Schemas(ctx); },
          [&ctx](const jpk::SavedFileCheck& outcome, const std::string& fileName) { Report(ctx, outcome, fileName); }};
}

}  // namespace kx::desktop
