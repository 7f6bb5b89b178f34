// Fuzz target: a JPK_V7M(3) document loaded from arbitrary bytes, its records
// renumbered with the control elements written (RecalcJPK) and its
// declaration computed with nothing typed. Each step must end in a changed
// document or kx::Error; a document recalculated once must be left as it is
// by a second run, and what is written must load again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "editor/v7m_declaration.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/error.h"
#include "platform/xml/xml_document.h"

namespace {

using kx::xml::XmlDocument;

void MustLoad(std::string_view text) {
  try {
    XmlDocument again = XmlDocument::FromString(text);
  } catch (const kx::Error&) {
    std::abort();
  }
}

bool IsV7M(const XmlDocument& document) {
  kx::xml::XmlNode root = document.DocumentElement();
  return !root.IsNull() && root.LocalName() == "JPK" && root.NamespaceURI() == kx::jpk::v7m::kTargetNamespace;
}

void Exercise(XmlDocument& document) {
  if (!IsV7M(document)) return;
  kx::jpk::v7m::IXMLJPK jpk = kx::jpk::v7m::GetJPKRoot(document);
  try {
    kx::jpk::v7m::RecalcJPK(jpk);
    std::string once = document.Xml();
    kx::jpk::v7m::RecalcJPK(jpk);
    if (document.Xml() != once) std::abort();
  } catch (const kx::Error&) {
  }
  try {
    kx::editor::CalcDeclaration(jpk, kx::editor::DeclarationInput{});
  } catch (const kx::Error&) {
  }
  MustLoad(document.Xml());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  try {
    XmlDocument document = XmlDocument::FromString(input);
    Exercise(document);
  } catch (const kx::Error&) {
  }
  return 0;
}
