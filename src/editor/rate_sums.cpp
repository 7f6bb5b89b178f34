#include "editor/rate_sums.h"

#include <algorithm>
#include <array>

#include "jpk/v7m/v7m_record_fields.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx::editor {
namespace {

using namespace jpk::v7m;

// clang-format off
constexpr RateGroup kSaleGroups[] = {
    {"zwolnione", 10, 0},
    {"poza terytorium kraju", 11, 0},
    {"w tym usługi z art. 100 ust. 1 pkt 4", 12, 0},
    {"0%", 13, 0},
    {"w tym dostawa z art. 129", 14, 0},
    {"5%", 15, 16},
    {"8% (7%)", 17, 18},
    {"23% (22%)", 19, 20},
    {"wewnątrzwspólnotowa dostawa towarów", 21, 0},
    {"eksport towarów", 22, 0},
    {"wewnątrzwspólnotowe nabycie towarów", 23, 24},
    {"import towarów (art. 33a)", 25, 26},
    {"import usług", 27, 28},
    {"import usług (art. 28b)", 29, 30},
    {"odwrotne obciążenie (art. 17 ust. 1 pkt 5)", 31, 32},
    {"spis z natury", 0, 33},
    {"zwrot za kasy rejestrujące", 0, 34},
    {"WNT środków transportu", 0, 35},
    {"WNT paliw (art. 103 ust. 5aa)", 0, 36},
    {"niezwrócona kaucja", 0, 360},
};
constexpr RateGroup kPurchaseGroups[] = {
    {"środki trwałe", 40, 41},
    {"pozostałe nabycia", 42, 43},
    {"korekta: środki trwałe", 0, 44},
    {"korekta: pozostałe nabycia", 0, 45},
    {"korekta art. 89b ust. 1", 0, 46},
    {"korekta art. 89b ust. 4", 0, 47},
};
// clang-format on

// The amounts counted in the totals of the declaration.
constexpr std::array<int, 13> kInP37 = {10, 11, 13, 15, 17, 19, 21, 22, 23, 25, 27, 29, 31};
constexpr std::array<int, 10> kInP38 = {16, 18, 20, 24, 26, 28, 30, 32, 33, 34};
constexpr std::array<int, 3> kOutOfP38 = {35, 36, 360};
constexpr std::array<int, 6> kInP48 = {41, 43, 44, 45, 46, 47};

template <size_t N>
bool Among(int k, const std::array<int, N>& list) {
  return std::find(list.begin(), list.end(), k) != list.end();
}

std::string Name(int k) { return "P_" + std::to_string(k); }

// The value of a position in the file's declaration; "" when it has none.
std::string Declared(const xml::XmlNode& positions, const std::string& name) {
  return positions.IsNull() ? std::string() : Trim(ChildText(positions, name));
}

void Join(std::string& out, const std::string& part) {
  if (part.empty()) return;
  if (!out.empty()) out += ", ";
  out += part;
}

RateLine LineOf(RecordSide side, const RateGroup& g, const xml::XmlNode& positions) {
  RateLine line;
  line.group = &g;
  std::string own, totals;
  for (int k : {g.net, g.tax}) {
    if (k == 0) continue;
    Join(line.elements, "K_" + std::to_string(k));
    std::vector<FedPosition> fed = PositionsFedBy(side, k);
    Join(own, fed.front().name);
    for (size_t i = 1; i < fed.size(); ++i) {
      const std::string t = (fed[i].subtracted ? "−" : "") + fed[i].name;
      if (totals.find(t) == std::string::npos) Join(totals, t);
    }
    const std::string value = Declared(positions, fed.front().name);
    if (!value.empty()) Join(line.declared, fed.front().name + " = " + value);
  }
  line.positions = totals.empty() ? own : own + " → " + totals;
  return line;
}

// The record's own error, with its side and number.
[[noreturn]] void FailAt(const char* side, const xml::XmlNode& record, const char* lpName, const Error& e) {
  throw Error(Format("%s, Lp %s: %s", side, ChildText(record, lpName).c_str(), e.what()));
}

}  // namespace

std::span<const RateGroup> RateGroups(RecordSide side) {
  if (side == RecordSide::Sales) return kSaleGroups;
  return kPurchaseGroups;
}

std::vector<FedPosition> PositionsFedBy(RecordSide side, int k) {
  std::vector<FedPosition> fed{{Name(k), false}};
  if (side == RecordSide::Sales) {
    if (Among(k, kInP37)) fed.push_back({"P_37", false});
    if (Among(k, kInP38)) fed.push_back({"P_38", false});
    if (Among(k, kOutOfP38)) fed.push_back({"P_38", true});
  } else if (Among(k, kInP48)) {
    fed.push_back({"P_48", false});
  }
  return fed;
}

RateSums SumRates(const IXMLJPK& jpk) {
  RateSums sums;
  if (jpk.IsNull()) return sums;
  const xml::XmlNode ewidencja = jpk.Node().FindChild("Ewidencja");
  const xml::XmlNode declaration = jpk.Node().FindChild("Deklaracja");
  const xml::XmlNode positions = declaration.IsNull() ? xml::XmlNode() : declaration.FindChild("PozycjeSzczegolowe");

  // Per group: records, net, tax; in the groups' order.
  auto sumSide = [&](RecordSide side, SideSums& out, auto&& read) {
    const auto groups = RateGroups(side);
    std::vector<RateLine> lines;
    for (const RateGroup& g : groups) lines.push_back(LineOf(side, g, positions));
    read([&](const auto& f, auto slotOf) {
      for (RateLine& line : lines) {
        bool used = false;
        for (auto [k, total] :
             {std::pair{line.group->net, &line.netCents}, std::pair{line.group->tax, &line.taxCents}}) {
          if (k == 0 || !f.present[slotOf(k)]) continue;
          *total = AddCents(*total, f.cents[slotOf(k)]);
          used = true;
        }
        if (used) ++line.records;
      }
      out.netCents = AddCents(out.netCents, f.NetCents());
      out.taxCents = AddCents(out.taxCents, f.TaxCents());
    });
    for (RateLine& line : lines) {
      if (line.records > 0) out.lines.push_back(std::move(line));
    }
  };

  sumSide(RecordSide::Sales, sums.sales, [&](auto&& add) {
    for (xml::XmlNode r = FirstSaleRecord(ewidencja); !r.IsNull(); r = NextSaleRecord(r)) {
      SaleRecordFields f;
      try {
        f = ReadSaleRecord(r);
      } catch (const Error& e) {
        FailAt("Sprzedaż", r, "LpSprzedazy", e);
      }
      if (f.fp) {
        ++sums.skippedFp;
        continue;
      }
      add(f, [](int k) { return SaleSlot(k); });
    }
  });
  sumSide(RecordSide::Purchases, sums.purchases, [&](auto&& add) {
    for (xml::XmlNode r = FirstPurchaseRecord(ewidencja); !r.IsNull(); r = NextPurchaseRecord(r)) {
      PurchaseRecordFields f;
      try {
        f = ReadPurchaseRecord(r);
      } catch (const Error& e) {
        FailAt("Zakup", r, "LpZakupu", e);
      }
      add(f, [](int k) { return PurchaseSlot(k); });
    }
  });

  sums.sales.totalPositions = "P_37, P_38";
  sums.purchases.totalPositions = "P_40 + P_42, P_48";
  for (const char* p : {"P_37", "P_38"}) {
    const std::string v = Declared(positions, p);
    if (!v.empty()) Join(sums.sales.declared, std::string(p) + " = " + v);
  }
  const std::string p40 = Declared(positions, "P_40"), p42 = Declared(positions, "P_42");
  if (!p40.empty() || !p42.empty()) {
    // Positions of whole złoty.
    const int64_t net = AmountCents(p40) + AmountCents(p42);
    Join(sums.purchases.declared, "P_40 + P_42 = " + std::to_string(RoundCentsAway(net)));
  }
  if (const std::string p48 = Declared(positions, "P_48"); !p48.empty()) {
    std::string text = "P_48 = " + p48;
    if (const std::string p39 = Declared(positions, "P_39"); !p39.empty() && p39 != "0") {
      text += " (w tym P_39 = " + p39 + ")";
    }
    Join(sums.purchases.declared, text);
  }
  return sums;
}

}  // namespace kx::editor
