// Sums per rate group: the lines of a month with the positions they feed and
// the values of the declaration computed from the same records.

#include "editor/rate_sums.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string_view>

#include "editor/v7m_declaration.h"
#include "fixtures/v7m_fixture.h"
#include "jpk/v7m/v7m_order.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/error.h"

using namespace kx;
using namespace kx::editor;
using kxtest::Purchase;
using kxtest::Sale;
using kxtest::V7MFile;

namespace {

// Grosze with two places: "1234.56", "-3.00".
std::string ShownCents(int64_t cents) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", cents < 0 ? "-" : "",
                static_cast<long long>(std::llabs(cents) / 100), static_cast<long long>(std::llabs(cents) % 100));
  return text;
}

std::string Lines(const SideSums& side) {
  std::string s;
  for (const RateLine& l : side.lines) {
    s += std::string(l.group->label) + " | " + l.elements + " | " + std::to_string(l.records) + " | " +
         ShownCents(l.netCents) + " | " + ShownCents(l.taxCents) + " | " + l.positions + " | " + l.declared + "\n";
  }
  return s;
}

}  // namespace

TEST(RateSums, LinesPositionsAndTheDeclaration) {
  auto jpk = jpk::v7m::GetJPKRoot(xml::XmlDocument::FromString(
      V7MFile(Sale(1, "<K_15>100</K_15><K_16>5</K_16><K_19>200.50</K_19><K_20>46.12</K_20>") +
              Sale(2, "<K_19>1000.25</K_19><K_20>230.06</K_20><K_35>7</K_35>") + Sale(3, "<K_10>50</K_10>") +
              Sale(4, "<TypDokumentu>FP</TypDokumentu><K_19>999</K_19><K_20>229.77</K_20>") +
              Purchase(1, "<K_42>300</K_42><K_43>69</K_43>") +
              Purchase(2, "<K_40>1000</K_40><K_41>230</K_41><K_44>-3</K_44>"))));
  jpk::v7m::RecalcJPK(jpk);
  DeclarationInput in;
  in.p39 = "12";
  ASSERT_EQ(CalcDeclaration(jpk, in).status, DeclarationResult::Status::Done);

  const RateSums sums = SumRates(jpk);
  EXPECT_EQ(Lines(sums.sales),
            "zwolnione | K_10 | 1 | 50.00 | 0.00 | P_10 → P_37 | P_10 = 50\n"
            "5% | K_15, K_16 | 1 | 100.00 | 5.00 | P_15, P_16 → P_37, P_38 | P_15 = 100, P_16 = 5\n"
            "23% (22%) | K_19, K_20 | 2 | 1200.75 | 276.18 | P_19, P_20 → P_37, P_38 | P_19 = 1201, P_20 = 276\n"
            "WNT środków transportu | K_35 | 1 | 0.00 | 7.00 | P_35 → −P_38 | P_35 = 7\n");
  EXPECT_EQ(sums.skippedFp, 1);
  EXPECT_EQ(ShownCents(sums.sales.netCents), "1350.75");
  EXPECT_EQ(ShownCents(sums.sales.taxCents), "274.18");  // 5 + 276.18 - 7
  EXPECT_EQ(sums.sales.declared, "P_37 = 1351, P_38 = 274");
  EXPECT_EQ(Lines(sums.purchases),
            "środki trwałe | K_40, K_41 | 1 | 1000.00 | 230.00 | P_40, P_41 → P_48 | P_40 = 1000, P_41 = 230\n"
            "pozostałe nabycia | K_42, K_43 | 1 | 300.00 | 69.00 | P_42, P_43 → P_48 | P_42 = 300, P_43 = 69\n"
            "korekta: środki trwałe | K_44 | 1 | 0.00 | -3.00 | P_44 → P_48 | P_44 = -3\n");
  EXPECT_EQ(sums.purchases.declared, "P_40 + P_42 = 1300, P_48 = 308 (w tym P_39 = 12)");
}

// What each amount feeds, against the declaration itself: a record holding
// only that amount (100, its pair partner 0) changes exactly the positions
// named, by +100 or -100.
TEST(RateSums, EveryAmountFeedsWhatTheDeclarationComputes) {
  for (RecordSide side : {RecordSide::Sales, RecordSide::Purchases}) {
    for (const RateGroup& g : RateGroups(side)) {
      for (int k : {g.net, g.tax}) {
        if (k == 0) continue;
        SCOPED_TRACE(k);
        std::string amounts;
        for (int element : {g.net, g.tax}) {
          if (element == 0) continue;
          const std::string name = "K_" + std::to_string(element);
          amounts += "<" + name + ">" + (element == k ? "100" : "0") + "</" + name + ">";
        }
        auto jpk = jpk::v7m::GetJPKRoot(
            xml::XmlDocument::FromString(V7MFile(side == RecordSide::Sales ? Sale(1, amounts) : Purchase(1, amounts))));
        ASSERT_EQ(CalcDeclaration(jpk, {}).status, DeclarationResult::Status::Done);

        std::map<std::string, std::string> changed;
        const xml::XmlNode positions = jpk.Node().FindChild("Deklaracja").FindChild("PozycjeSzczegolowe");
        bool inRange = false;
        for (std::string_view name : jpk::v7m::kPositionsOrder) {
          inRange = inRange || name == "P_10";
          const std::string value = jpk::v7m::ChildText(positions, name);
          if (inRange && !value.empty() && value != "0") changed[std::string(name)] = value;
          if (name == "P_48") break;
        }
        std::map<std::string, std::string> fed;
        for (const FedPosition& p : PositionsFedBy(side, k)) fed[p.name] = p.subtracted ? "-100" : "100";
        EXPECT_EQ(changed, fed);
      }
    }
  }
}

TEST(RateSums, AnAmountThatIsNoNumberNamesItsRecord) {
  auto jpk = jpk::v7m::GetJPKRoot(
      xml::XmlDocument::FromString(V7MFile(Sale(1, "<K_19>100</K_19><K_20>23</K_20>") + Sale(2, "<K_19>sto</K_19>"))));
  try {
    SumRates(jpk);
    ADD_FAILURE() << "no failure";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Sprzedaż, Lp 2: ", 0), 0u) << e.what();
  }
}
