#pragma once
// Inside the XML document services: safe parsing, serialisation and atomic
// file writing over libxml2. Not for use outside src/platform/xml.

#include <libxml/tree.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace kx::xml::detail {

// Initialises libxml2 once per process (safe to call often).
void InitLibxml();

// What happens to text nodes made only of white space between elements.
enum class Blanks { Drop, Keep };

// Parses the bytes of a file, decoded as its declaration or byte-order mark
// says. Fails with kx::Error naming the file and the line.
// xmlSpace, when given, tells whether an element had an xml:space attribute.
xmlDocPtr ParseFile(const std::filesystem::path& path, bool* xmlSpace = nullptr);
// A JPK file has no document type declaration: removes it, after putting
// the content of each internal entity in place of its references. True when
// there was one. A reference to an entity whose content is not known (an
// external one, which is never fetched) fails with kx::Error naming `name`
// and the line; the document is then freed.
bool DropDoctype(xmlDocPtr doc, const std::string& name);

// Parses UTF-8 text; the declared encoding is kept as the document's label only.
xmlDocPtr ParseText(std::string_view text, Blanks blanks);

// The document as UTF-8 text. The declaration shows the version, the encoding
// label given (none when empty) and the standalone value. With format, every
// element stands on its own line, indented per level (mixed content as is).
std::string SerializeDocument(xmlDocPtr doc, std::string_view encodingLabel, bool format, std::string_view indent);
std::string SerializeNode(xmlDocPtr doc, xmlNodePtr node);
// The children of parent as the indented write of its document gives them
// at that depth: each on its own line after its indentation.
std::string SerializeChildren(xmlDocPtr doc, xmlNodePtr parent, int depth, std::string_view indent);
// Writes the document as UTF-8 declared "UTF-8" through a temporary file in
// the target's folder, renamed over the target; with format, indented by the
// indentation string per level.
void WriteDocumentFile(xmlDocPtr doc, const std::filesystem::path& path, bool format = false,
                       std::string_view indent = "  ");
// Writes the bytes the same way.
void WriteTextFile(const std::filesystem::path& path, std::string_view bytes);

// The same atomic file written piece by piece: nothing is in place before
// Commit; a failure names the target and its reason (kx::Error).
class AtomicWriter {
 public:
  virtual ~AtomicWriter() = default;
  virtual void Write(std::string_view bytes) = 0;
  virtual void Commit() = 0;
};
std::unique_ptr<AtomicWriter> OpenAtomicFile(const std::filesystem::path& path);

// Checks of what callers put into a document; each fails with kx::Error.
void CheckName(std::string_view name);  // a qualified name
void CheckText(std::string_view text);  // UTF-8, characters XML allows
void CheckComment(std::string_view text);
void CheckProcessingInstruction(std::string_view target, std::string_view data);

}  // namespace kx::xml::detail
