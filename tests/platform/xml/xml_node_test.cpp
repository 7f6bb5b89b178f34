#include "platform/xml/xml_node.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/xml/xml_document.h"

using kx::xml::XmlDocument;
using kx::xml::XmlNode;
using kx::xml::XmlNodeKind;

namespace {

constexpr const char* kJpk = "http://crd.gov.pl/wzor/2025/12/19/14090/";
constexpr const char* kEtd = "http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2022/09/13/eD/DefinicjeTypy/";

template <typename F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const kx::Error& error) {
    return error.what();
  }
  return {};
}

// The markup of the document element.
std::string RootXml(const XmlDocument& document) { return document.DocumentElement().Xml(); }

std::vector<std::string> ChildNames(const XmlNode& parent) {
  std::vector<std::string> names;
  for (int i = 0; i < parent.ChildCount(); ++i) names.push_back(parent.ChildAt(i).NodeName());
  return names;
}

}  // namespace

// --- children by name ----------------------------------------------------------------

TEST(XmlNodeChildren, ChildByNameFindsOrAppendsInTheParentsNamespace) {
  XmlDocument document = XmlDocument::FromString(std::string("<tns:JPK xmlns:tns=\"") + kJpk + "\" xmlns:etd=\"" +
                                                 kEtd + "\"><tns:Naglowek/><tns:Ewidencja/></tns:JPK>");
  XmlNode root = document.DocumentElement();

  // Found by qualified name, or by local name in the parent's namespace.
  XmlNode naglowek = root.ChildByName("Naglowek");
  EXPECT_EQ(naglowek.NodeName(), "tns:Naglowek");
  EXPECT_TRUE(root.ChildByName("tns:Naglowek") == naglowek);
  EXPECT_TRUE(root.FindChild("Naglowek", kJpk) == naglowek);
  EXPECT_FALSE(document.Modified());

  // Missing: created empty, last, with the parent's prefix and namespace.
  XmlNode podmiot = root.ChildByName("Podmiot1");
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"tns:Naglowek", "tns:Ewidencja", "tns:Podmiot1"}));
  EXPECT_EQ(podmiot.NamespaceURI(), kJpk);
  EXPECT_EQ(podmiot.Text(), "");
  EXPECT_TRUE(root.ChildByName("Podmiot1") == podmiot);
  EXPECT_TRUE(document.Modified());

  // "etd:" names take the namespace bound to etd.
  XmlNode nip = podmiot.ChildByName("OsobaFizyczna").ChildByName("etd:NIP");
  nip.SetText("1010000000");
  EXPECT_EQ(nip.NamespaceURI(), kEtd);
  EXPECT_EQ(podmiot.FindChild("OsobaFizyczna").FindChild("NIP", kEtd).Text(), "1010000000");
  EXPECT_TRUE(podmiot.FindChild("OsobaFizyczna").FindChild("NIP").IsNull());  // not in the parent's namespace

  // The written file says the same.
  EXPECT_EQ(podmiot.Xml(),
            "<tns:Podmiot1><tns:OsobaFizyczna><etd:NIP>1010000000</etd:NIP></tns:OsobaFizyczna>"
            "</tns:Podmiot1>");
  EXPECT_NE(ErrorOf([&] { root.AddChild("zz:X"); }).find("Prefiks przestrzeni nazw \"zz\" nie jest zadeklarowany"),
            std::string::npos);

  // Unprefixed parent in the default namespace.
  XmlDocument plain;
  XmlNode jpk = plain.BindDocumentElement("JPK", kJpk);
  jpk.ChildByName("Naglowek").ChildByName("KodFormularza").SetAttribute("kodSystemowy", "JPK_V7M (3)");
  EXPECT_EQ(RootXml(plain), std::string("<JPK xmlns=\"") + kJpk +
                                "\"><Naglowek><KodFormularza kodSystemowy=\"JPK_V7M (3)\"/></Naglowek></JPK>");
}

TEST(XmlNodeChildren, NameViewsAgreeWithTheCopies) {
  XmlDocument document = XmlDocument::FromString(std::string("<tns:JPK xmlns:tns=\"") + kJpk +
                                                 "\" a=\"1\"><Bez/>tekst<tns:K_19 tns:b=\"2\">1</tns:K_19></tns:JPK>");
  XmlNode root = document.DocumentElement();
  XmlNode k19 = root.LastChild();
  for (const XmlNode& node : {root, root.FirstChild(), root.FirstChild().NextSibling(), k19, root.AttributeNode("a"),
                              k19.AttributeNodeNS("b", kJpk), root.AttributeAt(0)}) {
    SCOPED_TRACE(node.NodeName());
    const bool named = node.Kind() == XmlNodeKind::Element ||
                       (node.Kind() == XmlNodeKind::Attribute && node.NamespaceURI() != kx::xml::kXmlnsNamespace);
    EXPECT_EQ(node.LocalNameView(), named ? node.LocalName() : "");
    EXPECT_EQ(node.NamespaceURIView(), named ? node.NamespaceURI() : "");
  }
  EXPECT_EQ(k19.NamespaceURIView(), kJpk);
  EXPECT_EQ(root.FirstChild().NamespaceURIView(), "");
}

// One walk for many names finds what FindChild finds for each: first of a
// name, the parent's namespace or no prefix, prefixed names as bound here.
TEST(XmlNodeChildren, FindChildrenAgreesWithFindChild) {
  XmlDocument document = XmlDocument::FromString(
      std::string("<tns:W xmlns:tns=\"") + kJpk + "\" xmlns:etd=\"" + kEtd +
      "\"><!-- c --><tns:Lp>1</tns:Lp>tekst<Bez>b</Bez><tns:K_19>1</tns:K_19><etd:K_20>obcy</etd:K_20>"
      "<tns:K_19>2</tns:K_19><Inny xmlns=\"urn:inny\">i</Inny><tns:K_20>3</tns:K_20><etd:NIP>5</etd:NIP></tns:W>");
  const XmlNode root = document.DocumentElement();
  const std::vector<std::string_view> names = {"K_19", "Lp",      "Bez",      "K_20",   "Brak", "Inny",
                                               "NIP",  "etd:NIP", "tns:K_20", "nie:Lp", "K_19", "etd:K_20"};
  std::vector<XmlNode> found(names.size() + 1, root);  // stale handles are replaced
  root.FindChildren(names, found);
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(std::string(names[i]));
    EXPECT_TRUE(found[i] == root.FindChild(names[i]));
  }
  EXPECT_EQ(found[0].Text(), "1");
  EXPECT_EQ(found[3].Text(), "3");
  EXPECT_TRUE(found[4].IsNull());
  EXPECT_EQ(found[7].Text(), "5");
  EXPECT_EQ(found[11].Text(), "obcy");
  EXPECT_TRUE(found.back() == root);  // past the names: untouched

  std::vector<XmlNode> none(2, root);
  const std::vector<std::string_view> two = {"A", "B"};
  XmlNode().FindChildren(two, none);
  EXPECT_TRUE(none[0].IsNull() && none[1].IsNull());
  std::vector<XmlNode> tooFew(1);
  EXPECT_FALSE(ErrorOf([&] { root.FindChildren(names, tooFew); }).empty());
}

TEST(XmlNodeChildren, SimpleTextOnlyForOneTextChild) {
  XmlDocument document =
      XmlDocument::FromString("<r><a>12.50</a><b/><c>x<d/>y</c><e><![CDATA[z]]></e><f>p&amp;q</f><g><h>1</h></g></r>");
  struct Case {
    const char* element;
    std::optional<std::string_view> simple;
  } cases[] = {
      {"a", "12.50"}, {"b", ""}, {"c", std::nullopt}, {"e", std::nullopt}, {"f", "p&q"}, {"g", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    XmlNode element = document.DocumentElement().FindChild(c.element);
    EXPECT_EQ(element.SimpleText(), c.simple);
    if (c.simple) {
      EXPECT_EQ(element.Text(), *c.simple);
    }
  }
  EXPECT_EQ(document.DocumentElement().FirstChild().FirstChild().SimpleText(), std::nullopt);  // a text node
}

// In a long list the first child of a name is found without walking past it,
// and stays right as children come and go around it.
TEST(XmlNodeChildren, FirstOfANameInALongList) {
  XmlDocument document;
  XmlNode root = document.AddDocumentElement("r");
  for (int i = 0; i < 100; ++i) root.AddChild("W");
  auto first = [&](bool byNamespace) { return byNamespace ? root.FindChild("Ctrl", "") : root.FindChild("Ctrl"); };
  for (bool byNamespace : {false, true}) {
    SCOPED_TRACE(byNamespace);
    EXPECT_TRUE(first(byNamespace).IsNull());
    XmlNode last = root.AddChild("Ctrl");
    EXPECT_TRUE(first(byNamespace) == last);
    root.AddChild("W", 0);
    EXPECT_TRUE(first(byNamespace) == last);
    XmlNode middle = root.AddChildBefore("Ctrl", root.ChildAt(50));
    EXPECT_TRUE(first(byNamespace) == middle);
    // A later one reached by index does not become the first.
    EXPECT_TRUE(root.ElementAt("Ctrl", "", 1) == last);
    EXPECT_TRUE(first(byNamespace) == middle);
    root.DeleteChild(middle);
    EXPECT_TRUE(first(byNamespace) == last);
    root.DeleteChild(last);
    EXPECT_TRUE(first(byNamespace).IsNull());
  }
}

TEST(XmlNodeChildren, InsertAtIndexAndRemove) {
  XmlDocument document = XmlDocument::FromString("<E><W/><W/><Ctrl/></E>");
  XmlNode e = document.DocumentElement();
  struct Case {
    int index;
    std::vector<std::string> expected;
  } cases[] = {
      {0, {"N", "W", "W", "Ctrl"}},  {2, {"W", "W", "N", "Ctrl"}},  {3, {"W", "W", "Ctrl", "N"}},
      {-1, {"W", "W", "Ctrl", "N"}}, {99, {"W", "W", "Ctrl", "N"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    XmlNode added = e.AddChild("N", c.index);
    EXPECT_EQ(ChildNames(e), c.expected);
    EXPECT_EQ(e.IndexOfChild(added), std::find(c.expected.begin(), c.expected.end(), "N") - c.expected.begin());
    e.RemoveChild(added);
    EXPECT_EQ(ChildNames(e), (std::vector<std::string>{"W", "W", "Ctrl"}));
    EXPECT_FALSE(added.IsAttached());
  }
  EXPECT_FALSE(ErrorOf([&] { e.AddChild("N", -2); }).empty());
  EXPECT_FALSE(ErrorOf([&] { e.ChildAt(3); }).empty());

  // Before a given child; a null one appends; a node of another parent is refused.
  XmlNode before = e.AddChildBefore("B", e.FindChild("Ctrl"));
  EXPECT_EQ(ChildNames(e), (std::vector<std::string>{"W", "W", "B", "Ctrl"}));
  XmlNode last = e.AddChildBefore("L", XmlNode());
  EXPECT_EQ(ChildNames(e), (std::vector<std::string>{"W", "W", "B", "Ctrl", "L"}));
  EXPECT_EQ(ErrorOf([&] { e.AddChildBefore("N", before.AddChild("x")); }),
            "Węzeł odniesienia nie jest węzłem podrzędnym tego elementu XML");
  e.RemoveChild(before);
  e.RemoveChild(last);

  // Items before the control element, each at its index (the converter's way).
  for (int i = 0; i < 3; ++i) e.AddChild("W", e.IndexOfChild("Ctrl"));
  EXPECT_EQ(ChildNames(e), (std::vector<std::string>{"W", "W", "W", "W", "W", "Ctrl"}));
  EXPECT_EQ(e.ElementCount("W", ""), 5);

  // A removed node lives on and can go back in.
  XmlNode ctrl = e.RemoveChildAt(5);
  EXPECT_EQ(ctrl.NodeName(), "Ctrl");
  e.InsertChild(0, ctrl);
  EXPECT_EQ(e.IndexOfChild("Ctrl"), 0);
  // Moving a node within its parent.
  e.AppendChild(ctrl);
  EXPECT_EQ(e.IndexOfChild(ctrl), 5);
  e.RemoveAllChildren();
  EXPECT_FALSE(e.HasChildNodes());
  EXPECT_EQ(RootXml(document), "<E/>");
}

TEST(XmlNodeChildren, DeletedChildGoesAtOnceAndListsStayRight) {
  XmlDocument document = XmlDocument::FromString("<r><a><w/><w><v/><v/></w><w/></a><b/><c/></r>");
  XmlNode root = document.DocumentElement();
  XmlNode a = root.FirstChild();
  // Lists inside the subtree are counted and walked first, so that they are remembered.
  EXPECT_EQ(a.ElementCount("w", ""), 3);
  EXPECT_EQ(a.ChildAt(1).ElementCount("v", ""), 2);
  EXPECT_EQ(root.ElementCount("b", ""), 1);
  root.DeleteChild(a);
  EXPECT_TRUE(a.IsNull());
  EXPECT_TRUE(document.Modified());
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(root.ElementCount("b", ""), 1);
  // New lists in place of the freed ones count from scratch.
  for (int round = 0; round < 20; ++round) {
    XmlNode fresh = root.AddChild("a", 0);
    for (int i = 0; i <= round % 3; ++i) fresh.AddChild("w");
    EXPECT_EQ(fresh.ElementCount("w", ""), round % 3 + 1);
    EXPECT_EQ(fresh.ChildAt(round % 3).NodeName(), "w");
    root.DeleteChild(fresh);
  }
  EXPECT_EQ(RootXml(document), "<r><b/><c/></r>");
}

TEST(XmlNodeChildren, InsertRefusesWhatCannotStandThere) {
  XmlDocument document = XmlDocument::FromString("<a><b><c/></b></a>");
  XmlDocument other = XmlDocument::FromString("<x/>");
  XmlNode a = document.DocumentElement();
  XmlNode b = a.FirstChild();
  XmlNode c = b.FirstChild();
  struct Case {
    const char* what;
    std::function<void()> call;
  } cases[] = {
      {"own subtree", [&] { c.AppendChild(b); }},
      {"itself", [&] { b.AppendChild(b); }},
      {"other document", [&] { a.AppendChild(other.DocumentElement()); }},
      {"attribute as child", [&] { a.AppendChild(document.CreateAttribute("k")); }},
      {"second root", [&] { document.DocumentNode().AppendChild(document.CreateElement("r2")); }},
      {"text beside root", [&] { document.DocumentNode().AppendChild(document.CreateTextNode("t")); }},
      {"child of text", [&] { document.CreateTextNode("t").AppendChild(document.CreateElement("e")); }},
      {"reference elsewhere", [&] { a.InsertBefore(document.CreateElement("e"), c); }},
      {"null node", [&] { a.AppendChild(XmlNode()); }},
      {"remove non-child", [&] { a.RemoveChild(c); }},
      {"delete non-child",
       [&] {
         XmlNode grandchild = c;
         a.DeleteChild(grandchild);
       }},
  };
  std::string before = RootXml(document);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    EXPECT_THROW(k.call(), kx::Error);
    EXPECT_EQ(RootXml(document), before);
  }
  // Imported, the node goes in.
  a.AppendChild(document.ImportNode(other.DocumentElement(), true));
  EXPECT_EQ(RootXml(document), "<a><b><c/></b><x/></a>");
}

TEST(XmlNodeChildren, IndexAccessStaysRightThroughEveryKindOfChange) {
  // Random edits against a plain list of names: the remembered positions and
  // counts must never go stale.
  XmlDocument document;
  XmlNode root = document.AddDocumentElement("r");
  std::vector<std::string> model;
  std::mt19937 random(7);
  int serial = 0;
  for (int step = 0; step < 3000; ++step) {
    int count = static_cast<int>(model.size());
    int operation = static_cast<int>(random() % 7);
    int index = count ? static_cast<int>(random() % count) : 0;
    std::string name = (random() % 2 ? "I" : "J") + std::to_string(serial++ % 5);
    switch (operation) {
      case 0:
      case 1:
        root.AddChild(name);
        model.push_back(name);
        break;
      case 2:
        if (count && step % 2) {
          root.AddChildBefore(name, root.ChildAt(index));
        } else {
          root.AddChild(name, index);
        }
        model.insert(model.begin() + (count ? index : 0), name);
        break;
      case 3:
        if (count) {
          if (step % 2) {
            root.RemoveChildAt(index);
          } else {
            XmlNode doomed = root.ChildAt(index);
            root.DeleteChild(doomed);
          }
          model.erase(model.begin() + index);
        }
        break;
      case 4:
        if (count) {
          // Move a child to the end.
          root.AppendChild(root.ChildAt(index));
          std::string moved = model[index];
          model.erase(model.begin() + index);
          model.push_back(moved);
        }
        break;
      case 5:
        if (count) root.ChildAt(index).SetText("t");  // the child's own list changes only
        break;
      default:
        if (count) {
          XmlNode child = root.ChildAt(index);
          ASSERT_EQ(root.IndexOfChild(child), index);
        }
        break;
    }
    ASSERT_EQ(root.ChildCount(), static_cast<int>(model.size())) << step;
    // Positions around the one just used, where a stale cursor would show.
    for (int probe : {index - 1, index, index + 1, static_cast<int>(random() % (model.size() + 1))}) {
      if (probe >= 0 && probe < static_cast<int>(model.size())) {
        ASSERT_EQ(root.ChildAt(probe).NodeName(), model[probe]) << step;
      }
    }
    std::string filter = "I" + std::to_string(step % 5);
    std::vector<int> positions;
    for (int i = 0; i < static_cast<int>(model.size()); ++i) {
      if (model[i] == filter) positions.push_back(i);
    }
    ASSERT_EQ(root.ElementCount(filter, ""), static_cast<int>(positions.size())) << step;
    XmlNode first = step % 3 ? root.FindChild(filter) : root.FindChild(filter, "");
    ASSERT_TRUE(positions.empty() ? first.IsNull() : first == root.ChildAt(positions[0])) << step;
    if (!positions.empty()) {
      int k = static_cast<int>(random() % positions.size());
      ASSERT_TRUE(root.ElementAt(filter, "", k) == root.ChildAt(positions[k])) << step;
    }
  }
  // A full walk forwards and backwards.
  for (int i = 0; i < root.ChildCount(); ++i) ASSERT_EQ(root.ChildAt(i).NodeName(), model[i]);
  for (int i = root.ChildCount() - 1; i >= 0; --i) ASSERT_EQ(root.ChildAt(i).NodeName(), model[i]);
}

TEST(XmlNodeChildren, ItemsCountOnlyTheirNameAndNamespace) {
  XmlDocument document = XmlDocument::FromString(std::string("<JPK xmlns=\"") + kJpk +
                                                 "\"><Naglowek/><Sprzedaz n=\"1\"/><!--c--><Sprzedaz n=\"2\"/>"
                                                 "<Sprzedaz xmlns=\"urn:other\"/><SprzedazCtrl/></JPK>");
  XmlNode root = document.DocumentElement();
  EXPECT_EQ(root.ChildCount(), 6);
  EXPECT_EQ(root.ElementCount("Sprzedaz", kJpk), 2);
  EXPECT_EQ(root.ElementAt("Sprzedaz", kJpk, 0).Attribute("n"), "1");
  EXPECT_EQ(root.ElementAt("Sprzedaz", kJpk, 1).Attribute("n"), "2");
  EXPECT_EQ(root.ElementCount("Sprzedaz", "urn:other"), 1);
  EXPECT_FALSE(ErrorOf([&] { root.ElementAt("Sprzedaz", kJpk, 2); }).empty());
  root.AddChild("Sprzedaz").SetAttribute("n", "3");  // after SprzedazCtrl
  EXPECT_EQ(root.ElementCount("Sprzedaz", kJpk), 3);
  EXPECT_EQ(root.LastChild().Attribute("n"), "3");
}

// --- text and attributes -------------------------------------------------------------

TEST(XmlNodeValues, TextReplacesChildrenAndIsCheckedForXml) {
  XmlDocument document = XmlDocument::FromString("<a><b>x<c/>y</b><d>old</d></a>");
  XmlNode a = document.DocumentElement();
  XmlNode b = a.FirstChild();
  XmlNode c = b.ChildAt(1);
  EXPECT_EQ(b.Text(), "xy");
  EXPECT_FALSE(b.IsTextElement());
  b.SetText("Tom & \"Jerry\" <sp.j.>");
  EXPECT_EQ(b.ChildCount(), 1);
  EXPECT_TRUE(b.IsTextElement());
  EXPECT_EQ(b.Xml(), "<b>Tom &amp; \"Jerry\" &lt;sp.j.&gt;</b>");
  EXPECT_EQ(c.NodeName(), "c");  // taken out, still valid
  XmlNode oldText = a.ChildAt(1).FirstChild();
  a.ChildAt(1).SetText("new");
  EXPECT_EQ(oldText.NodeValue(), "new");  // one text child is changed in place
  a.ChildAt(1).SetText("");
  EXPECT_EQ(a.ChildAt(1).Xml(), "<d/>");

  std::string before = a.Xml();
  const std::string bad[] = {"\x01", "\xff", "a\xc5", std::string("\0", 1), "\xef\xbf\xbe"};
  for (const std::string& text : bad) {
    EXPECT_THROW(b.SetText(text), kx::Error);
    EXPECT_THROW(b.SetAttribute("k", text), kx::Error);
  }
  EXPECT_EQ(a.Xml(), before);
}

TEST(XmlNodeValues, AttributesWithAndWithoutNamespace) {
  XmlDocument document = XmlDocument::FromString(
      std::string("<JPK xmlns=\"") + kJpk + "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><P/></JPK>");
  XmlNode root = document.DocumentElement();
  XmlNode p = root.FirstChild();

  p.SetAttribute("rola", "Podatnik");
  EXPECT_TRUE(p.HasAttribute("rola"));
  EXPECT_EQ(p.Attribute("rola"), "Podatnik");
  EXPECT_EQ(p.AttributeNode("rola").NamespaceURI(), "");  // unprefixed: no namespace
  p.SetAttribute("rola", "A&B");
  EXPECT_EQ(p.Attribute("rola"), "A&B");
  EXPECT_EQ(p.AttributeCount(), 1);
  EXPECT_EQ(p.Attribute("missing"), "");
  EXPECT_FALSE(p.HasAttribute("missing"));

  // A prefix bound in scope is reused.
  p.SetAttributeNS("type", "http://www.w3.org/2001/XMLSchema-instance", "T");
  EXPECT_EQ(p.Attribute("xsi:type"), "T");
  // An unbound namespace gets its prefix declared on the element.
  p.SetAttributeNS("q:code", "urn:q", "1");
  // Never masking a prefix in effect: "xsi" is bound to another URI above.
  p.SetAttributeNS("xsi:other", "urn:r", "2");
  EXPECT_EQ(p.Xml(),
            "<P xmlns:q=\"urn:q\" xmlns:ns1=\"urn:r\" rola=\"A&amp;B\" xsi:type=\"T\" q:code=\"1\" ns1:other=\"2\"/>");
  EXPECT_EQ(p.AttributeNodeNS("other", "urn:r").Text(), "2");
  EXPECT_EQ(p.AttributeCount(), 6);
  EXPECT_EQ(p.AttributeAt(0).NodeName(), "xmlns:q");
  EXPECT_EQ(p.AttributeAt(2).NodeName(), "rola");

  EXPECT_TRUE(p.RemoveAttribute("rola"));
  EXPECT_FALSE(p.RemoveAttribute("rola"));
  // Removing a declaration still in use: the namespace is declared again where needed.
  EXPECT_TRUE(p.RemoveAttribute("xmlns:q"));
  XmlDocument reread = XmlDocument::FromString(document.Xml());
  EXPECT_EQ(reread.DocumentElement().FirstChild().AttributeNodeNS("code", "urn:q").Text(), "1");
  EXPECT_NE(ErrorOf([&] { p.SetAttribute("zz:k", "v"); }).find("\"zz\""), std::string::npos);
}

TEST(XmlNodeValues, AttributeNodesCreatedAndAttached) {
  XmlDocument document;
  XmlNode root = document.AddDocumentElement("r");
  XmlNode plain = document.CreateAttribute("a");
  plain.SetNodeValue("1");
  XmlNode spaced = document.CreateAttribute("x:b", "urn:x");
  spaced.SetNodeValue("2");
  XmlNode declaration = document.CreateAttribute("xmlns:etd", std::string(kx::xml::kXmlnsNamespace));
  declaration.SetNodeValue(kEtd);
  for (const XmlNode& attribute : {plain, spaced, declaration}) {
    EXPECT_FALSE(attribute.IsAttached());
    EXPECT_TRUE(root.SetAttributeNode(attribute).IsNull());
  }
  EXPECT_EQ(root.Xml(), std::string("<r xmlns:x=\"urn:x\" xmlns:etd=\"") + kEtd + "\" a=\"1\" x:b=\"2\"/>");
  EXPECT_EQ(root.LookupNamespaceURI("etd"), kEtd);

  // Same name again: the old one comes back.
  XmlNode again = document.CreateAttribute("a");
  again.SetNodeValue("9");
  XmlNode replaced = root.SetAttributeNode(again);
  EXPECT_EQ(replaced.NodeValue(), "1");
  EXPECT_EQ(root.Attribute("a"), "9");
}

// --- namespaces ----------------------------------------------------------------------

TEST(XmlNodeNamespaces, LookupsAndDeclaringAttribute) {
  XmlDocument document = XmlDocument::FromString(std::string("<tns:JPK xmlns:tns=\"") + kJpk + "\" xmlns:etd=\"" +
                                                 kEtd + "\"><tns:A xmlns=\"urn:d\"><B/></tns:A></tns:JPK>");
  XmlNode root = document.DocumentElement();
  XmlNode b = root.FirstChild().FirstChild();

  EXPECT_EQ(root.LookupNamespaceURI("tns"), kJpk);
  EXPECT_EQ(root.LookupNamespaceURI(""), "");
  EXPECT_EQ(b.LookupNamespaceURI(""), "urn:d");
  EXPECT_EQ(b.LookupNamespaceURI("etd"), kEtd);
  EXPECT_EQ(b.LookupNamespaceURI("none"), "");
  EXPECT_EQ(root.LookupPrefix(kJpk), std::optional<std::string>("tns"));
  EXPECT_EQ(b.LookupPrefix("urn:d"), std::optional<std::string>(""));
  EXPECT_EQ(root.LookupPrefix("urn:d"), std::nullopt);

  // The attribute that declares the root's namespace: its name tells a prefix.
  XmlNode declaration = root.FindNamespaceDecl(root.NamespaceURI());
  EXPECT_EQ(declaration.Kind(), XmlNodeKind::Attribute);
  EXPECT_EQ(declaration.NodeName(), "xmlns:tns");
  EXPECT_EQ(declaration.LocalName(), "tns");
  EXPECT_EQ(declaration.Prefix(), "xmlns");
  EXPECT_EQ(declaration.NodeValue(), kJpk);
  EXPECT_EQ(declaration.NamespaceURI(), kx::xml::kXmlnsNamespace);
  EXPECT_EQ(b.FindNamespaceDecl(kEtd).NodeName(), "xmlns:etd");  // found on an ancestor
  EXPECT_EQ(b.FindNamespaceDecl("urn:d").NodeName(), "xmlns");
  EXPECT_TRUE(root.FindNamespaceDecl("urn:none").IsNull());
  EXPECT_EQ(root.Attribute("xmlns:etd"), kEtd);
}

TEST(XmlNodeNamespaces, DeclaringPrefixes) {
  XmlDocument document;
  XmlNode root = document.BindDocumentElement("JPK", kJpk);
  root.DeclareNamespace("etd", kEtd);
  root.DeclareNamespace("etd", kEtd);  // again: nothing changes
  root.DeclareNamespace("", kJpk);
  EXPECT_EQ(RootXml(document), std::string("<JPK xmlns=\"") + kJpk + "\" xmlns:etd=\"" + kEtd + "\"/>");
  EXPECT_NE(ErrorOf([&] { root.DeclareNamespace("etd", "urn:other"); }).find("już zadeklarowany"), std::string::npos);
  EXPECT_FALSE(ErrorOf([&] { root.DeclareNamespace("", "urn:other"); }).empty());
  EXPECT_FALSE(ErrorOf([&] { root.DeclareNamespace("p", ""); }).empty());
  EXPECT_FALSE(ErrorOf([&] { root.DeclareNamespace("xmlns", "urn:x"); }).empty());

  // Declaring a prefix that masks one in use below: the users keep their namespace.
  XmlNode a = root.AddChild("etd:A");
  XmlNode inner = a.AddChild("etd:B");
  a.DeclareNamespace("etd", "urn:new");
  XmlDocument reread = XmlDocument::FromString(document.Xml());
  XmlNode a2 = reread.DocumentElement().FirstChild();
  EXPECT_EQ(a2.NamespaceURI(), kEtd);
  EXPECT_EQ(a2.FirstChild().NamespaceURI(), kEtd);
  EXPECT_EQ(a2.LookupNamespaceURI("etd"), "urn:new");
  EXPECT_EQ(inner.NamespaceURI(), kEtd);
}

TEST(XmlNodeNamespaces, CreatedElementsSerializeRightWhereverTheyGo) {
  XmlDocument document;
  XmlNode root = document.BindDocumentElement("JPK", kJpk);
  root.DeclareNamespace("etd", kEtd);

  // Made outside the tree: the declaration they carry goes when the place has it.
  XmlNode naglowek = document.CreateElement("Naglowek", kJpk);
  XmlNode nip = document.CreateElement("etd:NIP", kEtd);
  XmlNode foreign = document.CreateElement("f:X", "urn:f");
  XmlNode bare = document.CreateElement("NoNs");
  nip.SetText("1");
  naglowek.AppendChild(nip);  // not yet in the tree: keeps its declaration
  root.AppendChild(naglowek);
  root.AppendChild(foreign);
  root.AppendChild(bare);
  root.AddChildNS("Y", "urn:y");
  root.AddChildNS("Podmiot1", kJpk);
  EXPECT_EQ(RootXml(document), std::string("<JPK xmlns=\"") + kJpk + "\" xmlns:etd=\"" + kEtd +
                                   "\"><Naglowek><etd:NIP>1</etd:NIP></Naglowek><f:X xmlns:f=\"urn:f\"/>"
                                   "<NoNs xmlns=\"\"/><Y xmlns=\"urn:y\"/><Podmiot1/></JPK>");

  // Re-read, every element is where it was made.
  XmlDocument reread = XmlDocument::FromString(document.Xml());
  XmlNode r = reread.DocumentElement();
  EXPECT_EQ(r.FindChild("Naglowek", kJpk).FindChild("NIP", kEtd).Text(), "1");
  EXPECT_FALSE(r.FindChild("X", "urn:f").IsNull());
  EXPECT_FALSE(r.FindChild("NoNs", "").IsNull());
  EXPECT_FALSE(r.FindChild("Y", "urn:y").IsNull());

  // Moving an element out of the scope of its prefix declares it again.
  XmlDocument source = XmlDocument::FromString("<a xmlns:p=\"urn:p\"><b><p:c p:k=\"v\"/></b></a>");
  XmlNode c = source.DocumentElement().FirstChild().FirstChild();
  XmlNode holder = source.CreateElement("holder");
  holder.AppendChild(c);
  EXPECT_EQ(holder.Xml(), "<holder><p:c xmlns:p=\"urn:p\" p:k=\"v\"/></holder>");
}

// --- nodes of every kind, copies -----------------------------------------------------

TEST(XmlNodeKinds, CreateEveryKind) {
  XmlDocument document = XmlDocument::FromString("<!DOCTYPE r [<!ENTITY firma \"ACME\">]><r/>");
  XmlNode root = document.DocumentElement();
  struct Case {
    XmlNode node;
    XmlNodeKind kind;
    const char* name;
    const char* value;
  } cases[] = {
      {document.CreateElement("e"), XmlNodeKind::Element, "e", ""},
      {document.CreateTextNode("t<"), XmlNodeKind::Text, "#text", "t<"},
      {document.CreateCDataSection("c]]>d"), XmlNodeKind::CData, "#cdata-section", "c]]>d"},
      {document.CreateComment(" k "), XmlNodeKind::Comment, "#comment", " k "},
      {document.CreateEntityReference("firma"), XmlNodeKind::EntityReference, "firma", ""},
      {document.CreateProcessingInstruction("pi", "data"), XmlNodeKind::ProcessingInstruction, "pi", "data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.node.Kind(), c.kind);
    EXPECT_EQ(c.node.NodeName(), c.name);
    EXPECT_EQ(c.node.NodeValue(), c.value);
    root.AppendChild(c.node);
  }
  XmlNode fragment = document.CreateDocumentFragment();
  EXPECT_EQ(fragment.Kind(), XmlNodeKind::DocumentFragment);
  fragment.AppendChild(document.CreateElement("f1"));
  fragment.AppendChild(document.CreateElement("f2"));
  root.AppendChild(fragment);  // its children move
  EXPECT_FALSE(fragment.HasChildNodes());
  EXPECT_EQ(RootXml(document), "<r><e/>t&lt;<![CDATA[c]]]]><![CDATA[>d]]><!-- k -->&firma;<?pi data?><f1/><f2/></r>");
  EXPECT_EQ(document.DocumentNode().Kind(), XmlNodeKind::Document);

  // And the written document reads back as the same.
  XmlDocument reread = XmlDocument::FromString(document.Xml());
  EXPECT_EQ(reread.DocumentElement().Text(), "t<c]]>dACME");

  // Texts that would break the file are refused.
  EXPECT_THROW(document.CreateComment("a--b"), kx::Error);
  EXPECT_THROW(document.CreateProcessingInstruction("pi", "?>"), kx::Error);
  EXPECT_THROW(document.CreateProcessingInstruction("xml", ""), kx::Error);
  EXPECT_THROW(document.CreateEntityReference("undeclared"), kx::Error);
  EXPECT_THROW(document.CreateElement("1bad"), kx::Error);
  EXPECT_THROW(document.CreateElement("p:x"), kx::Error);  // prefix without namespace
}

TEST(XmlNodeKinds, CloneAndImport) {
  XmlDocument source = XmlDocument::FromString(std::string("<tns:JPK xmlns:tns=\"") + kJpk +
                                               "\"><tns:W a=\"1\"><tns:K>x</tns:K></tns:W></tns:JPK>");
  XmlNode w = source.DocumentElement().FirstChild();

  XmlNode deep = w.CloneNode(true);
  XmlNode shallow = w.CloneNode(false);
  EXPECT_FALSE(deep.IsAttached());
  EXPECT_EQ(deep.Xml(), std::string("<tns:W xmlns:tns=\"") + kJpk + "\" a=\"1\"><tns:K>x</tns:K></tns:W>");
  EXPECT_EQ(shallow.Xml(), std::string("<tns:W xmlns:tns=\"") + kJpk + "\" a=\"1\"/>");
  source.DocumentElement().AppendChild(deep);
  EXPECT_EQ(source.DocumentElement().ElementCount("W", kJpk), 2);
  EXPECT_EQ(source.DocumentElement().LastChild().Xml(), "<tns:W a=\"1\"><tns:K>x</tns:K></tns:W>");

  XmlNode declaration = source.DocumentElement().FindNamespaceDecl(kJpk).CloneNode(false);
  EXPECT_EQ(declaration.NodeName(), "xmlns:tns");
  EXPECT_EQ(declaration.NodeValue(), kJpk);

  // Into another document, where the namespace is the default one.
  XmlDocument target;
  XmlNode root = target.BindDocumentElement("JPK", kJpk);
  root.AppendChild(target.ImportNode(w, true));
  XmlDocument reread = XmlDocument::FromString(target.Xml());
  EXPECT_EQ(reread.DocumentElement().FindChild("W", kJpk).FindChild("K", kJpk).Text(), "x");
  EXPECT_EQ(reread.DocumentElement().FindChild("W", kJpk).Attribute("a"), "1");

  // Entities the target does not declare arrive as their text.
  XmlDocument withEntity =
      XmlDocument::FromString("<!DOCTYPE a [<!ENTITY f \"ACME\">]><a k=\"&f; sp\"><b>&f;!</b></a>");
  XmlDocument plain;
  plain.AddDocumentElement("r").AppendChild(plain.ImportNode(withEntity.DocumentElement(), true));
  EXPECT_EQ(plain.DocumentElement().Xml(), "<r><a k=\"ACME sp\"><b>ACME!</b></a></r>");
  EXPECT_EQ(XmlDocument::FromString(plain.Xml()).DocumentElement().Text(), "ACME!");
}

TEST(XmlNodeKinds, NullHandlesFailClearly) {
  XmlNode none;
  EXPECT_TRUE(none.IsNull());
  EXPECT_FALSE(static_cast<bool>(none));
  EXPECT_EQ(none.Kind(), XmlNodeKind::None);
  EXPECT_EQ(none.ChildCount(), 0);
  EXPECT_TRUE(none.FindChild("x").IsNull());
  EXPECT_THROW(none.Text(), kx::Error);
  EXPECT_THROW(none.SetText("x"), kx::Error);
  EXPECT_THROW(none.AddChild("x"), kx::Error);
  EXPECT_THROW(none.OwnerDocument(), kx::Error);
}
