#include "convert/buchalter_names.h"

#include <pcre2.h>

#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx::convert {
namespace {

// Lines of a name are broken at this column.
constexpr size_t kNameLineWidth = 70;

bool IsDigit(char32_t c) { return c >= '0' && c <= '9'; }

// Latin letters: ASCII, Latin-1 and Latin Extended-A and -B (the Polish ones among them).
bool IsLetter(char32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}

bool IsUpperLetter(char32_t c) {
  if (!IsLetter(c)) return false;
  const std::string one = U32ToUtf8(std::u32string_view(&c, 1));
  return LowerCase(one) != one;
}

bool IsSpaceOrControl(char32_t c) { return c <= U' '; }

std::u32string TrimLeft(std::u32string_view s) {
  size_t b = 0;
  while (b < s.size() && IsSpaceOrControl(s[b])) ++b;
  return std::u32string(s.substr(b));
}

std::u32string TrimRight(std::u32string_view s) {
  size_t e = s.size();
  while (e > 0 && IsSpaceOrControl(s[e - 1])) --e;
  return std::u32string(s.substr(0, e));
}

// Every occurrence, left to right; the replacement is not searched again.
void ReplaceAll(std::u32string& text, std::u32string_view from, std::u32string_view to) {
  size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::u32string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

pcre2_code* CompilePattern(const std::string& pattern, int& errorCode, PCRE2_SIZE& errorOffset) {
  return pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                       PCRE2_CASELESS | PCRE2_UTF | PCRE2_UCP, &errorCode, &errorOffset, nullptr);
}

// A compiled pattern, freed with its owner.
class Pattern {
 public:
  explicit Pattern(const std::string& pattern) {
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    m_code = CompilePattern(pattern, errorCode, errorOffset);
    if (m_code) m_match = pcre2_match_data_create_from_pattern(m_code, nullptr);
  }
  ~Pattern() {
    if (m_match) pcre2_match_data_free(m_match);
    if (m_code) pcre2_code_free(m_code);
  }
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;

  bool Valid() const { return m_code != nullptr && m_match != nullptr; }

  bool Matches(std::string_view text) const {
    return pcre2_match(m_code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0, m_match, nullptr) >= 0;
  }

  // Every match replaced; the text unchanged when the substitution fails.
  std::string ReplaceAll(const std::string& text, const std::string& replacement) const {
    std::string out(text.size() * 2 + 64, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
      PCRE2_SIZE length = out.size();
      const int rc = pcre2_substitute(m_code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0,
                                      PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH, m_match, nullptr,
                                      reinterpret_cast<PCRE2_SPTR>(replacement.data()), replacement.size(),
                                      reinterpret_cast<PCRE2_UCHAR*>(out.data()), &length);
      if (rc >= 0) {
        out.resize(length);
        return out;
      }
      if (rc != PCRE2_ERROR_NOMEMORY) break;
      out.assign(length + 1, '\0');
    }
    return text;
  }

 private:
  pcre2_code* m_code = nullptr;
  pcre2_match_data* m_match = nullptr;
};

// The company forms shortened in every name (a full stop stands for any one
// letter, so the Polish spellings match).
const Pattern& LimitedPartnership() {
  static const Pattern pattern("sp..ka komandytowa");
  return pattern;
}
const Pattern& LimitedLiabilityCompany() {
  static const Pattern pattern("sp..ka z ograniczon. odpowiedzialno..i.");
  return pattern;
}

// Leading initials joined: "P.P.H.U. Nowak" gives "PPHU Nowak". Applies when
// the text has more than two places of a letter A to Z followed by a full stop.
void JoinLeadingInitials(std::u32string& t) {
  size_t places = 0;
  for (size_t i = 0; i + 1 < t.size(); ++i) {
    if (t[i] >= 'A' && t[i] <= 'Z' && t[i + 1] == '.') ++places;
  }
  if (places <= 2) return;
  for (size_t k = 0; k < places; ++k) {
    if (k + 1 >= t.size() || t[k + 1] != '.') break;
    t.erase(k + 1, 1);
    if (k + 1 < t.size() && t[k + 1] == ' ') t.erase(k + 1, 1);
    if (k + 1 == places && k + 1 < t.size() && t[k + 1] != ' ') t.insert(k + 1, 1, U' ');
  }
}

// Steps of the clean-up before the abbreviation: brackets, quotation marks,
// slashes and line feeds to blanks, initials joined, blanks around hyphens and
// double blanks removed, company forms shortened.
std::string CleanName(std::string_view name) {
  std::u32string t = Utf8ToU32(name);
  for (char32_t& c : t) {
    if (c == '\n' || c == '[' || c == ']' || c == '"' || c == '/') c = ' ';
  }
  t = TrimRight(TrimLeft(t));
  JoinLeadingInitials(t);
  ReplaceAll(t, U"  ", U" ");
  ReplaceAll(t, U"  ", U" ");
  ReplaceAll(t, U" -", U"-");
  ReplaceAll(t, U"- ", U"-");
  std::string text = U32ToUtf8(t);
  text = LimitedPartnership().ReplaceAll(text, "sp.k.");
  return LimitedLiabilityCompany().ReplaceAll(text, "sp.zoo");
}

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ' || c == '-') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

// The abbreviation an entry gives: its leading upper-case letters, with a
// full stop after two or more of them when more of the entry follows.
std::string AbbreviationOf(std::string_view entry) {
  const std::u32string e = Utf8ToU32(entry);
  size_t n = 0;
  while (n < e.size() && IsUpperLetter(e[n])) ++n;
  std::string out = U32ToUtf8(std::u32string_view(e).substr(0, n));
  if (n >= 2 && n < e.size()) out += '.';
  return out;
}

}  // namespace

// ---------------------------------------------------------------- document number

bool IsFiscalReport(std::string_view documentNumber) {
  return LowerCase(Trim(documentNumber)) == "raport fiskalny okresowy";
}

DocumentNumber SplitDocumentNumber(std::string_view documentNumber) {
  const std::u32string t = Utf8ToU32(IsFiscalReport(documentNumber) ? std::string_view("FISK") : documentNumber);
  size_t i = 0;
  while (i < t.size() && IsLetter(t[i])) ++i;
  DocumentNumber parts;
  parts.prefix = UpperCase(U32ToUtf8(std::u32string_view(t).substr(0, i)));
  while (i < t.size() && !IsDigit(t[i])) ++i;
  while (i < t.size() && IsDigit(t[i])) {
    if (!parts.digits.empty() || t[i] != '0') parts.digits += static_cast<char>(t[i]);
    ++i;
  }
  if (parts.digits.empty()) parts.digits = "0";
  while (i < t.size() && !IsDigit(t[i]) && !IsLetter(t[i])) ++i;
  parts.suffix = UpperCase(U32ToUtf8(std::u32string_view(t).substr(i)));
  return parts;
}

// ---------------------------------------------------------------- short name

struct ShortNameDictionary::Entry {
  explicit Entry(const std::string& text) : pattern("^" + text), abbreviation(AbbreviationOf(text)) {}
  Pattern pattern;
  std::string abbreviation;
};

ShortNameDictionary::ShortNameDictionary(const std::vector<std::string>& entries) {
  for (size_t k = 0; k < entries.size(); ++k) {
    auto entry = std::make_unique<Entry>(entries[k]);
    if (!entry->pattern.Valid()) {
      throw Error(Format("Błędny wzorzec w słowniku skrótów CutDict.txt (wpis %zu): %s", k + 1, entries[k].c_str()));
    }
    m_entries.push_back(std::move(entry));
  }
}

ShortNameDictionary::~ShortNameDictionary() = default;

std::string ShortNameDictionary::ShortName(std::string_view name) const {
  std::string rest = CleanName(name);
  std::string abbreviation;
  for (const std::string& word : SplitWords(rest)) {
    const Entry* match = nullptr;
    for (const auto& entry : m_entries) {
      if (entry->pattern.Matches(word)) {
        match = entry.get();
        break;
      }
    }
    if (!match) {
      const std::u32string remaining = Utf8ToU32(rest);
      if (!abbreviation.empty() && abbreviation.back() != '.' && !remaining.empty() && IsLetter(remaining[0])) {
        abbreviation += ' ';
      }
      abbreviation += rest;
      break;
    }
    abbreviation += match->abbreviation;
    const size_t at = rest.find(word);
    rest.erase(0, at == std::string::npos ? 0 : at + word.size());
    rest = U32ToUtf8(TrimLeft(Utf8ToU32(rest)));
  }
  return UpperCase(abbreviation);
}

// ---------------------------------------------------------------- name lines

NameLines SplitNameLines(std::string_view name) {
  const std::u32string t = Utf8ToU32(UpperCase(name));
  if (t.size() <= kNameLineWidth) return {U32ToUtf8(t), ""};
  // The break goes after the last break character seen once the line is full
  // (not at the first character, not inside quotation marks).
  bool quoted = false;
  size_t lastBreak = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    const char32_t c = t[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ' ' || c == '-' || c == '\t' || c == '\r')) {
      lastBreak = i;
    }
    if (!quoted && i + 1 >= kNameLineWidth && lastBreak > 0) {
      const std::u32string_view view(t);
      return {U32ToUtf8(TrimRight(view.substr(0, lastBreak + 1))),
              U32ToUtf8(TrimRight(TrimLeft(view.substr(lastBreak + 1))))};
    }
  }
  return {U32ToUtf8(t), ""};
}

}  // namespace kx::convert
