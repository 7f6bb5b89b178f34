#pragma once
// A document of records written element by element straight to its file,
// for record lists too large to be held in memory beside their source. The
// bytes are those SaveFormatted writes of the same document built in memory:
// UTF-8 declared, one element per line indented per level, an element
// without content as <name/>. Nothing is in place before Commit, which puts
// the whole file there in one rename.
//
//   XmlStreamWriter out(path, "\t");
//   out.StartElement("Baza");
//   out.StartElement("knt_Kontrahenci");
//   out.TextElement("knt_Id", "7");
//   out.EndElement();
//   out.Commit();  // ends what is still open

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kx::xml {

namespace detail {
class AtomicWriter;
}

class XmlStreamWriter {
 public:
  XmlStreamWriter(const std::filesystem::path& path, std::string indent);
  // The same text kept in memory, for TakeText.
  explicit XmlStreamWriter(std::string indent);
  // A run of sibling elements kept in memory, indented as children at that
  // depth of a document (no declaration), for AppendChildren of another writer.
  XmlStreamWriter(std::string indent, size_t depth);
  ~XmlStreamWriter();
  XmlStreamWriter(const XmlStreamWriter&) = delete;
  XmlStreamWriter& operator=(const XmlStreamWriter&) = delete;

  // Names and texts are checked as the document's own (kx::Error).
  void StartElement(std::string_view name);
  // An element holding only the text (none when empty).
  void TextElement(std::string_view name, std::string_view text);
  void EndElement();
  // Elements written by a fragment writer of the right depth, as children of
  // the open element.
  void AppendChildren(std::string_view fragment);
  void Commit();
  // The whole text of a writer kept in memory (ends what is still open).
  std::string TakeText();

 private:
  void OpenChild();
  void Close();  // ends what is open
  void Indent(size_t depth);
  void Flush(bool force);

  struct Open {
    std::string name;
    bool hasChildren = false;
  };
  std::unique_ptr<detail::AtomicWriter> m_file;
  std::string m_indent;
  std::vector<Open> m_open;
  std::string m_buffer;
  bool m_rootDone = false;
  bool m_fragment = false;
  size_t m_base = 0;
};

}  // namespace kx::xml
