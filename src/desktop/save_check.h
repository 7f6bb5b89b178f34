#pragma once
// The check of every JPK file the desktop program saves: an invalid file is
// shown with the schema's complaints, and the user decides whether it is
// kept.

#include <string>

#include "app/app_context.h"
#include "platform/xml/xml_document.h"

namespace kx::desktop {

// Validates the document about to be saved as fileName; when the schema
// refuses it, asks whether to keep the file anyway. No (or no schemas at
// hand: nothing is asked) — kx::Error, so that the old file stays.
void CheckSavedDocument(AppContext& ctx, const xml::XmlDocument& document, const std::string& fileName);

}  // namespace kx::desktop
