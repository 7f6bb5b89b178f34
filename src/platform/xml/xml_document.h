#pragma once
// An XML document held by libxml2. XmlDocument is a shared handle: copies
// refer to the same document, and node handles keep its tree alive.
//
// Loading treats the input as untrusted: no network, no external entities or
// DTDs are read, entity expansion is bounded and blank text between elements
// is dropped. A failed load throws kx::Error naming the file and the line and
// leaves the document as it was. Saved files are always UTF-8 and declare it;
// a file is replaced atomically.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xml/xml_node.h"

struct _xmlDoc;

namespace kx::xml {

namespace detail {
struct DocState;
struct Tree;
}  // namespace detail

class XmlDocument {
 public:
  // A new empty, active document of version "1.0".
  XmlDocument();
  XmlDocument(const XmlDocument& other);
  XmlDocument(XmlDocument&& other) noexcept;
  XmlDocument& operator=(const XmlDocument& other);
  XmlDocument& operator=(XmlDocument&& other) noexcept;
  ~XmlDocument();

  static XmlDocument FromFile(const std::filesystem::path& path);
  static XmlDocument FromString(std::string_view text);
  // The namespace URI of the file's root element ("" for none), read only up
  // to that element; nothing when it cannot be read that far (a full load
  // then tells why).
  static std::optional<std::string> RootNamespaceOfFile(const std::filesystem::path& path);

  bool operator==(const XmlDocument& other) const { return m_state == other.m_state; }

  // --- loading and saving -----------------------------------------------------
  // The file's bytes are decoded as its declaration or byte-order mark says.
  void LoadFromFile(const std::filesystem::path& path);
  // The text is UTF-8; its declared encoding is kept only as Encoding().
  void LoadFromString(std::string_view text);
  // Writes the document as UTF-8 with encoding="UTF-8" in the declaration,
  // through a temporary file in the same folder that is renamed over the
  // target. On failure the old file is left whole. The modified flag stays.
  void SaveToFile(const std::filesystem::path& path) const;
  // Writes the document the same way, every element on its own line indented
  // by IndentString() per level (elements holding text stay on one line, mixed
  // content as it is), in one pass from memory. The document becomes what
  // reading the written file back gives: blank text between elements dropped,
  // adjacent text joined; a document type declaration is dropped, the content
  // of its entities standing in place of their references. The modified flag
  // stays. alongside, when given, runs on another thread while the file is
  // written, once the tree has its final shape; it may only read the
  // document, and the caller touches nothing meanwhile. Its failure is thrown
  // after the file is written (the file is then in place).
  void SaveFormatted(const std::filesystem::path& path, const std::function<void()>& alongside = {});
  // Whether the loaded file had a document type declaration (<!DOCTYPE …>).
  // A file's declaration is never kept: loading a file removes it, the
  // content of internal entities standing in place of their references;
  // nothing is ever fetched. Text loaded from a string keeps it.
  bool DroppedDoctype() const;

  // The whole text (UTF-8); its declaration shows Encoding() as it is.
  std::string Xml() const;
  // Replaces the whole document by the text, kept as given (white space
  // included), with the loading's safety. On failure nothing changes.
  void SetXml(std::string_view text);
  // The text as lines without line ends, and its replacement.
  std::vector<std::string> Lines() const;
  void SetLines(const std::vector<std::string>& lines);

  // --- state ------------------------------------------------------------------
  // True for a created or loaded document. Deactivating drops the tree (node
  // handles keep theirs); activating an inactive document makes it new and empty.
  bool Active() const;
  void SetActive(bool active);
  // Set by any change made to the nodes; clear after loading.
  bool Modified() const;
  void SetModified(bool modified);

  // --- declaration ------------------------------------------------------------
  std::string Version() const;
  void SetVersion(std::string_view version);
  // As declared by the loaded file (e.g. "windows-1250"), or as set; "" when
  // neither. Saving always writes UTF-8.
  std::string Encoding() const;
  void SetEncoding(std::string_view encoding);
  // "yes", "no", or "" when the declaration has no standalone value.
  std::string Standalone() const;
  void SetStandalone(std::string_view standalone);

  // When on, adding an element, comment or processing instruction inserts
  // white-space text nodes (a new line and one indentation string per level)
  // so that the written file is indented. Off by default.
  bool AutoIndent() const;
  void SetAutoIndent(bool on);
  const std::string& IndentString() const;
  void SetIndentString(std::string_view indent);

  // --- nodes ------------------------------------------------------------------
  XmlNode DocumentNode() const;     // holds the document element, comments, processing instructions
  XmlNode DocumentElement() const;  // null when the document is empty
  // Adds the document element; fails when there is one. An unprefixed name is
  // in the namespace given (declared as the default namespace).
  XmlNode AddDocumentElement(std::string_view tagName, std::string_view namespaceUri = {});
  // The document element when it has this name and namespace; created when the
  // document is empty; a different document element fails.
  XmlNode BindDocumentElement(std::string_view tagName, std::string_view namespaceUri);

  XmlNode CreateElement(std::string_view qualifiedName, std::string_view namespaceUri = {});
  XmlNode CreateAttribute(std::string_view qualifiedName, std::string_view namespaceUri = {});
  XmlNode CreateTextNode(std::string_view text);
  XmlNode CreateCDataSection(std::string_view text);
  XmlNode CreateComment(std::string_view text);
  XmlNode CreateEntityReference(std::string_view name);
  XmlNode CreateProcessingInstruction(std::string_view target, std::string_view data);
  XmlNode CreateDocumentFragment();
  // A copy of a node of any document, belonging to this one, not in the tree.
  XmlNode ImportNode(const XmlNode& node, bool deep);

  // The libxml2 document (for read-only use such as schema validation);
  // nullptr when not active.
  _xmlDoc* RawDocument() const;

 private:
  friend class XmlNode;
  friend class XmlStreamedSave;
  explicit XmlDocument(detail::DocState* state);
  detail::Tree& ActiveTree(const char* operation) const;

  detail::DocState* m_state = nullptr;
};

}  // namespace kx::xml
