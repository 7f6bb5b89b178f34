// A JPK_KR written while it is made: the same bytes as the whole save, put in
// place only at the end, checked as the file is read.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "jpk/files/jpkTools.h"
#include "platform/error.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using namespace kx;
using namespace kx::jpk;
namespace fs = std::filesystem;

namespace {

const fs::path kSample = kxtest::SharedDir() / "samples" / "JPK_KR" / "jpk_kr1_synthetic_default_ns.xml";

// The sample's elements, one by one, into a new document's root; after each
// one `made` is called.
template <typename Made>
void CopySample(kr::IXMLJPKKR root, Made made) {
  PrepareKRDocument(root);
  const kr::IXMLJPKKR sample = kr::LoadJPKKR(kSample);
  for (xml::XmlNode child = sample.Node().FirstChild(); !child.IsNull(); child = child.NextSibling()) {
    root.Node().AppendChild(root.OwnerDocument().ImportNode(child, true));
    made();
  }
}

// Every file in the folder, private ones included.
std::vector<std::string> Files(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) names.push_back(fs::relative(e.path(), dir).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A save check that keeps what it was told, and refuses when asked to.
struct RecordedCheck {
  std::optional<SavedFileCheck> outcome;
  std::string fileName;
  bool refuse = false;

  RecordedCheck() {
    SetSaveCheck({[] { return kxtest::SharedDir() / "xsd"; },
                  [this](const SavedFileCheck& o, const std::string& name) {
                    outcome = o;
                    fileName = name;
                    if (refuse) throw Error("plik niezgodny ze schematem nie został zapisany");
                  }});
  }
  ~RecordedCheck() { SetSaveCheck({}); }
};

}  // namespace

TEST(KRFileWriter, SameBytesAsTheWholeSavePlacedUnderEitherName) {
  kxtest::TempDir dir;
  kr::IXMLJPKKR whole = kr::NewJPKKR();
  CopySample(whole, [] {});
  SaveKRFile(whole, (dir / "whole.xml").string());
  const std::string reference = kxtest::ReadFile(dir / "whole.xml");
  fs::remove(dir / "whole.xml");

  RecordedCheck check;
  {
    KRFileWriter out((dir / "kr.xml").string());
    CopySample(out.Root(), [&] { out.Write(); });
    EXPECT_FALSE(out.Root().Node().HasChildNodes());
    out.Finish();
    EXPECT_EQ(Files(dir.Path()).size(), 1u);  // only the private file so far
    EXPECT_FALSE(fs::exists(dir / "kr.xml"));
    out.Place();
    EXPECT_THROW(out.Place(), Error);  // once only
  }
  EXPECT_EQ(kxtest::ReadFile(dir / "kr.xml"), reference);
  EXPECT_EQ(Files(dir.Path()), std::vector<std::string>{"kr.xml"});
  ASSERT_TRUE(check.outcome);
  EXPECT_FALSE(check.outcome->failure) << *check.outcome->failure;
  EXPECT_TRUE(check.outcome->errors.empty());
  EXPECT_EQ(check.fileName, (dir / "kr.xml").string());

  // Made in one folder, placed in another under the name chosen afterwards.
  EXPECT_THROW(KRFileWriter((dir / "praca" / "kr.xml").string()), Error);  // no such folder
  fs::create_directories(dir / "praca");
  fs::create_directories(dir / "wybrany");
  {
    KRFileWriter out((dir / "praca" / "kr.xml").string());
    CopySample(out.Root(), [&] { out.Write(); });
    EXPECT_THROW(out.Place(), Error);  // not finished
  }
  KRFileWriter out((dir / "praca" / "kr.xml").string());
  CopySample(out.Root(), [] {});
  out.Finish();
  out.Place((dir / "wybrany" / "2026-02_JPK_KR.xml").string());
  EXPECT_EQ(kxtest::ReadFile(dir / "wybrany" / "2026-02_JPK_KR.xml"), reference);
  EXPECT_EQ(check.fileName, (dir / "wybrany" / "2026-02_JPK_KR.xml").string());
  EXPECT_EQ(Files(dir.Path()), (std::vector<std::string>{"kr.xml", "wybrany/2026-02_JPK_KR.xml"}));
}

TEST(KRFileWriter, ComplaintsNameTheirLineAndARefusalKeepsTheOldFile) {
  kxtest::TempDir dir;
  const fs::path file = dir.Write("kr.xml", "starsza wersja");
  RecordedCheck check;
  check.refuse = true;
  KRFileWriter out(file.string());
  CopySample(out.Root(), [&] { out.Write(); });
  out.Finish();
  EXPECT_THROW(out.Place(), Error);
  EXPECT_EQ(kxtest::ReadFile(file), "starsza wersja");
  EXPECT_EQ(Files(dir.Path()), std::vector<std::string>{"kr.xml"});

  // A planted fault: the complaint carries the line of the written file.
  check.refuse = false;
  KRFileWriter faulty(file.string());
  bool planted = false;
  CopySample(faulty.Root(), [&] {
    auto entries = faulty.Root().KontoZapis();
    if (!planted && entries.Count() == 1) {
      entries[0].SetNrZapisu("");
      planted = true;
    }
    faulty.Write();
  });
  faulty.Finish();
  faulty.Place();
  ASSERT_TRUE(check.outcome);
  ASSERT_EQ(check.outcome->errors.size(), 1u);
  const SchemaError& e = check.outcome->errors[0];
  EXPECT_NE(e.message.find("NrZapisu"), std::string::npos) << e.message;
  const std::string text = kxtest::ReadFile(file);
  size_t at = 0;
  for (int line = 1; line < e.line; ++line) at = text.find('\n', at) + 1;
  EXPECT_EQ(text.substr(at, text.find('\n', at) - at), "    <NrZapisu/>") << e.line;
}
