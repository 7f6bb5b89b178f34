#pragma once
// The check of every JPK file the desktop program saves: an invalid file is
// shown with the schema's complaints, and the user decides whether it is
// kept.

#include <string>

#include "app/app_context.h"
#include "jpk/files/jpkTools.h"

namespace kx::desktop {

// The schema check of every JPK file the program saves: when the schema
// refuses a file, asks whether to keep it anyway. No — kx::Error, so that the
// old file stays. Without schemas at hand nothing is checked or asked.
jpk::SaveCheck MakeSaveCheck(AppContext& ctx);

}  // namespace kx::desktop
