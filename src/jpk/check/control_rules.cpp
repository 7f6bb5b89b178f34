#include "jpk/check/control_rules.h"

#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "jpk/v7m/v7m_records.h"
#include "platform/decimal_text.h"
#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx::jpk::check {
namespace {

// One control element: the items it counts, the amounts of the items it sums
// (each into the total of the same index) and where it lies (under the root,
// or under each element of a group such as PZ).
struct ControlRule {
  const char* group;  // nullptr: the root
  const char* item;
  std::vector<const char*> amounts;
  const char* ctrl;
  const char* count;
  std::vector<const char*> totals;
  const char* itemsText;  // "faktur"
};

const std::vector<ControlRule>& RulesOf(const std::string& kind) {
  static const std::vector<ControlRule> kFa{
      {nullptr, "Faktura", {"P_15"}, "FakturaCtrl", "LiczbaFaktur", {"WartoscFaktur"}, "faktur"},
      {nullptr,
       "FakturaWiersz",
       {"P_11"},
       "FakturaWierszCtrl",
       "LiczbaWierszyFaktur",
       {"WartoscWierszyFaktur"},
       "wierszy faktur"},
      {nullptr,
       "Zamowienie",
       {"WartoscZamowienia"},
       "ZamowienieCtrl",
       "LiczbaZamowien",
       {"WartoscZamowien"},
       "zamówień"},
  };
  static const std::vector<ControlRule> kMag{
      {"PZ", "PZWartosc", {"WartoscPZ"}, "PZCtrl", "LiczbaPZ", {"SumaPZ"}, "dokumentów PZ"},
      {"WZ", "WZWartosc", {"WartoscWZ"}, "WZCtrl", "LiczbaWZ", {"SumaWZ"}, "dokumentów WZ"},
      {"RW", "RWWartosc", {"WartoscRW"}, "RWCtrl", "LiczbaRW", {"SumaRW"}, "dokumentów RW"},
      {"MM", "MMWartosc", {"WartoscMM"}, "MMCtrl", "LiczbaMM", {"SumaMM"}, "dokumentów MM"},
  };
  static const std::vector<ControlRule> kKr{
      {nullptr,
       "Dziennik",
       {"DziennikKwotaOperacji"},
       "DziennikCtrl",
       "LiczbaWierszyDziennika",
       {"SumaKwotOperacji"},
       "wierszy dziennika"},
      {nullptr,
       "KontoZapis",
       {"KwotaWinien", "KwotaMa"},
       "KontoZapisCtrl",
       "LiczbaWierszyKontoZapisj",
       {"SumaWinien", "SumaMa"},
       "zapisów na kontach"},
  };
  static const std::vector<ControlRule> kNone;
  if (kind == "JPK_FA(4)") return kFa;
  if (kind == "JPK_MAG(1)") return kMag;
  if (kind == "JPK_KR(1)") return kKr;
  return kNone;
}

// The element children of that local name in the parent's namespace.
template <typename F>
void ForEachChild(const xml::XmlNode& parent, std::string_view local, F&& f) {
  const std::string ns = parent.NamespaceURI();
  for (xml::XmlNode c = parent.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    if (c.Kind() == xml::XmlNodeKind::Element && c.LocalName() == local && c.NamespaceURI() == ns) f(c);
  }
}

std::optional<int64_t> Cents(const std::string& text) {
  if (Trim(text).empty()) return std::nullopt;
  try {
    return v7m::AmountCents(text);
  } catch (const Error&) {
    return std::nullopt;  // the schema names a text that is no number
  }
}

void CheckOne(const ControlRule& rule, const xml::XmlNode& parent, std::vector<Finding>& findings) {
  xml::XmlNode ctrl = parent.FindChild(rule.ctrl);
  if (ctrl.IsNull()) return;  // the schema names a missing one
  int count = 0;
  std::vector<int64_t> sums(rule.amounts.size(), 0);
  try {
    ForEachChild(parent, rule.item, [&](const xml::XmlNode& item) {
      ++count;
      for (size_t i = 0; i < rule.amounts.size(); ++i) {
        xml::XmlNode amount = item.FindChild(rule.amounts[i]);
        if (!amount.IsNull()) sums[i] = v7m::AddCents(sums[i], Cents(amount.Text()).value_or(0));
      }
    });
  } catch (const Error& e) {
    findings.push_back({Severity::Error, kSectionFile, 0, rule.ctrl, Format("nie można zsumować: %s", e.what())});
    return;
  }
  const std::string countText = Trim(v7m::ChildText(ctrl, rule.count));
  char* end = nullptr;
  const long written = std::strtol(countText.c_str(), &end, 10);
  if (!countText.empty() && *end == '\0' && written != count) {
    findings.push_back({Severity::Error, kSectionFile, 0, rule.count,
                        Format("podano %s, a %s jest %d", countText.c_str(), rule.itemsText, count)});
  }
  for (size_t i = 0; i < rule.totals.size(); ++i) {
    const std::string totalText = Trim(v7m::ChildText(ctrl, rule.totals[i]));
    std::optional<int64_t> total = Cents(totalText);
    if (total && *total != sums[i]) {
      findings.push_back({Severity::Error, kSectionFile, 0, rule.totals[i],
                          Format("podano %s, a suma %s z %s wynosi %s", totalText.c_str(), rule.amounts[i],
                                 rule.itemsText, DecimalText(static_cast<double>(sums[i]) / 100).c_str())});
    }
  }
}

}  // namespace

void CheckControlTotals(const std::string& kind, const xml::XmlNode& root, std::vector<Finding>& findings) {
  for (const ControlRule& rule : RulesOf(kind)) {
    if (!rule.group) {
      CheckOne(rule, root, findings);
    } else {
      ForEachChild(root, rule.group, [&](const xml::XmlNode& group) { CheckOne(rule, group, findings); });
    }
  }
}

}  // namespace kx::jpk::check
