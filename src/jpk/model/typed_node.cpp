#include "jpk/model/typed_node.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/error.h"
#include "platform/decimal_text.h"
#include "platform/text_utils.h"

namespace kx::jpk {
namespace {

int64_t ParseWhole(std::string_view name, const std::string& text, int64_t min, int64_t max) {
  std::string t = Trim(text);
  char* end = nullptr;
  errno = 0;
  long long v = t.empty() ? 0 : std::strtoll(t.c_str(), &end, 10);
  if (t.empty() || *end != '\0' || errno != 0 || v < min || v > max) {
    throw Error(Format("Element %.*s: \"%s\" nie jest poprawną liczbą całkowitą", static_cast<int>(name.size()),
                       name.data(), text.c_str()));
  }
  return v;
}

Date ParseDate(std::string_view name, const std::string& text) {
  int y = 0, m = 0, d = 0;
  char tail = 0;
  bool ok = text.size() == 10 && std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) == 3 && text[4] == '-' &&
            text[7] == '-';
  if (ok) {
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    ok = m >= 1 && m <= 12 && d >= 1 && d <= days[m - 1] && (m != 2 || d <= (leap ? 29 : 28));
  }
  if (!ok) {
    throw Error(Format("Element %.*s: \"%s\" nie jest poprawną datą", static_cast<int>(name.size()), name.data(),
                       text.c_str()));
  }
  return {y, m, d};
}

std::string_view LocalPart(std::string_view qualifiedName) {
  size_t colon = qualifiedName.find(':');
  return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

}  // namespace

double ParseXmlDecimal(std::string_view text) {
  std::string t = Trim(text);
  if (t.empty()) return 0;
  std::string upper = UpperCase(t);
  if (upper == "NAN") return std::numeric_limits<double>::quiet_NaN();
  if (upper == "INF") return std::numeric_limits<double>::infinity();
  if (upper == "-INF") return -std::numeric_limits<double>::infinity();
  bool plain = t.find_first_not_of("0123456789+-.eE") == std::string::npos;
  char* end = nullptr;
  double v = plain ? std::strtod(t.c_str(), &end) : 0;
  if (!plain || end != t.c_str() + t.size()) throw Error(Format("\"%s\" nie jest poprawną liczbą", t.c_str()));
  return v;
}

xml::XmlNode TypedNode::Child(std::string_view name) const {
  xml::XmlNode node = m_node;
  return node.ChildByName(name);
}

std::string TypedNode::GetText(std::string_view name) const { return Child(name).Text(); }
void TypedNode::SetText(std::string_view name, std::string_view value) { Child(name).SetText(value); }

int32_t TypedNode::GetInt(std::string_view name) const {
  return static_cast<int32_t>(ParseWhole(name, GetText(name), INT32_MIN, INT32_MAX));
}
void TypedNode::SetInt(std::string_view name, int32_t value) { SetText(name, std::to_string(value)); }

int TypedNode::GetSmall(std::string_view name) const {
  return static_cast<int>(ParseWhole(name, GetText(name), INT8_MIN, INT8_MAX));
}
void TypedNode::SetSmall(std::string_view name, int value) { SetText(name, std::to_string(value)); }

uint32_t TypedNode::GetCount(std::string_view name) const {
  return static_cast<uint32_t>(ParseWhole(name, GetText(name), 0, UINT32_MAX));
}
void TypedNode::SetCount(std::string_view name, uint32_t value) { SetText(name, std::to_string(value)); }

double TypedNode::GetDecimal(std::string_view name) const { return ParseXmlDecimal(GetText(name)); }
void TypedNode::SetDecimal(std::string_view name, double value) { SetText(name, DecimalText(value)); }

Date TypedNode::GetDate(std::string_view name) const { return ParseDate(name, GetText(name)); }
void TypedNode::SetDate(std::string_view name, const Date& value) { SetText(name, tables::DateText(value)); }

bool TypedNode::GetBool(std::string_view name) const {
  std::string t = Trim(GetText(name));
  std::string lower = LowerCase(t);
  if (lower == "true") return true;
  if (lower == "false") return false;
  return ParseWhole(name, t, INT64_MIN, INT64_MAX) != 0;
}
void TypedNode::SetBool(std::string_view name, bool value) { SetText(name, value ? "true" : "false"); }

std::string TypedNode::GetAttribute(std::string_view name) const {
  xml::XmlNode node = m_node;
  if (!node.HasAttribute(name)) node.SetAttribute(name, "");
  return node.Attribute(name);
}
void TypedNode::SetAttribute(std::string_view name, std::string_view value) { m_node.SetAttribute(name, value); }

std::string TypedNode::GetEtdText(std::string_view localName, std::string_view namespaceUri) const {
  xml::XmlNode child = m_node.FindChild(LocalPart(localName), namespaceUri);
  return child.IsNull() ? std::string() : child.Text();
}

void TypedNode::SetEtdText(std::string_view localName, std::string_view namespaceUri, std::string_view value) {
  std::string_view local = LocalPart(localName);
  xml::XmlNode child = m_node.FindChild(local, namespaceUri);
  if (child.IsNull()) {
    std::string prefix = m_node.LookupPrefix(namespaceUri).value_or("etd");
    std::string qualified = prefix.empty() ? std::string(local) : prefix + ":" + std::string(local);
    child = m_node.AddChildNS(qualified, namespaceUri);
  }
  child.SetText(value);
}

Date TypedNode::GetEtdDate(std::string_view localName, std::string_view namespaceUri) const {
  std::string text = GetEtdText(localName, namespaceUri);
  return text.empty() ? Date{} : ParseDate(localName, text);
}

void TypedNode::SetEtdDate(std::string_view localName, std::string_view namespaceUri, const Date& value) {
  SetEtdText(localName, namespaceUri, tables::DateText(value));
}

xml::XmlDocument NewJpkDocument() {
  xml::XmlDocument document;
  document.SetVersion("1.0");
  return document;
}

xml::XmlDocument LoadJpkDocument(const std::filesystem::path& fileName, std::string_view targetNamespace,
                                 std::string_view kindTitle) {
  xml::XmlDocument document = xml::XmlDocument::FromFile(fileName);
  xml::XmlNode root = document.DocumentElement();
  if (root.IsNull() || root.LocalName() != "JPK" || root.NamespaceURI() != targetNamespace) {
    throw Error(Format("Plik %s nie jest plikiem %.*s: oczekiwano elementu JPK w przestrzeni nazw %.*s",
                       fileName.string().c_str(), static_cast<int>(kindTitle.size()), kindTitle.data(),
                       static_cast<int>(targetNamespace.size()), targetNamespace.data()));
  }
  return document;
}

}  // namespace kx::jpk
