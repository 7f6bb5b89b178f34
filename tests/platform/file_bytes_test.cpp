#include "platform/file_bytes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/temp_dir.h"

TEST(FileBytes, MappedFileStaysReadableAfterItsPagesAreGivenBack) {
  kxtest::TempDir dir;
  std::string content;
  for (int i = 0; i < 100000; ++i) content += "rekord " + std::to_string(i) + "\n";
  auto file = dir.Write("tabela.db", content);
  kx::FileBytes bytes;
  ASSERT_EQ(bytes.Map(file), 0);
  EXPECT_EQ(bytes.View(), content);
  bytes.Release(0, bytes.size());
  bytes.Release(100, 5);  // an empty range changes nothing
  EXPECT_EQ(bytes.View(), content);

  // Moved, the mapping goes along; an empty file maps to no bytes.
  kx::FileBytes moved(std::move(bytes));
  EXPECT_EQ(moved.View().substr(0, 8), "rekord 0");
  ASSERT_EQ(moved.Map(dir.Write("pusta.db", "")), 0);
  EXPECT_TRUE(moved.empty());

  // A missing file: the error code, the bytes held before kept.
  kx::FileBytes held(std::string("abc"));
  EXPECT_EQ(held.Map(dir / "brak.db"), ENOENT);
  EXPECT_EQ(held.View(), "abc");
}
