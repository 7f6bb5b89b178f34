#pragma once
// The clean-up applied to a JPK_V7M file before the editor opens it: values
// broken over several lines are joined with one space, and the file is
// rewritten pretty-printed. The old file is kept in the backup folder with the
// prefix "_".

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/ui/user_port.h"

namespace kx::editor {

// The working copies in the working folder are named "_tmp_V7M" + six
// random characters + ".xml", each private to one run.
inline constexpr const char* kCleanTempPrefix = "_tmp_V7M";

// The text with its line breaks removed: a break (CR LF, CR or LF) becomes
// one space when the character before it is neither a space nor ">", and
// disappears otherwise.
std::string RemoveLineBreaks(std::string_view text);

// Cleans the file in place. Returns false when the file is empty ("Brak
// danych do odczytu" is shown; the file stays as it was). When the rewritten
// file has the old byte size, the old bytes are put back. A failure after the
// backup puts the old bytes back too and goes on to the caller.
bool CleanLineBreaks(const std::string& fileName, const std::filesystem::path& workingDir, ui::UserPort& ui);

}  // namespace kx::editor
