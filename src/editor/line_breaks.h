#pragma once
// The clean-up applied to a JPK_V7M file before the editor opens it: values
// broken over several lines are joined with one space, and the file is
// rewritten pretty-printed. The old file is kept in the backup folder with the
// prefix "_".

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/user_port.h"
#include "platform/xml/xml_document.h"

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

// The same for the editor, with the file read once: the cleaned text is
// parsed, offered to accept (a refused document leaves the file untouched,
// without a backup), then backed up, written and put in place. The document
// comes back when it is what reading the written file gives (not when the
// file kept its former bytes or had a DOCTYPE: the caller reads the file).
enum class CleanUp { Done, Empty, Refused };
struct CleanedFile {
  CleanUp status = CleanUp::Done;
  std::optional<xml::XmlDocument> document;
};
CleanedFile CleanLineBreaksAndRead(const std::string& fileName, ui::UserPort& ui,
                                   const std::function<bool(const xml::XmlDocument&)>& accept);

}  // namespace kx::editor
