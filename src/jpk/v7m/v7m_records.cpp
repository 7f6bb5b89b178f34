#include "jpk/v7m/v7m_records.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

#include "app/kxTools.h"
#include "platform/error.h"
#include "jpk/v7m/v7m_order.h"
#include "jpk/v7m/v7m_record_fields.h"
#include "platform/decimal_text.h"
#include "platform/text_utils.h"

namespace kx::jpk::v7m {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A whole number of the text, or nothing when it is not one.
std::optional<int64_t> WholeOf(std::string_view text) {
  std::string t(TrimView(text));
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (*end != '\0' || errno != 0) return std::nullopt;
  return v;
}

bool ContainsBrak(std::string_view text) {
  static constexpr std::string_view kBrak = "brak";
  if (text.size() < kBrak.size()) return false;
  for (size_t i = 0; i + kBrak.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < kBrak.size() && (text[i + k] | 0x20) == kBrak[k]) ++k;
    if (k == kBrak.size()) return true;
  }
  return false;
}

int OrderIndex(std::span<const std::string_view> order, std::string_view name) {
  const size_t rank = OrderRank(order, name);
  return rank < order.size() ? static_cast<int>(rank) : -1;
}

// The next element sibling (comments and other nodes between records are stepped over).
xml::XmlNode NextElement(xml::XmlNode node) {
  for (node = node.NextSibling(); !node.IsNull(); node = node.NextSibling()) {
    if (node.Kind() == xml::XmlNodeKind::Element) return node;
  }
  return {};
}

// Index of a K_ element in the record arrays: K_10..K_36 give 0..26,
// K_360 gives 27; K_40..K_47 give 0..7 in purchases. -1 otherwise.
int SaleAmountIndex(std::string_view local) {
  if (local.size() < 4 || local[0] != 'K' || local[1] != '_') return -1;
  if (local == "K_360") return SaleSlot(360);
  if (local.size() != 4) return -1;
  int n = (local[2] - '0') * 10 + (local[3] - '0');
  return n >= kFirstSaleAmount && n <= kLastSaleAmount ? SaleSlot(n) : -1;
}

int PurchaseAmountIndex(std::string_view local) {
  if (local.size() != 4 || local[0] != 'K' || local[1] != '_' || local[2] != '4') return -1;
  int n = local[3] - '0';
  return n >= 0 && n < kPurchaseAmountSlots ? n : -1;
}

// Makes the control element's count and tax total right; writes only what is
// missing or different.
void SetControl(xml::XmlNode ctrl, std::span<const std::string_view> order, int64_t count, int64_t taxCents) {
  std::string_view countName = order[0];
  std::string_view taxName = order[1];
  xml::XmlNode countNode = ctrl.FindChild(countName);
  if (countNode.IsNull() || WholeOf(countNode.Text()) != count) {
    SetChildInOrder(ctrl, countName, std::to_string(count), order);
  }
  std::string total = DecimalText(static_cast<double>(taxCents) / 100);
  xml::XmlNode taxNode = ctrl.FindChild(taxName);
  bool same = false;
  if (!taxNode.IsNull()) {
    try {
      same = DecimalText(jpk::ParseXmlDecimal(taxNode.Text())) == total;
    } catch (const Error&) {
      same = false;  // not a number: rewritten
    }
  }
  if (!same) SetChildInOrder(ctrl, taxName, total, order);
}

// The running number: written when missing or different.
void SetRecordNumber(xml::XmlNode record, const xml::XmlNode& lp, std::string_view name, int64_t n,
                     std::span<const std::string_view> order) {
  if (!lp.IsNull()) {
    if (WholeOf(lp.Text()) != n) xml::XmlNode(lp).SetText(std::to_string(n));
    return;
  }
  SetChildInOrder(record, name, std::to_string(n), order);
}

// K_46 (corrections of input tax) must not be positive.
void CheckPurchaseK46(const xml::XmlNode& ewidencja) {
  for (xml::XmlNode r = FirstPurchaseRecord(ewidencja); !r.IsNull(); r = NextPurchaseRecord(r)) {
    PurchaseRecordFields f = ReadPurchaseRecord(r);
    if (f.present[PurchaseSlot(46)] && f.cents[PurchaseSlot(46)] > 0) {
      std::string document = f.document.IsNull() ? std::string() : Trim(f.document.Text());
      throw Error(Format("Powinna być wartość ujemna.\rDokument: %s Pole %s", document.c_str(), "K_46"));
    }
  }
}

}  // namespace

// ---------------------------------------------------------------- readers

namespace {

// The amount of a record's element; a text that is no number is named with
// the element, the record and its document.
int64_t RecordAmountCents(const xml::XmlNode& record, const xml::XmlNode& element, const char* kind, const char* lpName,
                          const char* documentName) {
  try {
    if (const std::optional<std::string_view> text = element.SimpleText()) return AmountCents(*text);
    return AmountCents(element.Text());
  } catch (const Error& e) {
    xml::XmlNode lp = record.FindChild(lpName);
    xml::XmlNode document = record.FindChild(documentName);
    throw Error(Format("Wiersz %s nr %s (dokument %s), element %s: %s", kind,
                       lp.IsNull() ? "?" : Trim(lp.Text()).c_str(),
                       document.IsNull() ? "?" : Trim(document.Text()).c_str(), element.LocalName().c_str(), e.what()));
  }
}

}  // namespace

std::string ChildText(const xml::XmlNode& element, std::string_view name) {
  if (element.IsNull()) return {};
  xml::XmlNode child = element.FindChild(name);
  return child.IsNull() ? std::string() : child.Text();
}

double ChildAmount(const xml::XmlNode& element, std::string_view name) {
  if (element.IsNull()) return 0;
  xml::XmlNode child = element.FindChild(name);
  return child.IsNull() ? 0 : static_cast<double>(AmountCents(child.Text())) / 100;
}

int64_t ChildInt(const xml::XmlNode& element, std::string_view name) {
  if (element.IsNull()) return 0;
  xml::XmlNode child = element.FindChild(name);
  if (child.IsNull()) return 0;
  std::string text = child.Text();
  auto v = WholeOf(text);
  if (!v) {
    throw Error(Format("Element %.*s: \"%s\" nie jest poprawną liczbą całkowitą", static_cast<int>(name.size()),
                       name.data(), text.c_str()));
  }
  return *v;
}

int64_t AddCents(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) throw Error("Suma kwot przekracza dopuszczalny zakres");
  return sum;
}

int64_t AmountCents(std::string_view text) {
  std::string_view t = TrimView(text);
  if (t.empty()) return 0;
  // The plain form [sign]digits[.digits] is read exactly; anything else
  // through the general decimal reading.
  size_t i = 0;
  bool negative = false;
  if (t[0] == '-' || t[0] == '+') {
    negative = t[0] == '-';
    i = 1;
  }
  int64_t whole = 0;
  int wholeDigits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9' && wholeDigits < 15) {
    whole = whole * 10 + (t[i] - '0');
    ++i;
    ++wholeDigits;
  }
  int64_t cents = 0;
  int fraction = 0;
  bool roundUp = false;
  bool plain = wholeDigits > 0 || (i < t.size() && t[i] == '.');
  if (plain && i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
      if (fraction < 2) cents = cents * 10 + (t[i] - '0');
      if (fraction == 2) roundUp = t[i] >= '5';
      ++fraction;
      ++i;
    }
    if (fraction == 0 && wholeDigits == 0) plain = false;
  }
  if (plain && i == t.size()) {
    while (fraction < 2) {
      cents *= 10;
      ++fraction;
    }
    int64_t value = whole * 100 + cents + (roundUp ? 1 : 0);
    return negative ? -value : value;
  }
  double v = jpk::ParseXmlDecimal(t);
  if (!std::isfinite(v) || std::fabs(v) > 9e15) {
    throw Error(Format("\"%s\" nie jest poprawną liczbą", std::string(t).c_str()));
  }
  return std::llround(RoundAmount(kAmountDecimals, v) * 100);
}

int64_t RoundCentsAway(int64_t cents) {
  int64_t q = cents / 100;
  int64_t r = cents % 100;
  if (r >= 50) ++q;
  if (r <= -50) --q;
  return q;
}

int64_t RoundCentsEven(int64_t cents) {
  int64_t q = cents / 100;
  int64_t r = cents % 100;
  int64_t away = r > 0 ? 1 : -1;
  int64_t half = r < 0 ? -r : r;
  if (half > 50 || (half == 50 && q % 2 != 0)) q += away;
  return q;
}

SaleRecordFields ReadSaleRecord(const xml::XmlNode& record) {
  SaleRecordFields f;
  const std::string_view ns = record.NamespaceURIView();
  for (xml::XmlNode c = record.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    if (c.Kind() != xml::XmlNodeKind::Element || c.NamespaceURIView() != ns) continue;
    const std::string_view local = c.LocalNameView();
    int k = SaleAmountIndex(local);
    if (k >= 0) {
      if (!f.present[k]) {
        f.cents[k] = RecordAmountCents(record, c, "sprzedaży", "LpSprzedazy", "DowodSprzedazy");
        f.present[k] = true;
      }
    } else if (local == "LpSprzedazy") {
      if (f.lp.IsNull()) f.lp = c;
    } else if (local == "NrKontrahenta") {
      if (f.nrKontrahenta.IsNull()) f.nrKontrahenta = c;
    } else if (local == "NazwaKontrahenta") {
      if (f.nazwaKontrahenta.IsNull()) f.nazwaKontrahenta = c;
    } else if (local == "TypDokumentu") {
      if (!f.hasType) f.fp = c.Text() == "FP";
      f.hasType = true;
    } else if (local == "KorektaPodstawyOpodt") {
      f.correction = true;
    }
  }
  return f;
}

PurchaseRecordFields ReadPurchaseRecord(const xml::XmlNode& record) {
  PurchaseRecordFields f;
  const std::string_view ns = record.NamespaceURIView();
  for (xml::XmlNode c = record.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    if (c.Kind() != xml::XmlNodeKind::Element || c.NamespaceURIView() != ns) continue;
    const std::string_view local = c.LocalNameView();
    int k = PurchaseAmountIndex(local);
    if (k >= 0) {
      if (!f.present[k]) {
        f.cents[k] = RecordAmountCents(record, c, "zakupu", "LpZakupu", "DowodZakupu");
        f.present[k] = true;
      }
    } else if (local == "LpZakupu") {
      if (f.lp.IsNull()) f.lp = c;
    } else if (local == "DowodZakupu") {
      if (f.document.IsNull()) f.document = c;
    }
  }
  return f;
}

int64_t SaleRecordFields::NetCents() const {
  if (fp) return 0;
  int64_t sum = 0;
  for (int k : {10, 11, 13, 15, 17, 19, 21, 22, 23, 25, 27, 29, 31}) sum = AddCents(sum, cents[SaleSlot(k)]);
  return sum;
}

int64_t SaleRecordFields::TaxCents() const {
  if (fp) return 0;
  int64_t sum = 0;
  for (int k : {16, 18, 20, 24, 26, 28, 30, 32, 33, 34}) sum = AddCents(sum, cents[SaleSlot(k)]);
  for (int k : {35, 36, 360}) {
    if (__builtin_sub_overflow(sum, cents[SaleSlot(k)], &sum)) throw Error("Suma kwot przekracza dopuszczalny zakres");
  }
  return sum;
}

int64_t PurchaseRecordFields::NetCents() const { return AddCents(cents[PurchaseSlot(40)], cents[PurchaseSlot(42)]); }

int64_t PurchaseRecordFields::TaxCents() const {
  int64_t sum = 0;
  for (int k : {41, 43, 44, 45, 46, 47}) sum = AddCents(sum, cents[PurchaseSlot(k)]);
  return sum;
}

double SaleNetSum(const xml::XmlNode& record) { return static_cast<double>(ReadSaleRecord(record).NetCents()) / 100; }
double SaleTaxSum(const xml::XmlNode& record) { return static_cast<double>(ReadSaleRecord(record).TaxCents()) / 100; }
double PurchaseNetSum(const xml::XmlNode& record) {
  return static_cast<double>(ReadPurchaseRecord(record).NetCents()) / 100;
}
double PurchaseTaxSum(const xml::XmlNode& record) {
  return static_cast<double>(ReadPurchaseRecord(record).TaxCents()) / 100;
}

// ---------------------------------------------------------------- record runs

xml::XmlNode FirstSaleRecord(const xml::XmlNode& ewidencja) {
  return ewidencja.IsNull() ? xml::XmlNode() : ewidencja.FindChild("SprzedazWiersz");
}

xml::XmlNode NextSaleRecord(const xml::XmlNode& record) {
  xml::XmlNode next = NextElement(record);
  return !next.IsNull() && !next.FindChild("LpSprzedazy").IsNull() ? next : xml::XmlNode();
}

xml::XmlNode FirstPurchaseRecord(const xml::XmlNode& ewidencja) {
  return ewidencja.IsNull() ? xml::XmlNode() : ewidencja.FindChild("ZakupWiersz");
}

xml::XmlNode NextPurchaseRecord(const xml::XmlNode& record) {
  xml::XmlNode next = NextElement(record);
  return !next.IsNull() && !next.FindChild("LpZakupu").IsNull() ? next : xml::XmlNode();
}

// ---------------------------------------------------------------- ordered writing

xml::XmlNode EnsureChildInOrder(xml::XmlNode parent, std::string_view name, std::span<const std::string_view> order) {
  if (xml::XmlNode child = parent.FindChild(name)) return child;
  int target = OrderIndex(order, name);
  xml::XmlNode before;
  for (xml::XmlNode c = parent.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    if (c.Kind() == xml::XmlNodeKind::Element && OrderIndex(order, c.LocalNameView()) > target) {
      before = c;
      break;
    }
  }
  return parent.AddChildBefore(name, before);
}

xml::XmlNode SetChildInOrder(xml::XmlNode parent, std::string_view name, std::string_view text,
                             std::span<const std::string_view> order) {
  xml::XmlNode child = EnsureChildInOrder(parent, name, order);
  if (child.Text() != text) child.SetText(text);
  return child;
}

// ---------------------------------------------------------------- numbering and control sums

void RecalcJPK(IXMLJPK jpk) {
  if (jpk.IsNull()) return;
  xml::XmlNode ewidencja = jpk.Node().FindChild("Ewidencja");
  if (ewidencja.IsNull()) return;

  // A positive K_46 stops the run before anything is written.
  CheckPurchaseK46(ewidencja);

  int64_t n = 0;
  int64_t saleTax = 0;
  for (xml::XmlNode r = FirstSaleRecord(ewidencja); !r.IsNull(); r = NextSaleRecord(r)) {
    SaleRecordFields f = ReadSaleRecord(r);
    SetRecordNumber(r, f.lp, "LpSprzedazy", ++n, kSaleRecordOrder);
    for (xml::XmlNode contractor : {f.nrKontrahenta, f.nazwaKontrahenta}) {
      if (contractor.IsNull()) continue;
      std::string text = contractor.Text();
      if (text != "BRAK" && ContainsBrak(text)) contractor.SetText("BRAK");
    }
    saleTax = AddCents(saleTax, f.TaxCents());
  }
  SetControl(EnsureChildInOrder(ewidencja, "SprzedazCtrl", kEwidencjaOrder), kSaleCtrlOrder, n, saleTax);

  int64_t m = 0;
  int64_t purchaseTax = 0;
  for (xml::XmlNode r = FirstPurchaseRecord(ewidencja); !r.IsNull(); r = NextPurchaseRecord(r)) {
    PurchaseRecordFields f = ReadPurchaseRecord(r);
    SetRecordNumber(r, f.lp, "LpZakupu", ++m, kPurchaseRecordOrder);
    purchaseTax = AddCents(purchaseTax, f.TaxCents());
    if (!f.document.IsNull()) {
      std::string text = f.document.Text();
      std::string trimmed = Trim(text);
      if (trimmed != text) f.document.SetText(trimmed);
    }
  }
  SetControl(EnsureChildInOrder(ewidencja, "ZakupCtrl", kEwidencjaOrder), kPurchaseCtrlOrder, m, purchaseTax);
}

// ---------------------------------------------------------------- linking

namespace {

// A copy of the record's child elements (names and texts) as a new record
// at the index of the target's children.
void CopyRecord(xml::XmlNode target, int index, const xml::XmlNode& source, std::string_view name) {
  xml::XmlNode copy = target.AddChild(name, index);
  for (xml::XmlNode c = source.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    if (c.Kind() != xml::XmlNodeKind::Element) continue;
    copy.AddChild(c.LocalName()).SetText(c.Text());
  }
}

}  // namespace

void LinkJPK(IXMLJPK active, IXMLJPK other) {
  if (active.IsNull()) return;
  xml::XmlNode source = other.IsNull() ? xml::XmlNode() : other.Node().FindChild("Ewidencja");
  if (!source.IsNull()) {
    xml::XmlNode sourceSale = FirstSaleRecord(source);
    xml::XmlNode sourcePurchase = FirstPurchaseRecord(source);
    if (!sourceSale.IsNull() || !sourcePurchase.IsNull()) {
      // The numbering after the copy would fail: nothing is copied.
      CheckPurchaseK46(source);
      CheckPurchaseK46(active.Node().FindChild("Ewidencja"));
      xml::XmlNode target = EnsureChildInOrder(active.Node(), "Ewidencja", kRootOrder);
      // Each record is freed once copied: the two documents of a large link
      // are not held twice.
      auto move = [&](xml::XmlNode& r, int index, std::string_view name, xml::XmlNode next) {
        CopyRecord(target, index, r, name);
        source.DeleteChild(r);
        r = next;
      };
      if (!sourceSale.IsNull()) {
        // After the last sale record of the target, or at the top of Ewidencja.
        int p = 0;
        xml::XmlNode last;
        for (xml::XmlNode r = FirstSaleRecord(target); !r.IsNull(); r = NextSaleRecord(r)) last = r;
        if (!last.IsNull()) p = target.IndexOfChild(last) + 1;
        for (xml::XmlNode r = sourceSale; !r.IsNull();) move(r, p++, "SprzedazWiersz", NextSaleRecord(r));
      }
      if (!sourcePurchase.IsNull()) {
        // Just before ZakupCtrl, or appended with a new ZakupCtrl after them.
        xml::XmlNode ctrl = target.FindChild("ZakupCtrl");
        int p = ctrl.IsNull() ? -1 : target.IndexOfChild(ctrl);
        for (xml::XmlNode r = std::move(sourcePurchase); !r.IsNull();) {
          move(r, p, "ZakupWiersz", NextPurchaseRecord(r));
          if (p >= 0) ++p;
        }
        if (ctrl.IsNull()) target.AddChild("ZakupCtrl");
      }
    }
  }
  RecalcJPK(active);
}

}  // namespace kx::jpk::v7m
