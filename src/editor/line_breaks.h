#pragma once
// The clean-up applied to a JPK_V7M file before the editor opens it: values
// broken over several lines are joined with one space, and the file is
// rewritten pretty-printed. The old file is kept in the backup folder with the
// prefix "_".

#include <string>
#include <string_view>

#include "platform/ui/user_port.h"

namespace kx::editor {

// The text with its line breaks removed: a break (CR LF, CR or LF) becomes
// one space when the character before it is neither a space nor ">", and
// disappears otherwise.
std::string RemoveLineBreaks(std::string_view text);

// Cleans the file in place. Returns false when the file is empty ("Brak
// danych do odczytu" is shown; the file stays as it was). The old bytes are
// copied to the backup first; the cleaned file is made beside the file and
// replaces it in one rename, so a failure or a signal never leaves it cut.
// When the cleaned file would have the old byte size, the file keeps its
// former bytes.
bool CleanLineBreaks(const std::string& fileName, ui::UserPort& ui);

}  // namespace kx::editor
