#pragma once
// Checking a JPK file of any of the four kinds against the official schemas,
// kept offline in a folder laid out by their addresses with an XML catalog
// (catalog.xml) that maps the addresses to the files.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xml/xml_document.h"

namespace kx::jpk {

struct SchemaError {
  int line = 0;  // in the file; 0 for a document checked in memory
  std::string message;
  std::string path;  // the element, e.g. "JPK/Ewidencja/SprzedazWiersz[3]/K_19" ("" when unknown)
};

// Where a complaint points, as a message starts with it: "JPK/Naglowek/KodUrzedu: ",
// "wiersz 11: " (a file checked as it is read), or "" when unknown.
std::string SchemaErrorPlace(const SchemaError& error);

// The kind of a JPK file by the namespace of its root ("JPK_V7M(3)",
// "JPK_FA(4)", "JPK_MAG(1)", "JPK_KR(1)"), or empty when it is none of them.
std::string JpkKindOfNamespace(const std::string& namespaceUri);

// The main schema file of a kind inside the schema folder.
std::filesystem::path MainSchemaFile(const std::filesystem::path& schemaDir, const std::string& kind);

// Validates the file; returns the schema's complaints (empty when valid).
// Fails with kx::Error when the file is not well-formed XML, is no JPK file
// of the four kinds, or the schemas are not in the folder.
std::vector<SchemaError> ValidateJpkFile(const std::filesystem::path& file, const std::filesystem::path& schemaDir);

// Validates a document from its text given piece by piece, as a file is
// being written, on a thread of its own; the pieces wait in a queue of
// bounded size (Add waits while it is full). Each complaint carries its
// line. A validator dropped before Finish abandons the text.
class StreamValidation {
 public:
  // kind: "JPK_KR(1)" and the like; the schemas are read on the thread.
  StreamValidation(std::filesystem::path schemaDir, std::string kind);
  ~StreamValidation();
  StreamValidation(const StreamValidation&) = delete;
  StreamValidation& operator=(const StreamValidation&) = delete;

  void Add(std::string_view text);
  // The end of the text: the complaints, once the whole text is checked.
  // Fails with kx::Error when the schemas are not in the folder.
  std::vector<SchemaError> Finish();

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

// Validates a document held in memory (as a file written from it would be
// validated); each complaint names its element by path. Fails with
// kx::Error when it is no JPK document of the four kinds or the schemas are
// not in the folder.
std::vector<SchemaError> ValidateJpkDocument(const xml::XmlDocument& document, const std::filesystem::path& schemaDir);

}  // namespace kx::jpk
