// A JPK file's text validated as it is written, piece by piece, on a second
// thread: the same findings as the file validated whole, with their lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "jpk/files/jpk_validate.h"
#include "platform/error.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using kx::jpk::SchemaError;
using kx::jpk::StreamValidation;
namespace fs = std::filesystem;

namespace {

const fs::path kSample = kxtest::SharedDir() / "samples" / "JPK_KR" / "jpk_kr1_synthetic_default_ns.xml";

// The sample with its journal entry repeated until the text passes `bytes`
// (more than the queue holds), the entry `faulty` given a date the schema
// refuses (-1: none).
std::string LongKr(size_t bytes, int faulty) {
  const std::string sample = kxtest::ReadFile(kSample);
  const size_t from = sample.find("  <Dziennik typ=\"G\">");
  const size_t to = sample.find("  <DziennikCtrl>");
  const std::string entry = sample.substr(from, to - from);
  std::string text = sample.substr(0, from);
  for (int i = 0; text.size() < bytes; ++i) {
    std::string copy = entry;
    if (i == faulty) copy.replace(copy.find("<DataOperacji>") + 14, 10, "2024-13-45");
    text += copy;
  }
  return text + sample.substr(to);
}

std::vector<SchemaError> ValidateInPieces(const std::string& text, size_t piece) {
  StreamValidation check(kxtest::SharedDir() / "xsd", "JPK_KR(1)");
  for (size_t at = 0; at < text.size(); at += piece) check.Add(std::string_view(text).substr(at, piece));
  return check.Finish();
}

}  // namespace

TEST(StreamValidation, FindsWhatTheWholeFileCheckFindsWithLines) {
  kxtest::TempDir dir;
  struct Case {
    const char* what;
    size_t bytes;
    int faulty;
    size_t piece;
  } cases[] = {
      {"valid, small pieces", 1 << 16, -1, 7},
      {"valid, longer than the queue", 40u << 20, -1, 1 << 20},
      {"one fault deep in a long text", 40u << 20, 30000, 65536},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string text = LongKr(c.bytes, c.faulty);
    const std::vector<SchemaError> found = ValidateInPieces(text, c.piece);
    const fs::path file = dir.Write("kr.xml", text);
    const std::vector<SchemaError> whole = kx::jpk::ValidateJpkFile(file, kxtest::SharedDir() / "xsd");
    ASSERT_EQ(found.size(), whole.size());
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].line, whole[i].line);
      EXPECT_EQ(found[i].message, whole[i].message);
      EXPECT_EQ(found[i].path, "");
    }
    EXPECT_EQ(found.empty(), c.faulty < 0);
    if (c.faulty >= 0 && !found.empty()) {
      // The line of the fault itself, far past 65535 (where the whole-file
      // check once stopped counting).
      const size_t at = text.find("2024-13-45");
      const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
      EXPECT_GT(line, 65535);
      EXPECT_EQ(found[0].line, line);
    }
  }
}

TEST(StreamValidation, MissingSchemasFailAndADroppedCheckEnds) {
  StreamValidation missing("/brak-schematow", "JPK_KR(1)");
  missing.Add(LongKr(1 << 20, -1));  // never waits for a check that cannot run
  EXPECT_THROW(missing.Finish(), kx::Error);

  // Dropped halfway, with the queue full: the thread ends, nothing waits.
  const std::string text = LongKr(40u << 20, -1);
  StreamValidation dropped(kxtest::SharedDir() / "xsd", "JPK_KR(1)");
  dropped.Add(std::string_view(text).substr(0, 20u << 20));
}
