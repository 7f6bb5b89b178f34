#pragma once
// A document written to its file while it is being built, for record lists
// too long to stand whole in memory: WriteChildren writes the children of the
// document element made so far and frees them; Finish writes what is left.
// The file holds the bytes SaveFormatted writes of the whole document (the
// children of the document element must be elements), and it is in place
// only after Finish, in one rename; without it nothing is left.
//
//   XmlStreamedSave out(document, path);
//   for (...) {
//     AddRecord(document.DocumentElement());
//     if (++n % 4096 == 0) out.WriteChildren();
//   }
//   out.Finish();

#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/xml/xml_document.h"

namespace kx::xml {

namespace detail {
class AtomicWriter;
}

class XmlStreamedSave {
 public:
  // Opens the private file beside path; the document needs its document
  // element, which stays in it.
  XmlStreamedSave(XmlDocument document, const std::filesystem::path& path);
  ~XmlStreamedSave();
  XmlStreamedSave(const XmlStreamedSave&) = delete;
  XmlStreamedSave& operator=(const XmlStreamedSave&) = delete;

  // Writes the children of the document element and takes them out of the
  // tree: no handle to them, or to a node under them, may be used afterwards.
  // The first write also writes the declaration and the element's start tag.
  // Fails with kx::Error (a write error names the file).
  void WriteChildren();
  // Writes what is left and the end tag, and puts the file in place.
  void Finish();
  // Told every piece of text written, in order (a check reading along).
  void SetWritten(std::function<void(std::string_view)> written) { m_written = std::move(written); }

 private:
  void Put(const std::string& text);

  XmlDocument m_document;
  std::unique_ptr<detail::AtomicWriter> m_file;
  std::function<void(std::string_view)> m_written;
  bool m_started = false;
};

}  // namespace kx::xml
