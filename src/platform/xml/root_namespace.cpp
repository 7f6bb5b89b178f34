// The namespace of a file's root element, read up to that element only.

#include <libxml/xmlreader.h>

#include "platform/xml/xml_document.h"
#include "platform/xml/xml_io.h"

namespace kx::xml {

std::optional<std::string> XmlDocument::RootNamespaceOfFile(const std::filesystem::path& path) {
  detail::InitLibxml();
  // No network, no external subset or entities: nothing but the file is read.
  xmlTextReaderPtr reader =
      xmlReaderForFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!reader) return std::nullopt;
  xmlTextReaderSetErrorHandler(
      reader, [](void*, const char*, xmlParserSeverities, xmlTextReaderLocatorPtr) {}, nullptr);
  std::optional<std::string> result;
  while (xmlTextReaderRead(reader) == 1) {
    if (xmlTextReaderNodeType(reader) != XML_READER_TYPE_ELEMENT) continue;
    const xmlChar* uri = xmlTextReaderConstNamespaceUri(reader);
    result = uri ? reinterpret_cast<const char*>(uri) : "";
    break;
  }
  xmlFreeTextReader(reader);
  return result;
}

}  // namespace kx::xml
