#include "platform/xml/pretty_print.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"

using kx::xml::PrettyPrintXml;

namespace {

const char* const kPretty =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<!-- wygenerowano -->\n"
    "<tns:JPK xmlns:tns=\"urn:jpk\" xmlns:etd=\"urn:etd\">\n"
    "  <tns:Naglowek>\n"
    "    <tns:KodFormularza kodSystemowy=\"JPK_V7M (3)\" wersjaSchemy=\"1-0E\">JPK_VAT</tns:KodFormularza>\n"
    "    <tns:Rok>2026</tns:Rok>\n"
    "  </tns:Naglowek>\n"
    "  <!-- rekordy -->\n"
    "  <tns:Podmiot1 rola=\"Podatnik\">\n"
    "    <tns:OsobaFizyczna>\n"
    "      <etd:NIP>1010000000</etd:NIP>\n"
    "      <etd:Nazwisko>Żółć &amp; syn</etd:Nazwisko>\n"
    "      <tns:Email/>\n"
    "    </tns:OsobaFizyczna>\n"
    "  </tns:Podmiot1>\n"
    "  <tns:Uwagi>zwykły <b>tekst</b> mieszany</tns:Uwagi>\n"
    "</tns:JPK>\n";

}  // namespace

TEST(PrettyPrint, OneElementPerLineTwoSpacesPerLevel) {
  const std::string flat =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><!-- wygenerowano -->"
      "<tns:JPK xmlns:tns=\"urn:jpk\" xmlns:etd=\"urn:etd\"><tns:Naglowek><tns:KodFormularza "
      "kodSystemowy=\"JPK_V7M (3)\" wersjaSchemy=\"1-0E\">JPK_VAT</tns:KodFormularza><tns:Rok>2026</tns:Rok>"
      "</tns:Naglowek><!-- rekordy --><tns:Podmiot1 rola=\"Podatnik\"><tns:OsobaFizyczna><etd:NIP>1010000000"
      "</etd:NIP><etd:Nazwisko>Żółć &amp; syn</etd:Nazwisko><tns:Email></tns:Email></tns:OsobaFizyczna>"
      "</tns:Podmiot1><tns:Uwagi>zwykły <b>tekst</b> mieszany</tns:Uwagi></tns:JPK>";
  EXPECT_EQ(PrettyPrintXml(flat), kPretty);

  // Indented otherwise (tabs, Windows line ends): the same result.
  std::string tabbed;
  for (char c : std::string(kPretty)) {
    if (c == '\n') {
      tabbed += "\r\n\t";
    } else {
      tabbed += c;
    }
  }
  EXPECT_EQ(PrettyPrintXml(tabbed), kPretty);
  EXPECT_EQ(PrettyPrintXml(kPretty), kPretty);
}

TEST(PrettyPrint, KeepsTheDeclarationAsWritten) {
  struct Case {
    const char* input;
    const char* output;
  } cases[] = {
      {"<a><b/></a>", "<?xml version=\"1.0\"?>\n<a>\n  <b/>\n</a>\n"},
      {"<?xml version=\"1.0\" encoding=\"windows-1250\"?><a>ąę</a>",
       "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n<a>ąę</a>\n"},
      {"\xef\xbb\xbf<?xml version='1.0' encoding='utf-8' standalone='no'?><a/>",
       "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\n<a/>\n"},
      {"<?xml version=\"1.1\"?><a><b>  </b></a>", "<?xml version=\"1.1\"?>\n<a>\n  <b>  </b>\n</a>\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(PrettyPrintXml(c.input), c.output) << c.input;
}

TEST(PrettyPrint, TextThatIsNotXmlFailsWithTheLine) {
  try {
    PrettyPrintXml("<a>\n<b>\n</a>");
    FAIL() << "no error";
  } catch (const kx::Error& error) {
    EXPECT_EQ(std::string(error.what()),
              "Tekst XML nie jest poprawny (wiersz 3): znacznik zamykający </a> nie pasuje do <b>");
  }
  EXPECT_THROW(PrettyPrintXml(""), kx::Error);
}
