#include "jpk/files/jpk_validate.h"

#include <libxml/catalog.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/error.h"
#include "platform/xml/xml_document.h"

namespace kx::jpk {
namespace {

struct KindSchema {
  const char* namespaceUri;
  const char* kind;
  const char* schemaPath;
};

const KindSchema kSchemas[] = {
    // clang-format off
    {"http://crd.gov.pl/wzor/2025/12/19/14090/", "JPK_V7M(3)", "crd.gov.pl/wzor/2025/12/19/14090/Schemat_JPK_V7M(3)_v1-0E.xsd"},
    {"http://jpk.mf.gov.pl/wzor/2022/02/17/02171/", "JPK_FA(4)", "jpk.mf.gov.pl/wzor/2022/02/17/02171/Schemat_JPK_FA(4)_v1-0.xsd"},
    {"http://jpk.mf.gov.pl/wzor/2016/03/09/03093/", "JPK_MAG(1)", "jpk.mf.gov.pl/wzor/2016/03/09/03093/Schemat_JPK_MAG(1)_v1-0.xsd"},
    {"http://jpk.mf.gov.pl/wzor/2016/03/09/03091/", "JPK_KR(1)", "jpk.mf.gov.pl/wzor/2016/03/09/03091/Schemat_JPK_KR(1)_v1-0.xsd"},
    // clang-format on
};

// Schema imports are resolved through the catalog to local files only; an
// address the catalog does not know is refused instead of fetched.
xmlParserInputPtr LocalOnlyLoader(const char* url, const char* id, xmlParserCtxtPtr ctxt) {
  xmlChar* resolved = nullptr;
  if (url) resolved = xmlCatalogResolveURI(reinterpret_cast<const xmlChar*>(url));
  if (!resolved && (url || id)) {
    resolved = xmlCatalogResolve(reinterpret_cast<const xmlChar*>(id), reinterpret_cast<const xmlChar*>(url));
  }
  std::string target = resolved ? reinterpret_cast<const char*>(resolved) : (url ? url : "");
  if (resolved) xmlFree(resolved);
  if (target.rfind("file://", 0) == 0) target = target.substr(7);
  if (target.find("://") != std::string::npos) return nullptr;
  return xmlNewInputFromFile(ctxt, target.c_str());
}

struct Collector {
  std::vector<SchemaError> errors;
};

void IgnoreGeneric(void*, const char*, ...) {}
void IgnoreStructured(void*, xmlErrorPtr) {}

// libxml2 prints what no handler takes (such as memory running out while a
// schema is read) to standard error; the check tells through its results
// instead. The handlers are those of the calling thread.
class QuietErrors {
 public:
  QuietErrors()
      : m_generic(xmlGenericError),
        m_genericContext(xmlGenericErrorContext),
        m_structured(xmlStructuredError),
        m_structuredContext(xmlStructuredErrorContext) {
    xmlSetGenericErrorFunc(nullptr, &IgnoreGeneric);
    xmlSetStructuredErrorFunc(nullptr, &IgnoreStructured);
  }
  ~QuietErrors() {
    xmlSetGenericErrorFunc(m_genericContext, m_generic);
    xmlSetStructuredErrorFunc(m_structuredContext, m_structured);
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  xmlGenericErrorFunc m_generic;
  void* m_genericContext;
  xmlStructuredErrorFunc m_structured;
  void* m_structuredContext;
};

// "JPK/Ewidencja/SprzedazWiersz[3]/K_19": local names, with the position
// among siblings of the same name where there are several.
std::string ElementPath(const xmlNode* node) {
  std::string path;
  for (; node && node->type == XML_ELEMENT_NODE; node = node->parent) {
    std::string step = reinterpret_cast<const char*>(node->name);
    int before = 0, after = 0;
    for (const xmlNode* s = node->prev; s; s = s->prev) {
      before += s->type == XML_ELEMENT_NODE && xmlStrEqual(s->name, node->name);
    }
    for (const xmlNode* s = node->next; s; s = s->next) {
      after += s->type == XML_ELEMENT_NODE && xmlStrEqual(s->name, node->name);
    }
    if (before + after > 0) step += "[" + std::to_string(before + 1) + "]";
    path = path.empty() ? step : step + "/" + path;
  }
  return path;
}

void CollectError(void* data, const xmlError* error) {
  auto* c = static_cast<Collector*>(data);
  std::string message = error->message ? error->message : "";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  const auto* node = static_cast<const xmlNode*>(error->node);
  c->errors.push_back({error->line, message, node ? ElementPath(node) : std::string()});
}

std::mutex g_mutex;
std::string g_catalog;

// Compiled schemas, kept for the program's life and freed at its end (with
// the catalog), so that leak checkers see nothing left behind.
struct SchemaCache {
  std::map<std::string, xmlSchemaPtr> schemas;
  ~SchemaCache() {
    for (auto& [file, schema] : schemas) xmlSchemaFree(schema);
    if (!g_catalog.empty()) xmlCatalogCleanup();
  }
  auto find(const std::string& key) { return schemas.find(key); }
  auto end() { return schemas.end(); }
  xmlSchemaPtr& operator[](const std::string& key) { return schemas[key]; }
};
SchemaCache g_compiled;

xmlSchemaPtr CompiledSchema(const std::filesystem::path& schemaDir, const std::filesystem::path& mainSchema) {
  auto catalog = schemaDir / "catalog.xml";
  if (!std::filesystem::exists(mainSchema) || !std::filesystem::exists(catalog)) {
    throw Error(
        Format("Brak schematów JPK w folderze %s. Umieść tam schematy XSD z plikiem catalog.xml "
               "(wskaż folder opcją --schemas albo kluczem SchemaDir w sekcji System).",
               schemaDir.string().c_str()));
  }
  auto it = g_compiled.find(mainSchema.string());
  if (it != g_compiled.end()) return it->second;
  if (g_catalog != catalog.string()) {
    xmlInitializeCatalog();
    xmlLoadCatalog(catalog.c_str());
    g_catalog = catalog.string();
  }
  xmlExternalEntityLoader previous = xmlGetExternalEntityLoader();
  xmlSetExternalEntityLoader(LocalOnlyLoader);
  Collector collector;
  xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(mainSchema.c_str());
  xmlSchemaSetParserStructuredErrors(parser, reinterpret_cast<xmlStructuredErrorFunc>(CollectError), &collector);
  xmlSchemaPtr schema = xmlSchemaParse(parser);
  xmlSchemaFreeParserCtxt(parser);
  xmlSetExternalEntityLoader(previous);
  if (!schema) {
    std::string detail = collector.errors.empty() ? "" : collector.errors.front().message;
    throw Error(Format("Nie można wczytać schematu %s: %s", mainSchema.string().c_str(), detail.c_str()));
  }
  g_compiled[mainSchema.string()] = schema;
  return schema;
}

// The complaints of one validation with the schema: `run` gives it a
// validation context and returns libxml2's result (negative: it could not
// read its input). An input found invalid without a complaint gets one
// general complaint.
template <typename Run>
std::vector<SchemaError> ValidateWith(xmlSchemaPtr schema, const std::string& name, const char* general, Run run) {
  QuietErrors quiet;
  Collector collector;
  std::unique_ptr<xmlSchemaValidCtxt, decltype(&xmlSchemaFreeValidCtxt)> valid(xmlSchemaNewValidCtxt(schema),
                                                                               &xmlSchemaFreeValidCtxt);
  xmlSchemaSetValidStructuredErrors(valid.get(), reinterpret_cast<xmlStructuredErrorFunc>(CollectError), &collector);
  const int rc = run(valid.get());
  if (rc < 0) throw Error(Format("Nie można odczytać pliku %s", name.c_str()));
  if (rc != 0 && collector.errors.empty()) collector.errors.push_back({0, general, ""});
  return collector.errors;
}

// The same with the kind's schema, the whole validation under the lock.
template <typename Run>
std::vector<SchemaError> Validate(const std::filesystem::path& schemaDir, const std::string& kind,
                                  const std::string& name, const char* general, Run run) {
  std::lock_guard lock(g_mutex);
  QuietErrors quiet;
  return ValidateWith(CompiledSchema(schemaDir, MainSchemaFile(schemaDir, kind)), name, general, run);
}

}  // namespace

// The line of the file's "<!DOCTYPE" (1 when not found in its first part).
static int DoctypeLine(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string head(1 << 16, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  const size_t at = head.find("<!DOCTYPE");
  if (at == std::string::npos) return 1;
  return 1 + static_cast<int>(std::count(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

std::string SchemaErrorPlace(const SchemaError& error) {
  if (!error.path.empty()) return error.path + ": ";
  return error.line > 0 ? "wiersz " + std::to_string(error.line) + ": " : std::string();
}

std::string JpkKindOfNamespace(const std::string& namespaceUri) {
  for (const auto& k : kSchemas) {
    if (namespaceUri == k.namespaceUri) return k.kind;
  }
  return {};
}

std::filesystem::path MainSchemaFile(const std::filesystem::path& schemaDir, const std::string& kind) {
  for (const auto& k : kSchemas) {
    if (kind == k.kind) return schemaDir / k.schemaPath;
  }
  return {};
}

std::vector<SchemaError> ValidateJpkFile(const std::filesystem::path& file, const std::filesystem::path& schemaDir) {
  // Safe parse first: a file that is not well-formed fails with its line.
  xml::XmlDocument document = xml::XmlDocument::FromFile(file);
  xml::XmlNode root = document.DocumentElement();
  std::string kind = root.IsNull() || root.LocalName() != "JPK" ? "" : JpkKindOfNamespace(root.NamespaceURI());
  if (kind.empty()) {
    throw Error(
        Format("Plik %s nie jest plikiem JPK_V7M(3), JPK_FA(4), JPK_MAG(1) ani JPK_KR(1)", file.string().c_str()));
  }
  if (document.DroppedDoctype()) {
    // The schema validator cannot walk a tree with entity references; the
    // declaration itself is what is wrong.
    return {{DoctypeLine(file),
             "plik JPK nie może zawierać deklaracji DOCTYPE (<!DOCTYPE …>); program zapisuje plik bez niej, "
             "np. kx2jpk-cli v7m recalc PLIK"}};
  }
  // Validate the file as stored, so that line numbers are those of the file.
  return Validate(schemaDir, kind, file.string(), "Plik niezgodny ze schematem", [&](xmlSchemaValidCtxtPtr valid) {
    xmlDocPtr doc = xmlReadFile(file.c_str(), nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES);
    if (!doc) return -1;
    const int rc = xmlSchemaValidateDoc(valid, doc);
    xmlFreeDoc(doc);
    return rc < 0 ? 1 : rc;  // an internal failure of the check counts as invalid
  });
}

std::vector<SchemaError> ValidateJpkDocument(const xml::XmlDocument& document, const std::filesystem::path& schemaDir) {
  xml::XmlNode root = document.DocumentElement();
  std::string kind = root.IsNull() || root.LocalName() != "JPK" ? "" : JpkKindOfNamespace(root.NamespaceURI());
  if (kind.empty()) throw Error("Dokument nie jest plikiem JPK_V7M(3), JPK_FA(4), JPK_MAG(1) ani JPK_KR(1)");
  std::vector<SchemaError> errors =
      Validate(schemaDir, kind, "", "Dokument niezgodny ze schematem", [&](xmlSchemaValidCtxtPtr valid) {
        // An internal failure of the check counts as invalid.
        const int rc = xmlSchemaValidateDoc(valid, document.RawDocument());
        return rc < 0 ? 1 : rc;
      });
  for (SchemaError& e : errors) e.line = 0;
  return errors;
}

// --- validation of a text written piece by piece ------------------------------------

struct StreamValidation::State {
  static constexpr size_t kQueueBytes = 16u << 20;

  std::filesystem::path schemaDir;
  std::string kind;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::string> pieces;
  size_t queued = 0;   // bytes in pieces
  size_t offset = 0;   // of the front piece, already read
  bool ended = false;  // no more pieces come
  bool abandoned = false;
  bool done = false;  // the thread has its outcome
  std::vector<SchemaError> errors;
  std::exception_ptr failure;
  std::thread thread;

  // The parser's read: a full buffer, waiting for the writer as needed (the
  // parser reads its XML declaration wrongly from a short read); less only
  // at the end, 0 after it.
  static int Read(void* context, char* buffer, int length) {
    auto* state = static_cast<State*>(context);
    const size_t wanted = static_cast<size_t>(length);
    std::unique_lock lock(state->mutex);
    state->changed.wait(
        lock, [state, wanted] { return state->queued - state->offset >= wanted || state->ended || state->abandoned; });
    if (state->abandoned) return -1;
    size_t count = 0;
    while (count < wanted && !state->pieces.empty()) {
      const std::string& front = state->pieces.front();
      const size_t part = std::min(wanted - count, front.size() - state->offset);
      std::memcpy(buffer + count, front.data() + state->offset, part);
      count += part;
      state->offset += part;
      if (state->offset == front.size()) {
        state->queued -= front.size();
        state->pieces.pop_front();
        state->offset = 0;
      }
    }
    state->changed.notify_all();
    return static_cast<int>(count);
  }
  static int Close(void*) { return 0; }

  void Run() {
    try {
      // The lock only while the schema is found: the writer may validate
      // something else meanwhile. A compiled schema is only read.
      xmlSchemaPtr schema = nullptr;
      {
        std::lock_guard lock(g_mutex);
        QuietErrors quiet;
        schema = CompiledSchema(schemaDir, MainSchemaFile(schemaDir, kind));
      }
      errors = ValidateWith(schema, kind, "Plik niezgodny ze schematem", [this](xmlSchemaValidCtxtPtr valid) {
        // The input goes with the parser the validation makes of it.
        xmlParserInputBufferPtr input = xmlParserInputBufferCreateIO(&Read, &Close, this, XML_CHAR_ENCODING_NONE);
        const int rc = input ? xmlSchemaValidateStream(valid, input, XML_CHAR_ENCODING_NONE, nullptr, nullptr) : 1;
        return rc < 0 ? 1 : rc;  // an internal failure counts as invalid, as for a document
      });
      for (SchemaError& e : errors) e.path.clear();
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard lock(mutex);
    done = true;
    // The writer is never left waiting for room.
    pieces.clear();
    queued = 0;
    changed.notify_all();
  }
};

StreamValidation::StreamValidation(std::filesystem::path schemaDir, std::string kind)
    : m_state(std::make_unique<State>()) {
  m_state->schemaDir = std::move(schemaDir);
  m_state->kind = std::move(kind);
  m_state->thread = std::thread([state = m_state.get()] { state->Run(); });
}

StreamValidation::~StreamValidation() {
  {
    std::lock_guard lock(m_state->mutex);
    m_state->abandoned = true;
    m_state->changed.notify_all();
  }
  if (m_state->thread.joinable()) m_state->thread.join();
}

void StreamValidation::Add(std::string_view text) {
  if (text.empty()) return;
  std::unique_lock lock(m_state->mutex);
  m_state->changed.wait(lock, [this] { return m_state->done || m_state->queued < State::kQueueBytes; });
  if (m_state->done) return;
  m_state->pieces.emplace_back(text);
  m_state->queued += text.size();
  m_state->changed.notify_all();
}

std::vector<SchemaError> StreamValidation::Finish() {
  {
    std::lock_guard lock(m_state->mutex);
    m_state->ended = true;
    m_state->changed.notify_all();
  }
  m_state->thread.join();
  if (m_state->failure) std::rethrow_exception(m_state->failure);
  return std::move(m_state->errors);
}

}  // namespace kx::jpk
