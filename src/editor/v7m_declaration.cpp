#include "editor/v7m_declaration.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "platform/error.h"
#include "jpk/v7m/v7m_order.h"
#include "jpk/v7m/v7m_record_fields.h"
#include "jpk/v7m/v7m_records.h"
#include "jpk/files/jpkTools.h"
#include "platform/text_utils.h"

namespace kx::editor {
using namespace jpk::v7m;  // the JPK_V7M record helpers

namespace {

constexpr size_t kPositions = kPositionsOrder.size();

size_t PositionIndex(std::string_view name) {
  auto it = std::find(kPositionsOrder.begin(), kPositionsOrder.end(), name);
  if (it == kPositionsOrder.end()) throw Error(Format("Nieznana pozycja deklaracji %s", std::string(name).c_str()));
  return static_cast<size_t>(it - kPositionsOrder.begin());
}

// The positions being built, kept in schema order whatever the order of computing.
class Positions {
 public:
  void Set(std::string_view name, std::string text) { m_values[PositionIndex(name)] = std::move(text); }
  void Set(std::string_view name, int64_t value) { Set(name, std::to_string(value)); }
  bool Has(std::string_view name) const { return m_values[PositionIndex(name)].has_value(); }
  // The value of a computed position; 0 when absent.
  int64_t Int(std::string_view name) const {
    const auto& v = m_values[PositionIndex(name)];
    return v ? std::strtoll(v->c_str(), nullptr, 10) : 0;
  }
  std::vector<std::pair<std::string_view, std::string>> InOrder() const {
    std::vector<std::pair<std::string_view, std::string>> list;
    for (size_t i = 0; i < kPositions; ++i) {
      if (m_values[i]) list.emplace_back(kPositionsOrder[i], *m_values[i]);
    }
    return list;
  }

 private:
  std::array<std::optional<std::string>, kPositions> m_values;
};

int64_t Sum(const Positions& p, std::initializer_list<std::string_view> names) {
  int64_t s = 0;
  for (auto n : names) s += p.Int(n);
  return s;
}

// The positions the schema takes only together: a pair is written whole, its
// missing half as 0 (a record holding only one of K_15/K_16, a correction with
// a base and no tax). P_12 and P_14 need P_11 and P_13, which stand alone.
void CompletePairs(Positions& p) {
  static constexpr std::pair<std::string_view, std::string_view> kPairs[] = {
      {"P_15", "P_16"}, {"P_17", "P_18"}, {"P_19", "P_20"}, {"P_23", "P_24"}, {"P_25", "P_26"}, {"P_27", "P_28"},
      {"P_29", "P_30"}, {"P_31", "P_32"}, {"P_40", "P_41"}, {"P_42", "P_43"}, {"P_68", "P_69"}};
  for (const auto& [first, second] : kPairs) {
    if (p.Has(first) != p.Has(second)) p.Set(p.Has(first) ? second : first, int64_t{0});
  }
  for (const auto& [lead, follower] : {std::pair{"P_11", "P_12"}, std::pair{"P_13", "P_14"}}) {
    if (p.Has(follower) && !p.Has(lead)) p.Set(lead, int64_t{0});
  }
}

std::optional<int64_t> Typed(const char* field, const std::string& text) {
  if (Trim(text).empty()) return std::nullopt;
  return TypedWhole(field, text);
}

void SetAttributeIfDifferent(xml::XmlNode node, std::string_view name, std::string_view value) {
  if (!node.HasAttribute(name) || node.Attribute(name) != value) node.SetAttribute(name, value);
}

// The positions now in the file, as (name, text) in file order.
std::vector<std::pair<std::string, std::string>> CurrentPositions(const xml::XmlNode& positions) {
  std::vector<std::pair<std::string, std::string>> list;
  for (xml::XmlNode c = positions.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    list.emplace_back(c.Kind() == xml::XmlNodeKind::Element ? c.LocalName() : c.NodeName(), c.Text());
  }
  return list;
}

}  // namespace

const char* RefundTermCode(RefundTerm term) {
  switch (term) {
    case RefundTerm::None: return "";
    case RefundTerm::P540: return "540";
    case RefundTerm::P55: return "55";
    case RefundTerm::P56: return "56";
    case RefundTerm::P560: return "560";
    case RefundTerm::P58: return "58";
  }
  return "";
}

std::optional<RefundTerm> RefundTermFromCode(std::string_view code) {
  for (RefundTerm t :
       {RefundTerm::None, RefundTerm::P540, RefundTerm::P55, RefundTerm::P56, RefundTerm::P560, RefundTerm::P58}) {
    if (code == RefundTermCode(t)) return t;
  }
  return std::nullopt;
}

std::optional<int64_t> ParseTypedCents(std::string_view text) {
  const std::string t = Trim(text);
  const bool negative = !t.empty() && t[0] == '-';
  std::string digits;
  size_t i = negative ? 1 : 0;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c >= '0' && c <= '9') {
      digits += c;
    } else if (digits.empty()) {
      break;  // blanks only between groups of digits
    } else if (c == ' ') {
      // a blank between groups of digits
    } else if (t.compare(i, 2, "\xC2\xA0") == 0) {  // no-break space
      ++i;
    } else if (t.compare(i, 3, "\xE2\x80\xAF") == 0) {  // narrow no-break space
      i += 2;
    } else {
      break;
    }
  }
  if (digits.empty() || digits.size() > 15 || (i < t.size() && t[i - 1] == ' ')) return std::nullopt;
  int64_t cents = std::stoll(digits) * 100;
  if (i < t.size()) {
    // Grosze after a comma or a point: one or two digits.
    if (t[i] != ',' && t[i] != '.') return std::nullopt;
    const std::string rest = t.substr(i + 1);
    if (rest.empty() || rest.size() > 2 || rest.find_first_not_of("0123456789") != std::string::npos) {
      return std::nullopt;
    }
    cents += std::stoll(rest) * (rest.size() == 1 ? 10 : 1);
  }
  return negative ? -cents : cents;
}

std::optional<int64_t> ParseWholeAmount(std::string_view text, bool& fraction) {
  fraction = false;
  const std::optional<int64_t> cents = ParseTypedCents(text);
  if (!cents) return std::nullopt;
  const int64_t whole = *cents / 100;
  if (whole < INT32_MIN || whole > INT32_MAX) return std::nullopt;
  fraction = *cents % 100 != 0;
  return whole;
}

int64_t TypedWhole(const char* field, const std::string& text) {
  bool fraction = false;
  std::optional<int64_t> v = ParseWholeAmount(text, fraction);
  if (!v) throw Error(Format("%s: \"%s\" nie jest poprawną liczbą całkowitą", field, text.c_str()));
  if (fraction) {
    throw Error(Format("%s: \"%s\". Kwoty deklaracji podaje się w pełnych złotych", field, text.c_str()));
  }
  return *v;
}

DeclarationResult CalcDeclaration(IXMLJPK jpk, const DeclarationInput& in) {
  DeclarationResult result;
  bool hasRefund = !Trim(in.p54).empty();
  bool hasTerm = in.refund != RefundTerm::None;
  if (hasRefund && !hasTerm) {
    result.status = DeclarationResult::Status::RefundWithoutTerm;
    return result;
  }
  if (!hasRefund && hasTerm) {
    result.status = DeclarationResult::Status::TermWithoutRefund;
    return result;
  }
  if (jpk.IsNull()) throw Error("Brak aktywnego pliku JPK");

  // Everything is read and checked before the document is touched.
  std::optional<int64_t> p39 = Typed("P_39", in.p39), p49 = Typed("P_49", in.p49), p50 = Typed("P_50", in.p50),
                         p52 = Typed("P_52", in.p52), p54 = Typed("P_54", in.p54), p60 = Typed("P_60", in.p60);

  Positions p;
  xml::XmlNode ewidencja = jpk.Node().FindChild("Ewidencja");

  // Sale positions: halves away from zero; "FP" invoices are left out.
  std::array<int64_t, kSaleAmountSlots> saleSum{};
  std::bitset<kSaleAmountSlots> saleFound;
  int64_t correctionBase = 0, correctionTax = 0;
  for (xml::XmlNode r = FirstSaleRecord(ewidencja); !r.IsNull(); r = NextSaleRecord(r)) {
    SaleRecordFields f = ReadSaleRecord(r);
    if (f.fp) continue;
    if (f.correction) {
      for (int s = 0; s < kSaleAmountSlots; ++s) {
        if (f.present[s] && f.cents[s] > 0) {
          throw Error(Format("KorektaPodstawyOpodt: Powinna być wartość ujemna.\rPozycja: %s",
                             std::to_string(ChildInt(r, "LpSprzedazy")).c_str()));
        }
      }
      for (int k : {15, 17, 19}) correctionBase = AddCents(correctionBase, f.cents[SaleSlot(k)]);
      for (int k : {16, 18, 20}) correctionTax = AddCents(correctionTax, f.cents[SaleSlot(k)]);
    }
    for (int s = 0; s < kSaleAmountSlots; ++s) {
      if (!f.present[s]) continue;
      saleSum[s] = AddCents(saleSum[s], f.cents[s]);
      saleFound[s] = true;
    }
  }
  // K_10..K_36 and K_360 feed the positions of the same numbers.
  for (int s = 0; s < kSaleAmountSlots; ++s) {
    if (saleFound[s]) p.Set("P_" + std::to_string(SaleSlotNumber(s)), RoundCentsAway(saleSum[s]));
  }
  p.Set("P_37", Sum(p, {"P_10", "P_11", "P_13", "P_15", "P_17", "P_19", "P_21", "P_22", "P_23", "P_25", "P_27", "P_29",
                        "P_31"}));
  p.Set("P_38", Sum(p, {"P_16", "P_18", "P_20", "P_24", "P_26", "P_28", "P_30", "P_32", "P_33", "P_34"}) -
                    Sum(p, {"P_35", "P_36", "P_360"}));
  if (p39) p.Set("P_39", *p39);

  // Purchase positions: halves to the even neighbour.
  std::array<int64_t, kPurchaseAmountSlots> purchaseSum{};
  std::bitset<kPurchaseAmountSlots> purchaseFound;
  for (xml::XmlNode r = FirstPurchaseRecord(ewidencja); !r.IsNull(); r = NextPurchaseRecord(r)) {
    PurchaseRecordFields f = ReadPurchaseRecord(r);
    for (int s = 0; s < kPurchaseAmountSlots; ++s) {
      if (!f.present[s]) continue;
      purchaseSum[s] = AddCents(purchaseSum[s], f.cents[s]);
      purchaseFound[s] = true;
    }
  }
  // K_40..K_47 feed P_40..P_47.
  for (int s = 0; s < kPurchaseAmountSlots; ++s) {
    if (purchaseFound[s]) p.Set("P_" + std::to_string(PurchaseSlotNumber(s)), RoundCentsEven(purchaseSum[s]));
  }
  p.Set("P_48", Sum(p, {"P_39", "P_41", "P_43", "P_44", "P_45", "P_46", "P_47"}));

  int64_t p38 = p.Int("P_38");
  int64_t p48 = p.Int("P_48");
  int64_t due = p38 - p48;
  auto deduct = [&](const char* name, const std::optional<int64_t>& typed, std::optional<int64_t>& lowered) {
    if (!typed) return;
    int64_t v = *typed;
    if (due < v) {
      v = std::max<int64_t>(due, 0);
      lowered = v;
    }
    p.Set(name, v);
    due -= v;
  };
  deduct("P_49", p49, result.loweredP49);
  deduct("P_50", p50, result.loweredP50);
  if (p52) p.Set("P_52", *p52);
  if (p38 - p48 < 1) {
    p.Set("P_51", int64_t{0});
    p.Set("P_53", p48 + p.Int("P_52") - p38);
  } else {
    p.Set("P_51", due);
    p.Set("P_53", int64_t{0});
  }
  if (p54) {
    p.Set("P_54", *p54);
    p.Set(std::string("P_") + RefundTermCode(in.refund), int64_t{1});
  }
  if (in.p59) p.Set("P_59", int64_t{1});
  if (p60) p.Set("P_60", *p60);
  if (!in.p61.empty()) p.Set("P_61", in.p61);
  int64_t p62 = p.Int("P_53") - p.Int("P_54");
  if (p62 > 0) p.Set("P_62", p62);
  if (correctionBase != 0) p.Set("P_68", RoundCentsAway(correctionBase));
  if (correctionTax != 0) p.Set("P_69", RoundCentsAway(correctionTax));
  if (!in.ordzu.empty()) p.Set("P_ORDZU", in.ordzu);
  CompletePairs(p);

  // The markers that nothing here computes stay as they were.
  xml::XmlNode oldDeclaration = jpk.Node().FindChild("Deklaracja");
  xml::XmlNode oldPositions = oldDeclaration.IsNull() ? xml::XmlNode() : oldDeclaration.FindChild("PozycjeSzczegolowe");
  for (const char* marker : {"P_63", "P_64", "P_65", "P_66", "P_660", "P_67"}) {
    xml::XmlNode kept = oldPositions.IsNull() ? xml::XmlNode() : oldPositions.FindChild(marker);
    if (!kept.IsNull()) p.Set(marker, kept.Text());
  }

  // Writing: each element at its schema position, only what differs.
  xml::XmlNode declaration = EnsureChildInOrder(jpk.Node(), "Deklaracja", kRootOrder);
  xml::XmlNode header = EnsureChildInOrder(declaration, "Naglowek", kDeclarationOrder);
  xml::XmlNode code = SetChildInOrder(header, "KodFormularzaDekl", "VAT-7", kDeclarationHeaderOrder);
  SetAttributeIfDifferent(code, "kodSystemowy", "VAT-7 (23)");
  SetAttributeIfDifferent(code, "kodPodatku", "VAT");
  SetAttributeIfDifferent(code, "rodzajZobowiazania", "Z");
  SetAttributeIfDifferent(code, "wersjaSchemy", "1-0E");
  SetChildInOrder(header, "WariantFormularzaDekl", "23", kDeclarationHeaderOrder);

  xml::XmlNode positions = EnsureChildInOrder(declaration, "PozycjeSzczegolowe", kDeclarationOrder);
  auto wanted = p.InOrder();
  auto current = CurrentPositions(positions);
  bool same = wanted.size() == current.size() &&
              std::equal(wanted.begin(), wanted.end(), current.begin(),
                         [](const auto& a, const auto& b) { return a.first == b.first && a.second == b.second; });
  if (!same) {
    positions.RemoveAllChildren();
    for (const auto& [name, text] : wanted) positions.AddChild(name).SetText(text);
  }
  SetChildInOrder(declaration, "Pouczenia", "1", kDeclarationOrder);
  return result;
}

IXMLJPK RebuildWithoutDeclaration(const IXMLJPK& jpk) {
  IXMLJPK fresh = jpk::v7m::NewJPK();
  jpk::PrepareV7MDocument(fresh);
  xml::XmlDocument document = fresh.OwnerDocument();
  for (const char* name : {"Naglowek", "Podmiot1", "Ewidencja"}) {
    xml::XmlNode source = jpk.Node().FindChild(name);
    if (source.IsNull()) continue;
    xml::XmlNode target = fresh.Node().AddChild(name);
    // The element's own attributes too: rola of Podmiot1 is required.
    for (int i = 0; i < source.AttributeCount(); ++i) {
      xml::XmlNode attribute = source.AttributeAt(i);
      if (attribute.NamespaceURI() == xml::kXmlnsNamespace) continue;
      target.SetAttributeNode(jpk::CloneNodeForRepair(document, jpk::v7m::kTargetNamespace, attribute, false));
    }
    jpk::CopyChildrenForRepair(document, jpk::v7m::kTargetNamespace, target, source);
  }
  return fresh;
}

}  // namespace kx::editor
