#pragma once
// The indented save as the program once did it in two passes (write, read
// back, indent the text, read it again, write), kept as the reference that
// the one-pass save must match byte for byte.

#include <filesystem>
#include <string>

#include "platform/xml/xml_document.h"

namespace kxtest {

// Writes the document to the file the two-pass way; returns the bytes.
std::string TwoPassSave(const kx::xml::XmlDocument& document, const std::filesystem::path& file);

}  // namespace kxtest
