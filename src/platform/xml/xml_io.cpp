#include "platform/xml/xml_io.h"

#include <libxml/entities.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/error.h"
#include "platform/file_faults.h"
#include "platform/temp_file.h"
#include "platform/xml/xml_tree.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kx::xml::detail {

namespace {

// --- libxml2 set-up --------------------------------------------------------------

// Set while this thread parses untrusted input: the entity loader then reads
// nothing. libxml2 loads no external entity with our options anyway; this is
// the second lock on that door. Other users of libxml2 (schema validation with
// a catalog) keep the loader they had.
thread_local bool t_untrusted = false;
xmlExternalEntityLoader g_previousLoader = nullptr;

xmlParserInputPtr GuardedLoader(const char* url, const char* id, xmlParserCtxtPtr context) {
  if (t_untrusted) return nullptr;
  return g_previousLoader ? g_previousLoader(url, id, context) : nullptr;
}

struct CapturedError {
  bool present = false;
  int code = 0;
  int line = 0;
  std::string message;
  std::string str1;
  std::string str2;
};

void IgnoreGenericError(void*, const char*, ...) {}

// Collects the first error libxml2 reports on this thread instead of letting
// it print to standard error; restores the previous handlers afterwards.
class ErrorCapture {
 public:
  ErrorCapture() {
    InitLibxml();
    m_oldStructured = xmlStructuredError;
    m_oldStructuredContext = xmlStructuredErrorContext;
    m_oldGeneric = xmlGenericError;
    m_oldGenericContext = xmlGenericErrorContext;
    xmlSetStructuredErrorFunc(this, &ErrorCapture::Handle);
    xmlSetGenericErrorFunc(nullptr, &IgnoreGenericError);
  }
  ~ErrorCapture() {
    xmlSetStructuredErrorFunc(m_oldStructuredContext, m_oldStructured);
    xmlSetGenericErrorFunc(m_oldGenericContext, m_oldGeneric);
  }
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;

  const CapturedError& First() const { return m_first; }

 private:
  static void Handle(void* self, xmlErrorPtr error) {
    auto* capture = static_cast<ErrorCapture*>(self);
    if (!error || error->level < XML_ERR_ERROR || capture->m_first.present) return;
    CapturedError& first = capture->m_first;
    first.present = true;
    first.code = error->code;
    first.line = error->line;
    first.message = error->message ? error->message : "";
    while (!first.message.empty() && (first.message.back() == '\n' || first.message.back() == ' ')) {
      first.message.pop_back();
    }
    first.str1 = error->str1 ? error->str1 : "";
    first.str2 = error->str2 ? error->str2 : "";
  }

  CapturedError m_first;
  xmlStructuredErrorFunc m_oldStructured;
  void* m_oldStructuredContext;
  xmlGenericErrorFunc m_oldGeneric;
  void* m_oldGenericContext;
};

class UntrustedInput {
 public:
  UntrustedInput() : m_was(t_untrusted) { t_untrusted = true; }
  ~UntrustedInput() { t_untrusted = m_was; }

 private:
  bool m_was;
};

// What went wrong, in Polish, from libxml2's error.
std::string Describe(const CapturedError& error) {
  switch (error.code) {
    case XML_ERR_DOCUMENT_EMPTY: return "nie znaleziono elementu głównego";
    case XML_ERR_DOCUMENT_END:
    case XML_ERR_EXTRA_CONTENT: return "dodatkowa treść za końcem dokumentu";
    case XML_ERR_INVALID_CHAR:
    case XML_ERR_INVALID_ENCODING:
      if (error.message.find("UTF-8") != std::string::npos) return "znaki niezgodne z kodowaniem UTF-8";
      return "niedozwolony znak";
    case XML_ERR_INVALID_DEC_CHARREF:
    case XML_ERR_INVALID_CHARREF: return "niepoprawne odwołanie do znaku";
    case XML_ERR_UNKNOWN_ENCODING:
    case XML_ERR_UNSUPPORTED_ENCODING:
      return "nieobsługiwane kodowanie znaków" + (error.str1.empty() ? std::string() : " " + error.str1);
    case XML_ERR_UNDECLARED_ENTITY:
      return error.str1.empty() ? "niezadeklarowana encja" : "niezadeklarowana encja &" + error.str1 + ";";
    case XML_ERR_ENTITY_LOOP: return "zapętlone lub zbyt duże rozwinięcie encji";
    case XML_ERR_ENTITYREF_SEMICOL_MISSING: return "brak średnika po nazwie encji";
    case XML_ERR_TAG_NAME_MISMATCH:
      return kx::Format("znacznik zamykający </%s> nie pasuje do <%s>", error.str2.c_str(), error.str1.c_str());
    case XML_ERR_TAG_NOT_FINISHED:
      return error.str1.empty() ? "niedokończony element"
                                : kx::Format("niedokończony element <%s>", error.str1.c_str());
    case XML_ERR_LTSLASH_REQUIRED: return "brak znacznika zamykającego";
    case XML_ERR_GT_REQUIRED: return "brak znaku > na końcu znacznika";
    case XML_ERR_LT_IN_ATTRIBUTE: return "znak < w wartości atrybutu";
    case XML_ERR_ATTRIBUTE_NOT_STARTED:
    case XML_ERR_ATTRIBUTE_WITHOUT_VALUE:
    case XML_ERR_EQUAL_REQUIRED: return "atrybut bez wartości";
    case XML_ERR_ATTRIBUTE_NOT_FINISHED:
    case XML_ERR_STRING_NOT_CLOSED: return "niedokończona wartość atrybutu";
    case XML_ERR_ATTRIBUTE_REDEFINED:
      return error.str1.empty() ? "powtórzony atrybut" : "powtórzony atrybut " + error.str1;
    case XML_ERR_COMMENT_NOT_FINISHED:
    case XML_ERR_HYPHEN_IN_COMMENT: return "niepoprawny komentarz";
    case XML_ERR_PI_NOT_FINISHED: return "niedokończona instrukcja przetwarzania";
    case XML_ERR_CDATA_NOT_FINISHED: return "niedokończona sekcja CDATA";
    case XML_ERR_DOCTYPE_NOT_FINISHED: return "niedokończona deklaracja typu dokumentu";
    case XML_ERR_XMLDECL_NOT_FINISHED:
    case XML_ERR_VERSION_MISSING:
    case XML_ERR_STANDALONE_VALUE:
    case XML_ERR_RESERVED_XML_NAME: return "niepoprawna deklaracja XML";
    case XML_ERR_NAME_REQUIRED:
    case XML_ERR_LT_REQUIRED:
    case XML_ERR_SPACE_REQUIRED: return "niepoprawna budowa znacznika";
    case XML_ERR_NOT_WELL_BALANCED: return "elementy niepoprawnie zagnieżdżone";
    case XML_ERR_NAME_TOO_LONG: return "za długa nazwa";
    case XML_ERR_NO_MEMORY: return "brak pamięci";
    case XML_NS_ERR_UNDEFINED_NAMESPACE:
      return kx::Format("nieznany prefiks przestrzeni nazw %s w nazwie %s", error.str1.c_str(), error.str2.c_str());
    case XML_NS_ERR_QNAME: return "niepoprawna nazwa z prefiksem";
    default: break;
  }
  if (error.message.find("Excessive depth") != std::string::npos) {
    return "zbyt głębokie zagnieżdżenie elementów (ponad 256 poziomów)";
  }
  // Rare cases keep libxml2's own words.
  return error.message.empty() ? "błąd składni" : "błąd składni (" + error.message + ")";
}

// What the operating system said, in Polish.
std::string Reason(int code) { return SystemErrorText(code); }

std::string PathText(const std::filesystem::path& path) { return path.string(); }

// The encoding named in the text's declaration, "" when none.
std::string DeclaredEncoding(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.substr(0, 5) != "<?xml") return {};
  size_t end = text.find("?>");
  std::string_view decl = text.substr(0, end);
  size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return {};
  at += 8;
  while (at < decl.size() && (decl[at] == ' ' || decl[at] == '\t' || decl[at] == '\r' || decl[at] == '\n')) ++at;
  if (at >= decl.size() || decl[at] != '=') return {};
  ++at;
  while (at < decl.size() && (decl[at] == ' ' || decl[at] == '\t' || decl[at] == '\r' || decl[at] == '\n')) ++at;
  if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return {};
  char quote = decl[at++];
  size_t close = decl.find(quote, at);
  if (close == std::string_view::npos) return {};
  return std::string(decl.substr(at, close - at));
}

constexpr int kLoadOptions = XML_PARSE_NONET;

struct ParserContext {
  ParserContext() : ctxt(xmlNewParserCtxt()) {
    if (!ctxt) throw kx::Error("Brak pamięci na analizę dokumentu XML");
  }
  ~ParserContext() { xmlFreeParserCtxt(ctxt); }
  xmlParserCtxtPtr ctxt;
};

// Notes whether the parse meets an xml:space attribute, which changes how
// blank text reads back; the parser's own handler builds the element.
struct SpaceWatch {
  startElementNsSAX2Func build = nullptr;
  bool seen = false;

  explicit SpaceWatch(xmlParserCtxtPtr ctxt) : build(ctxt->sax->startElementNs) {
    ctxt->_private = this;
    ctxt->sax->startElementNs = &StartElement;
  }

  static void StartElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                           int namespaceCount, const xmlChar** namespaces, int attributeCount, int defaultedCount,
                           const xmlChar** attributes) {
    auto* watch = static_cast<SpaceWatch*>(static_cast<xmlParserCtxtPtr>(context)->_private);
    // Five pointers per attribute: local name, prefix, URI, value, value end.
    for (int i = 0; i < attributeCount && !watch->seen; ++i) {
      const xmlChar* const* a = attributes + 5 * i;
      watch->seen = a[1] && xmlStrEqual(a[1], BAD_CAST "xml") && xmlStrEqual(a[0], BAD_CAST "space");
    }
    watch->build(context, localName, prefix, uri, namespaceCount, namespaces, attributeCount, defaultedCount,
                 attributes);
  }
};

// The parsed document, or nullptr with the error in `error`.
xmlDocPtr Finish(xmlParserCtxtPtr ctxt, xmlDocPtr doc, const ErrorCapture& capture, CapturedError& error) {
  // Memory running out stops the parser and leaves a cut tree that still
  // counts as well-formed: such a tree is never taken.
  const bool outOfMemory = ctxt->errNo == XML_ERR_NO_MEMORY;
  if (doc && ctxt->wellFormed && ctxt->nsWellFormed && !outOfMemory) return doc;
  if (doc) xmlFreeDoc(doc);
  error = capture.First();
  if (outOfMemory) {
    error.present = true;
    error.code = XML_ERR_NO_MEMORY;
  }
  if (!error.present) {
    error.present = true;
    error.code = XML_ERR_DOCUMENT_EMPTY;
    error.line = 1;
  }
  if (error.line <= 0) error.line = 1;
  return nullptr;
}

// --- serialisation ---------------------------------------------------------------

// Where serialised bytes go.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual bool Write(const char* data, size_t size) = 0;
};

class StringSink : public Sink {
 public:
  explicit StringSink(std::string& out) : m_out(out) {}
  bool Write(const char* data, size_t size) override {
    m_out.append(data, size);
    return true;
  }

 private:
  std::string& m_out;
};

int WriteToSink(void* context, const char* data, int size) {
  return static_cast<Sink*>(context)->Write(data, static_cast<size_t>(size)) ? size : -1;
}

std::string Declaration(xmlDocPtr doc, std::string_view encodingLabel) {
  std::string decl = "<?xml version=\"";
  decl += doc->version ? reinterpret_cast<const char*>(doc->version) : "1.0";
  decl += "\"";
  if (!encodingLabel.empty()) {
    decl += " encoding=\"";
    decl += encodingLabel;
    decl += "\"";
  }
  if (doc->standalone == 1) decl += " standalone=\"yes\"";
  if (doc->standalone == 0) decl += " standalone=\"no\"";
  decl += "?>\n";
  return decl;
}

// Restores libxml2's per-thread output settings after a formatted save.
class FormatSettings {
 public:
  FormatSettings(bool format, const std::string& indent)
      : m_indent(xmlTreeIndentString), m_indentOutput(xmlIndentTreeOutput), m_noEmpty(xmlSaveNoEmptyTags) {
    if (format) {
      xmlTreeIndentString = indent.c_str();
      xmlIndentTreeOutput = 1;
    }
    xmlSaveNoEmptyTags = 0;
  }
  ~FormatSettings() {
    xmlTreeIndentString = m_indent;
    xmlIndentTreeOutput = m_indentOutput;
    xmlSaveNoEmptyTags = m_noEmpty;
  }
  FormatSettings(const FormatSettings&) = delete;
  FormatSettings& operator=(const FormatSettings&) = delete;

 private:
  const char* m_indent;
  int m_indentOutput;
  int m_noEmpty;
};

// Writes the declaration and the document to the sink; false when the sink or
// libxml2 failed.
bool Serialize(xmlDocPtr doc, Sink& sink, std::string_view encodingLabel, bool format, std::string_view indent,
               xmlNodePtr node = nullptr) {
  ErrorCapture capture;
  std::string indentText(indent);
  FormatSettings settings(format, indentText);
  if (!node) {
    std::string decl = Declaration(doc, encodingLabel);
    if (!sink.Write(decl.data(), decl.size())) return false;
  }
  int options = XML_SAVE_NO_DECL | XML_SAVE_AS_XML | (format ? XML_SAVE_FORMAT : 0);
  xmlSaveCtxtPtr save = xmlSaveToIO(&WriteToSink, nullptr, &sink, "UTF-8", options);
  if (!save) return false;
  long result = node ? xmlSaveTree(save, node) : xmlSaveDoc(save, doc);
  int closed = xmlSaveClose(save);
  return result >= 0 && closed >= 0 && !capture.First().present;
}

#ifndef _WIN32
// The temporary file of an atomic save: written, flushed to the disk and
// renamed over the target; removed when anything fails.
class AtomicFile : public Sink {
 public:
  explicit AtomicFile(const std::filesystem::path& target) : m_target(target) {
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
      char suffix[32];
      std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
      m_temp = folder / ("." + target.filename().string() + suffix);
      if (const int injected = FileFault(FileStep::Create)) {
        errno = injected;
        break;
      }
      m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (m_fd < 0 && errno != EEXIST) break;
    }
    if (m_fd < 0) Fail(errno);
    RegisterPrivateFile(m_temp);
    struct stat old;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(m_fd, old.st_mode & 07777);
    m_buffer.reserve(kBufferSize);
  }
  ~AtomicFile() override {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed && !m_temp.empty()) ::unlink(m_temp.c_str());
    if (!m_temp.empty()) UnregisterPrivateFile(m_temp);
  }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool Write(const char* data, size_t size) override {
    if (m_error) return false;
    if (m_buffer.size() + size > kBufferSize && !Flush()) return false;
    if (size >= kBufferSize) return WriteAll(data, size);
    m_buffer.append(data, size);
    return true;
  }

  void Commit() {
    if (m_error) Fail(m_error);
    if (!Flush()) Fail(m_error);
    if (const int injected = FileFault(FileStep::Sync)) Fail(injected);
    if (::fsync(m_fd) != 0) Fail(errno);
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) Fail(errno);
    if (const int injected = FileFault(FileStep::Close)) Fail(injected);
    if (const int injected = FileFault(FileStep::Rename)) Fail(injected);
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) Fail(errno);
    m_committed = true;
    // The rename itself reaches the disk with the folder.
    std::filesystem::path folder = m_target.parent_path();
    if (folder.empty()) folder = ".";
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }

  [[noreturn]] void Fail(int code) {
    throw kx::Error(kx::Format("Nie można zapisać pliku %s: %s", PathText(m_target).c_str(), Reason(code).c_str()));
  }
  int Error() const { return m_error; }

 private:
  static constexpr size_t kBufferSize = 1 << 16;

  bool Flush() {
    if (m_buffer.empty()) return true;
    bool ok = WriteAll(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
    return ok;
  }
  bool WriteAll(const char* data, size_t size) {
    if (const int injected = FileFault(FileStep::Write)) {
      m_error = injected;
      return false;
    }
    while (size > 0) {
      ssize_t written = ::write(m_fd, data, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        m_error = errno;
        return false;
      }
      data += written;
      size -= static_cast<size_t>(written);
    }
    return true;
  }

  std::filesystem::path m_target;
  std::filesystem::path m_temp;
  int m_fd = -1;
  int m_error = 0;
  bool m_committed = false;
  std::string m_buffer;
};
#else
// Windows: the same steps through the standard library.
class AtomicFile : public Sink {
 public:
  explicit AtomicFile(const std::filesystem::path& target) : m_target(target) {
    std::random_device random;
    m_temp = target;
    m_temp += "." + std::to_string(random()) + ".tmp";
    m_out.open(m_temp, std::ios::binary | std::ios::trunc);
    if (!m_out) Fail(errno);
  }
  ~AtomicFile() override {
    if (m_out.is_open()) m_out.close();
    std::error_code ignored;
    if (!m_committed) std::filesystem::remove(m_temp, ignored);
  }
  bool Write(const char* data, size_t size) override {
    m_out.write(data, static_cast<std::streamsize>(size));
    return static_cast<bool>(m_out);
  }
  void Commit() {
    m_out.flush();
    if (!m_out) Fail(EIO);
    m_out.close();
    std::error_code error;
    std::filesystem::rename(m_temp, m_target, error);
    if (error) Fail(error.value());
    m_committed = true;
  }
  [[noreturn]] void Fail(int code) {
    throw kx::Error(kx::Format("Nie można zapisać pliku %s: %s", PathText(m_target).c_str(), Reason(code).c_str()));
  }
  int Error() const { return m_out ? 0 : EIO; }

 private:
  std::filesystem::path m_target;
  std::filesystem::path m_temp;
  std::ofstream m_out;
  bool m_committed = false;
};
#endif

// Reads a file for the parser, in pieces.
struct FileInput {
  std::ifstream stream;
  bool failed = false;
};

int ReadFromFile(void* context, char* buffer, int size) {
  auto* input = static_cast<FileInput*>(context);
  input->stream.read(buffer, size);
  if (input->stream.bad()) {
    input->failed = true;
    return -1;
  }
  return static_cast<int>(input->stream.gcount());
}

// The text that entity references of a loaded document stand for is bounded:
// libxml2 stops nested expansion bombs, and this stops the flat kind (one
// large entity referenced very often), whose text would be built whenever an
// element's text is read.
class EntityExpansion {
 public:
  explicit EntityExpansion(uint64_t limit) : m_limit(limit) {}

  // The line of the reference that passes the limit, or 0 when none does.
  int Check(xmlDocPtr doc) {
    m_doc = doc;
    uint64_t total = 0;
    for (xmlNodePtr node = doc->children; node;) {
      if (node->type == XML_ENTITY_REF_NODE) {
        total += EntityLength(xmlGetDocEntity(doc, node->name), 0);
        if (total > m_limit) return LineOf(node);
      }
      if (node->type == XML_ELEMENT_NODE) {
        for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
          total += ListLength(attr->children, 0);
          if (total > m_limit) return LineOf(node);
        }
      }
      if (node->type == XML_ELEMENT_NODE && node->children) {
        node = node->children;
        continue;
      }
      while (node && !node->next) node = node->parent;
      if (!node || node == reinterpret_cast<xmlNodePtr>(doc)) break;
      node = node->next;
    }
    return 0;
  }

 private:
  static constexpr uint64_t kHuge = UINT64_MAX / 4;

  // References carry no line of their own: the element's, then its parent's.
  static int LineOf(xmlNodePtr node) {
    for (; node && node->type != XML_DOCUMENT_NODE; node = node->parent) {
      if (node->line > 0) return node->line;
    }
    return 1;
  }

  uint64_t EntityLength(xmlEntityPtr entity, int depth) {
    if (!entity) return 0;
    auto found = m_lengths.find(entity);
    if (found != m_lengths.end()) return found->second;
    if (depth > 40) return kHuge;
    m_lengths[entity] = kHuge;  // a reference to itself counts as endless
    uint64_t length =
        entity->children ? ListLength(entity->children, depth + 1) : (entity->content ? xmlStrlen(entity->content) : 0);
    m_lengths[entity] = length;
    return length;
  }

  uint64_t ListLength(xmlNodePtr list, int depth) {
    uint64_t length = 0;
    for (xmlNodePtr node = list; node && length <= m_limit; node = node->next) {
      switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE: length += node->content ? xmlStrlen(node->content) : 0; break;
        case XML_ENTITY_REF_NODE: length += EntityLength(xmlGetDocEntity(m_doc, node->name), depth); break;
        case XML_ELEMENT_NODE: length += ListLength(node->children, depth + 1); break;
        default: break;
      }
    }
    return length;
  }

  uint64_t m_limit;
  xmlDocPtr m_doc = nullptr;
  std::unordered_map<xmlEntityPtr, uint64_t> m_lengths;
};

// Fails a parsed document whose entities would expand too far; frees it then.
void CheckExpansion(xmlDocPtr doc, uint64_t inputSize, const std::string& fileName) {
  bool hasEntities = (doc->intSubset && doc->intSubset->entities) || (doc->extSubset && doc->extSubset->entities);
  if (!hasEntities) return;
  EntityExpansion expansion(16u * 1024 * 1024 + 8 * inputSize);
  int line = expansion.Check(doc);
  if (line == 0) return;
  xmlFreeDoc(doc);
  const char* reason = "zapętlone lub zbyt duże rozwinięcie encji";
  if (fileName.empty()) throw kx::Error(kx::Format("Tekst XML nie jest poprawny (wiersz %d): %s", line, reason));
  throw kx::Error(kx::Format("Plik %s nie jest poprawnym plikiem XML (wiersz %d): %s", fileName.c_str(), line, reason));
}

bool IsXmlChar(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

}  // namespace

void InitLibxml() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    g_previousLoader = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(GuardedLoader);
  });
}

// --- parsing -------------------------------------------------------------------------

// libxml2 (2.9) can crash instead of failing when memory runs out in the
// middle of a parse. Before a parse the memory a tree of that text needs is
// asked for once and given back: when it is not there, the parse is not
// started and the message says so.
void RequireMemoryForTree(uint64_t textSize, const std::string& name) {
  constexpr uint64_t kTreeFactor = 10;  // a tree takes several times the text
  const uint64_t wanted = textSize * kTreeFactor;
  if (wanted < (uint64_t{64} << 20)) return;
  void* probe = wanted <= SIZE_MAX ? std::malloc(static_cast<size_t>(wanted)) : nullptr;
  if (!probe) {
    throw kx::Error(kx::Format("Nie można wczytać %s: brak pamięci (zamknij inne programy albo podziel plik)",
                               name.empty() ? "tekstu XML" : ("pliku " + name).c_str()));
  }
  std::free(probe);
}

xmlDocPtr ParseFile(const std::filesystem::path& path, bool* xmlSpace) {
  std::string name = PathText(path);
  std::error_code status;
  if (!std::filesystem::exists(path, status)) {
    throw kx::Error(kx::Format("Nie można otworzyć pliku %s: %s", name.c_str(), "plik nie istnieje"));
  }
  if (std::filesystem::is_directory(path, status)) {
    throw kx::Error(kx::Format("Nie można otworzyć pliku %s: %s", name.c_str(), Reason(EISDIR).c_str()));
  }
  RequireRegularFile(name);
  FileInput input;
  input.stream.open(path, std::ios::binary);
  if (!input.stream) {
    int code = errno ? errno : EACCES;
    throw kx::Error(kx::Format("Nie można otworzyć pliku %s: %s", name.c_str(), Reason(code).c_str()));
  }
  if (input.stream.peek() == std::char_traits<char>::eof()) {
    throw kx::Error(
        kx::Format("Plik %s nie jest poprawnym plikiem XML (wiersz %d): %s", name.c_str(), 1, "plik jest pusty"));
  }
  {
    std::error_code sizeError;
    const uintmax_t fileSize = std::filesystem::file_size(path, sizeError);
    if (!sizeError) RequireMemoryForTree(fileSize, name);
  }

  ErrorCapture capture;
  UntrustedInput untrusted;
  ParserContext parser;
  SpaceWatch space(parser.ctxt);
  xmlDocPtr doc =
      xmlCtxtReadIO(parser.ctxt, &ReadFromFile, nullptr, &input, nullptr, nullptr, kLoadOptions | XML_PARSE_NOBLANKS);
  if (xmlSpace) *xmlSpace = space.seen;
  CapturedError error;
  doc = Finish(parser.ctxt, doc, capture, error);
  if (input.failed) {
    if (doc) xmlFreeDoc(doc);
    throw kx::Error(kx::Format("Nie można odczytać pliku %s: %s", name.c_str(), Reason(EIO).c_str()));
  }
  if (!doc && error.code == XML_ERR_NO_MEMORY) {
    throw kx::Error(
        kx::Format("Nie można wczytać pliku %s: brak pamięci (zamknij inne programy albo podziel plik)", name.c_str()));
  }
  if (!doc) {
    throw kx::Error(kx::Format("Plik %s nie jest poprawnym plikiem XML (wiersz %d): %s", name.c_str(), error.line,
                               Describe(error).c_str()));
  }
  std::error_code sizeError;
  uintmax_t size = std::filesystem::file_size(path, sizeError);
  CheckExpansion(doc, sizeError ? 0 : static_cast<uint64_t>(size), name);
  return doc;
}

namespace {

// Replaces entity references below node by copies of their content; the
// name of the first reference without known content, if any.
std::optional<std::pair<std::string, int>> ExpandEntityRefs(xmlDocPtr doc, xmlNodePtr node) {
  for (xmlNodePtr child = node->children; child;) {
    xmlNodePtr next = child->next;
    if (child->type == XML_ENTITY_REF_NODE) {
      xmlEntityPtr entity = xmlGetDocEntity(doc, child->name);
      if (!entity || entity->etype != XML_INTERNAL_GENERAL_ENTITY || !entity->content) {
        const int line = child->line != 0 ? child->line : node->line;
        return std::make_pair(std::string(reinterpret_cast<const char*>(child->name)), line);
      }
      // The entity's parsed content, or its text.
      xmlNodePtr copies =
          entity->children ? xmlDocCopyNodeList(doc, entity->children) : xmlNewDocText(doc, entity->content);
      // The copies are walked next: references inside an entity are expanded too.
      if (copies) next = copies;
      // Linked by hand: libxml2's own insertion merges adjacent text nodes
      // and frees one of them.
      for (xmlNodePtr c = copies; c;) {
        xmlNodePtr after = c->next;
        c->parent = child->parent;
        c->prev = child->prev;
        c->next = child;
        if (child->prev) {
          child->prev->next = c;
        } else {
          child->parent->children = c;
        }
        child->prev = c;
        c = after;
      }
      xmlUnlinkNode(child);
      xmlFreeNode(child);
    } else if (child->type == XML_ELEMENT_NODE) {
      // Attribute values hold their references as children too.
      for (xmlAttrPtr attribute = child->properties; attribute; attribute = attribute->next) {
        if (auto missing = ExpandEntityRefs(doc, reinterpret_cast<xmlNodePtr>(attribute))) return missing;
      }
      if (child->children) {
        if (auto missing = ExpandEntityRefs(doc, child)) return missing;
      }
    }
    child = next;
  }
  return std::nullopt;
}

}  // namespace

bool DropDoctype(xmlDocPtr doc, const std::string& name) {
  if (!doc->intSubset && !doc->extSubset) return false;
  if (auto missing = ExpandEntityRefs(doc, reinterpret_cast<xmlNodePtr>(doc))) {
    xmlFreeDoc(doc);
    throw kx::Error(
        kx::Format("Plik %s (wiersz %d) odwołuje się do encji &%s; spoza pliku; plik JPK nie może "
                   "zawierać deklaracji DOCTYPE ani encji",
                   name.c_str(), missing->second, missing->first.c_str()));
  }
  xmlDtdPtr internal = doc->intSubset;
  xmlDtdPtr external = doc->extSubset;
  if (internal) {
    xmlUnlinkNode(reinterpret_cast<xmlNodePtr>(internal));
    doc->intSubset = nullptr;
    xmlFreeDtd(internal);
  }
  if (external && external != internal) {
    doc->extSubset = nullptr;
    xmlFreeDtd(external);
  }
  return true;
}

xmlDocPtr ParseText(std::string_view text, Blanks blanks) {
  if (text.size() > static_cast<size_t>(INT_MAX)) throw kx::Error("Tekst XML jest za duży");
  if (text.empty()) throw kx::Error(kx::Format("Tekst XML nie jest poprawny (wiersz %d): %s", 1, "tekst jest pusty"));
  RequireMemoryForTree(text.size(), {});
  ErrorCapture capture;
  UntrustedInput untrusted;
  ParserContext parser;
  int options = kLoadOptions | XML_PARSE_IGNORE_ENC | (blanks == Blanks::Drop ? XML_PARSE_NOBLANKS : 0);
  xmlDocPtr doc = xmlCtxtReadMemory(parser.ctxt, text.data(), static_cast<int>(text.size()), nullptr, "UTF-8", options);
  CapturedError error;
  doc = Finish(parser.ctxt, doc, capture, error);
  if (!doc && error.code == XML_ERR_NO_MEMORY) {
    throw kx::Error("Nie można wczytać tekstu XML: brak pamięci (zamknij inne programy albo podziel plik)");
  }
  if (!doc) {
    throw kx::Error(kx::Format("Tekst XML nie jest poprawny (wiersz %d): %s", error.line, Describe(error).c_str()));
  }
  CheckExpansion(doc, text.size(), {});
  std::string label = DeclaredEncoding(text);
  if (doc->encoding) xmlFree(const_cast<xmlChar*>(doc->encoding));
  doc->encoding = label.empty() ? nullptr : xmlStrdup(Bytes(label));
  return doc;
}

// --- writing -------------------------------------------------------------------------

std::string SerializeDocument(xmlDocPtr doc, std::string_view encodingLabel, bool format, std::string_view indent) {
  std::string out;
  StringSink sink(out);
  if (!Serialize(doc, sink, encodingLabel, format, indent)) {
    throw kx::Error("Nie można zapisać dokumentu XML jako tekstu");
  }
  return out;
}

std::string SerializeNode(xmlDocPtr doc, xmlNodePtr node) {
  std::string out;
  StringSink sink(out);
  if (!Serialize(doc, sink, {}, false, {}, node)) throw kx::Error("Nie można zapisać węzła XML jako tekstu");
  return out;
}

std::string SerializeChildren(xmlDocPtr doc, xmlNodePtr parent, int depth, std::string_view indent) {
  ErrorCapture capture;
  std::string indentText(indent);
  FormatSettings settings(true, indentText);
  std::string out;
  StringSink sink(out);
  xmlOutputBufferPtr buffer = xmlOutputBufferCreateIO(&WriteToSink, nullptr, &sink, nullptr);
  if (!buffer) throw kx::Error("Nie można zapisać dokumentu XML jako tekstu");
  std::string lead;
  for (int i = 0; i < depth; ++i) lead += indentText;
  for (xmlNodePtr child = parent->children; child; child = child->next) {
    xmlOutputBufferWrite(buffer, static_cast<int>(lead.size()), lead.c_str());
    xmlNodeDumpOutput(buffer, doc, child, depth, 1, "UTF-8");
    xmlOutputBufferWrite(buffer, 1, "\n");
  }
  const int closed = xmlOutputBufferClose(buffer);
  if (closed < 0 || capture.First().present) throw kx::Error("Nie można zapisać dokumentu XML jako tekstu");
  return out;
}

void WriteDocumentFile(xmlDocPtr doc, const std::filesystem::path& path, bool format, std::string_view indent) {
  AtomicFile file(path);
  if (!Serialize(doc, file, "UTF-8", format, format ? indent : "")) file.Fail(file.Error() ? file.Error() : EIO);
  file.Commit();
}

namespace {

class AtomicFileWriter : public AtomicWriter {
 public:
  explicit AtomicFileWriter(const std::filesystem::path& path) : m_file(path) {}
  void Write(std::string_view bytes) override {
    if (!m_file.Write(bytes.data(), bytes.size())) m_file.Fail(m_file.Error() ? m_file.Error() : EIO);
  }
  void Commit() override { m_file.Commit(); }

 private:
  AtomicFile m_file;
};

}  // namespace

std::unique_ptr<AtomicWriter> OpenAtomicFile(const std::filesystem::path& path) {
  return std::make_unique<AtomicFileWriter>(path);
}

void WriteTextFile(const std::filesystem::path& path, std::string_view bytes) {
  AtomicFile file(path);
  if (!file.Write(bytes.data(), bytes.size())) file.Fail(file.Error() ? file.Error() : EIO);
  file.Commit();
}

// --- checks --------------------------------------------------------------------------

void CheckName(std::string_view name) {
  std::string text(name);
  if (text.empty() || text.size() != std::strlen(text.c_str()) || xmlValidateQName(Bytes(text), 0) != 0) {
    throw kx::Error(kx::Format("Niepoprawna nazwa XML: \"%s\"", text.c_str()));
  }
}

void CheckText(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    uint32_t c = *p;
    int length = 1;
    if (c >= 0x80) {
      if ((c & 0xE0) == 0xC0) {
        length = 2, c &= 0x1F;
      } else if ((c & 0xF0) == 0xE0) {
        length = 3, c &= 0x0F;
      } else if ((c & 0xF8) == 0xF0) {
        length = 4, c &= 0x07;
      } else {
        length = 0;
      }
      if (length == 0 || end - p < length) throw kx::Error("Tekst dla dokumentu XML nie jest poprawnym tekstem UTF-8");
      for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) throw kx::Error("Tekst dla dokumentu XML nie jest poprawnym tekstem UTF-8");
        c = (c << 6) | (p[i] & 0x3F);
      }
      static const uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
      if (c < kMinimum[length]) throw kx::Error("Tekst dla dokumentu XML nie jest poprawnym tekstem UTF-8");
    }
    if (!IsXmlChar(c)) {
      throw kx::Error(kx::Format("Znak o kodzie %d jest niedozwolony w dokumencie XML", static_cast<int>(c)));
    }
    p += length;
  }
}

void CheckComment(std::string_view text) {
  CheckText(text);
  if (text.find("--") != std::string_view::npos || (!text.empty() && text.back() == '-')) {
    throw kx::Error("Komentarz XML nie może zawierać \"--\" ani kończyć się znakiem \"-\"");
  }
}

void CheckProcessingInstruction(std::string_view target, std::string_view data) {
  CheckName(target);
  if (target.find(':') != std::string_view::npos) {
    throw kx::Error(kx::Format("Niepoprawna nazwa XML: \"%s\"", std::string(target).c_str()));
  }
  std::string lower(target);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "xml") throw kx::Error("Instrukcja przetwarzania nie może nazywać się \"xml\"");
  CheckText(data);
  if (data.find("?>") != std::string_view::npos) {
    throw kx::Error("Instrukcja przetwarzania XML nie może zawierać \"?>\"");
  }
}

}  // namespace kx::xml::detail
