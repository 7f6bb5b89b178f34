#pragma once
// The texts of the Buchalter tables made from the names and numbers of a
// JPK_V7M record: the parts of a sales document number, the short name of a
// contractor made with the abbreviation dictionary (CutDict), and the two
// name lines.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kx::convert {

// A sales document number split into its leading letters, its first run of
// digits and what follows that run. "FV/123/2025": FV, 123, 2025.
struct DocumentNumber {
  std::string prefix;  // upper case
  std::string digits;  // the digit run without leading zeros; "0" when the text has no digits
  std::string suffix;  // upper case
};

// A text that is "raport fiskalny okresowy" in any letter case.
bool IsFiscalReport(std::string_view documentNumber);

// The fiscal report's text is split as "FISK".
DocumentNumber SplitDocumentNumber(std::string_view documentNumber);

// The patterns of CutDict, compiled once for a run. Each entry matches,
// ignoring case, at the start of one word of a name; its leading upper-case
// letters are the word's abbreviation.
class ShortNameDictionary {
 public:
  // Fails with kx::Error naming the entry that is not a valid pattern.
  explicit ShortNameDictionary(const std::vector<std::string>& entries);
  ~ShortNameDictionary();
  ShortNameDictionary(const ShortNameDictionary&) = delete;
  ShortNameDictionary& operator=(const ShortNameDictionary&) = delete;

  // The short name of a contractor, in upper case: the name cleaned of
  // brackets, quotation marks and slashes, its leading initials joined
  // ("P.P.H.U. Nowak" gives "PPHU Nowak"), the company forms shortened
  // ("sp.k.", "sp.zoo"), and its leading words abbreviated as long as each
  // matches an entry; the rest of the name follows as it stands.
  std::string ShortName(std::string_view name) const;

 private:
  struct Entry;
  std::vector<std::unique_ptr<Entry>> m_entries;
};

// The contractor's name in upper case on two lines: a name of at most 70
// characters is the first line alone; a longer one is broken after the last
// blank, hyphen, tab or carriage return that keeps the first line within 70
// characters (or after the first one at all, when there is none such; never
// inside quotation marks). The rest is the whole remaining name, as it
// stands; both lose the blanks around the break. No break: the first line is
// the whole name.
struct NameLines {
  std::string first;
  std::string rest;
};
NameLines SplitNameLines(std::string_view name);

}  // namespace kx::convert
