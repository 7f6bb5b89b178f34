#include "platform/xml/xml_stream_writer.h"

#include "platform/error.h"
#include "platform/xml/xml_io.h"

namespace kx::xml {
namespace {

// Text content escaped as libxml2 writes it into a UTF-8 file.
void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
}

constexpr size_t kFlushAt = 1 << 20;

}  // namespace

XmlStreamWriter::XmlStreamWriter(const std::filesystem::path& path, std::string indent)
    : m_file(detail::OpenAtomicFile(path)), m_indent(std::move(indent)) {
  m_buffer = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
}

XmlStreamWriter::XmlStreamWriter(std::string indent) : m_indent(std::move(indent)) {
  m_buffer = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
}

XmlStreamWriter::XmlStreamWriter(std::string indent, size_t depth)
    : m_indent(std::move(indent)), m_fragment(true), m_base(depth) {}

XmlStreamWriter::~XmlStreamWriter() = default;

void XmlStreamWriter::Indent(size_t depth) {
  for (size_t i = 0; i < m_base + depth; ++i) m_buffer += m_indent;
}

void XmlStreamWriter::OpenChild() {
  if (m_open.empty()) {
    if (m_rootDone && !m_fragment) throw Error("Dokument XML ma już element główny");
    return;
  }
  if (!m_open.back().hasChildren) {
    m_buffer += ">\n";
    m_open.back().hasChildren = true;
  }
}

void XmlStreamWriter::StartElement(std::string_view name) {
  detail::CheckName(name);
  OpenChild();
  Indent(m_open.size());
  m_buffer += '<';
  m_buffer += name;
  m_open.push_back({std::string(name), false});
}

void XmlStreamWriter::TextElement(std::string_view name, std::string_view text) {
  detail::CheckName(name);
  detail::CheckText(text);
  OpenChild();
  Indent(m_open.size());
  m_buffer += '<';
  m_buffer += name;
  if (text.empty()) {
    m_buffer += "/>\n";
  } else {
    m_buffer += '>';
    AppendEscaped(m_buffer, text);
    m_buffer += "</";
    m_buffer += name;
    m_buffer += ">\n";
  }
  if (m_open.empty()) m_rootDone = true;
  Flush(false);
}

void XmlStreamWriter::EndElement() {
  if (m_open.empty()) throw Error("Brak otwartego elementu XML do zamknięcia");
  const Open element = std::move(m_open.back());
  m_open.pop_back();
  if (!element.hasChildren) {
    m_buffer += "/>\n";
  } else {
    Indent(m_open.size());
    m_buffer += "</" + element.name + ">\n";
  }
  if (m_open.empty()) m_rootDone = true;
  Flush(false);
}

void XmlStreamWriter::AppendChildren(std::string_view fragment) {
  if (m_open.empty()) throw Error("Brak otwartego elementu XML");
  if (fragment.empty()) return;
  OpenChild();
  m_buffer += fragment;
  Flush(false);
}

void XmlStreamWriter::Flush(bool force) {
  if (!m_file || m_buffer.empty() || (!force && m_buffer.size() < kFlushAt)) return;
  m_file->Write(m_buffer);
  m_buffer.clear();
}

void XmlStreamWriter::Close() {
  while (!m_open.empty()) EndElement();
  if (!m_rootDone && !m_fragment) throw Error("Dokument XML nie ma elementu głównego");
}

void XmlStreamWriter::Commit() {
  if (!m_file) throw Error("Dokument XML jest zapisywany w pamięci, nie do pliku");
  Close();
  Flush(true);
  m_file->Commit();
}

std::string XmlStreamWriter::TakeText() {
  if (m_file) throw Error("Dokument XML jest zapisywany do pliku, nie w pamięci");
  Close();
  return std::move(m_buffer);
}

}  // namespace kx::xml
