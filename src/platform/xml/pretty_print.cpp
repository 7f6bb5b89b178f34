#include "platform/xml/pretty_print.h"

#include <memory>

#include "platform/xml/xml_io.h"

namespace kx::xml {

std::string PrettyPrintXml(std::string_view text) {
  std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(detail::ParseText(text, detail::Blanks::Drop), &xmlFreeDoc);
  const char* encoding = doc->encoding ? reinterpret_cast<const char*>(doc->encoding) : "";
  return detail::SerializeDocument(doc.get(), encoding, true, "  ");
}

}  // namespace kx::xml
