#include "save_check.h"

#include <vector>

#include "app/data_files.h"
#include "jpk/files/jpk_validate.h"
#include "platform/error.h"

namespace kx::desktop {

void CheckSavedDocument(AppContext& ctx, const xml::XmlDocument& document, const std::string& fileName) {
  std::filesystem::path schemas = ctx.SchemaDir;
  if (schemas.empty()) {
    const auto bundled = FindDataFile(ctx, "xsd/catalog.xml");
    if (!bundled) return;  // nothing to check with
    schemas = bundled->parent_path();
  }
  std::vector<jpk::SchemaError> errors;
  try {
    errors = jpk::ValidateJpkDocument(document, schemas);
  } catch (const Error& e) {
    ctx.ui.Show(ui::BoxKind::Warning, "Nie sprawdzono pliku " + fileName + " ze schematem:\r" + e.what());
    return;
  }
  if (errors.empty()) return;
  std::string text = Format("Plik %s jest niezgodny ze schematem (błędów: %zu):", fileName.c_str(), errors.size());
  constexpr size_t kShown = 10;
  for (size_t i = 0; i < errors.size() && i < kShown; ++i) {
    text += "\r" + (errors[i].path.empty() ? std::string() : errors[i].path + ": ") + errors[i].message;
  }
  if (errors.size() > kShown) text += Format("\r… i dalszych: %zu", errors.size() - kShown);
  text += "\rUrząd skarbowy nie przyjmie takiego pliku. Zapisać go mimo to?";
  if (ctx.ui.Ask(ui::BoxKind::Warning, text, {ui::Button::Yes, ui::Button::No}, ui::Button::No) != ui::Button::Yes) {
    throw Error("plik niezgodny ze schematem nie został zapisany");
  }
}

}  // namespace kx::desktop
