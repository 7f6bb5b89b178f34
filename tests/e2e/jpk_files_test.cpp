// kx2jpk-cli repair and validate on files received from other programs.

#include <gtest/gtest.h>

#include "platform/xml/xml_document.h"
#include "support/run_cli.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using kxtest::RunCli;

namespace {

fs::path Sample(const std::string& kind, const std::string& name) {
  return kxtest::SharedDir() / "samples" / kind / name;
}

std::string Schemas() { return (kxtest::SharedDir() / "xsd").string(); }

// Local names, namespaces, attributes (but namespace declarations) and texts
// of every element below the root, in document order: what a repair must keep
// whatever the prefixes and formatting.
void Collect(const kx::xml::XmlNode& element, std::string& out) {
  out += element.LocalName() + "{" + element.NamespaceURI() + "}";
  for (int i = 0; i < element.AttributeCount(); ++i) {
    auto a = element.AttributeAt(i);
    if (a.NamespaceURI() != kx::xml::kXmlnsNamespace) out += " @" + a.LocalName() + "=" + a.NodeValue();
  }
  bool leaf = true;
  for (auto c = element.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    if (c.Kind() == kx::xml::XmlNodeKind::Element) leaf = false;
  }
  if (leaf) out += " = " + element.Text();
  out += "\n";
  for (auto c = element.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    if (c.Kind() == kx::xml::XmlNodeKind::Element) Collect(c, out);
  }
}

std::string Content(const fs::path& file) {
  auto root = kx::xml::XmlDocument::FromFile(file).DocumentElement();
  std::string out;
  for (auto c = root.FirstChild(); !c.IsNull(); c = c.NextSibling()) {
    if (c.Kind() == kx::xml::XmlNodeKind::Element) Collect(c, out);
  }
  return out;
}

}  // namespace

TEST(CliRepair, YesRewritesTnsFilesWithBackup) {
  // clang-format off
  struct Case { const char* kind; const char* file; } cases[] = {
      // clang-format on
      {"JPK_V7M", "jpk_v7m3_tns_prefix_uti-kb_example.xml"},
      {"JPK_V7M", "jpk_v7m3_mf_example_person_tns_derived.xml"},
      {"JPK_FA", "jpk_fa4_synthetic_tns_prefix.xml"},
  };
  for (const auto& c : cases) {
    kxtest::TempDir dir;
    fs::copy_file(Sample(c.kind, c.file), dir / c.file);
    auto r = RunCli({"repair", c.file, "--yes"}, dir.Path());
    ASSERT_EQ(r.exitCode, 0) << c.file << r.err;
    EXPECT_NE(r.out.find("Poprawiono"), std::string::npos) << r.out;
    std::string text = kxtest::ReadFile(dir / c.file);
    EXPECT_EQ(text.find("tns:"), std::string::npos) << c.file;
    EXPECT_NE(text.find("<JPK xmlns=\""), std::string::npos) << text;
    EXPECT_EQ(kxtest::ReadFile(dir / "backup" / (std::string("~") + c.file)), kxtest::ReadFile(Sample(c.kind, c.file)));
    // Nothing lost: the same element texts and attribute values.
    EXPECT_EQ(Content(dir / c.file), Content(Sample(c.kind, c.file))) << c.file;
    auto v = RunCli({"validate", c.file, "--schemas", Schemas()}, dir.Path());
    EXPECT_EQ(v.exitCode, 0) << v.out << v.err;
  }
}

TEST(CliRepair, NoOrUnansweredWritesNothing) {
  kxtest::TempDir dir;
  const char* file = "jpk_v7m3_tns_prefix_uti-kb_example.xml";
  fs::copy_file(Sample("JPK_V7M", file), dir / file);
  for (std::vector<std::string> args :
       {std::vector<std::string>{"repair", file, "--no"}, std::vector<std::string>{"repair", file}}) {
    auto r = RunCli(args, dir.Path());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("bez zmian"), std::string::npos) << r.out;
    EXPECT_EQ(kxtest::ReadFile(dir / file), kxtest::ReadFile(Sample("JPK_V7M", file)));
    EXPECT_FALSE(fs::exists(dir / "backup"));
  }
  // Other kinds have no prefix repair; a broken file names its line.
  fs::copy_file(Sample("JPK_KR", "jpk_kr1_synthetic_tns_prefix.xml"), dir / "kr.xml");
  auto kr = RunCli({"repair", "kr.xml", "--yes"}, dir.Path());
  EXPECT_EQ(kr.exitCode, 1);
  dir.Write("broken.xml", "<?xml version=\"1.0\"?>\n<JPK>\n<a>\n");
  auto broken = RunCli({"repair", "broken.xml"}, dir.Path());
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_NE(broken.err.find("broken.xml"), std::string::npos) << broken.err;
}

TEST(CliValidate, SamplesAndErrors) {
  for (auto kind : {"JPK_V7M", "JPK_FA", "JPK_MAG", "JPK_KR"}) {
    for (const auto& entry : fs::directory_iterator(kxtest::SharedDir() / "samples" / kind)) {
      if (entry.path().filename().string().find("upswingops") != std::string::npos) continue;  // incomplete skeleton
      auto r = RunCli({"validate", entry.path().string(), "--schemas", Schemas()});
      EXPECT_EQ(r.exitCode, 0) << entry.path() << r.out << r.err;
    }
  }
  auto skeleton = RunCli(
      {"validate", Sample("JPK_FA", "jpk_fa4_upswingops_input_inline_xmlns.xml").string(), "--schemas", Schemas()});
  EXPECT_EQ(skeleton.exitCode, 1);
  EXPECT_NE(skeleton.out.find(": wiersz "), std::string::npos) << skeleton.out;

  kxtest::TempDir dir;
  std::string text = kxtest::ReadFile(Sample("JPK_KR", "jpk_kr1_synthetic_default_ns.xml"));
  size_t at = text.find("<KodUrzedu>");
  std::string bad = text.substr(0, at) + "<KodUrzedu>202</KodUrzedu>" + text.substr(text.find("</KodUrzedu>") + 12);
  dir.Write("kr.xml", bad);
  auto r = RunCli({"validate", "kr.xml", "--schemas", Schemas()}, dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("KodUrzedu"), std::string::npos) << r.out;

  // Without a schema folder: the schemas that come with the program.
  auto bundled = RunCli({"validate", "kr.xml"}, dir.Path());
  EXPECT_EQ(bundled.exitCode, 1);
  EXPECT_NE(bundled.out.find("KodUrzedu"), std::string::npos) << bundled.out << bundled.err;
  // A folder named but empty: where to put them.
  fs::create_directories(dir / "puste");
  auto none = RunCli({"validate", "kr.xml", "--schemas", (dir / "puste").string()}, dir.Path());
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(none.err.find("Brak schematów JPK w folderze " + (dir / "puste").string()), std::string::npos) << none.err;
  // The folder from the firm's configuration.
  dir.Write("kx2jpk.ini",
            "[System]\nNIP=1\nNazwa=N\nEmail=e\nUSCode=1009\nNazwaSystemu=s\nSchemaDir=" + Schemas() + "\n");
  auto configured = RunCli({"validate", "kr.xml"}, dir.Path());
  EXPECT_EQ(configured.exitCode, 1);
  EXPECT_NE(configured.out.find("KodUrzedu"), std::string::npos) << configured.out << configured.err;
  dir.Write("other.xml", "<?xml version=\"1.0\"?><faktura/>");
  EXPECT_EQ(RunCli({"validate", "other.xml", "--schemas", Schemas()}, dir.Path()).exitCode, 1);
}
