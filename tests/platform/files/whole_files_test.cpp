// Files written whole: a text file replaced in one step, and the several
// output files of one job moved into place together or not at all.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/file_faults.h"
#include "platform/temp_file.h"
#include "support/temp_dir.h"

using kxtest::ReadFile;
using kxtest::TempDir;
namespace fs = std::filesystem;

namespace {

// Everything in the folder, by name.
std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct FaultHook {
  explicit FaultHook(kx::FileStep failing) {
    kx::SetFileFaultHook([failing](kx::FileStep step) { return step == failing ? ENOSPC : 0; });
  }
  ~FaultHook() { kx::SetFileFaultHook({}); }
};

}  // namespace

TEST(ReplaceFileWhole, WritesTheBytesAndKeepsTheOldModeOrGivesTheUsualOne) {
  TempDir dir;
  kx::ReplaceFileWhole(dir / "nowy.txt", std::string("a\r\nb\0c", 6));
  EXPECT_EQ(ReadFile(dir / "nowy.txt"), std::string("a\r\nb\0c", 6));
  // A new file gets the mode any new file of the user gets, not the private 0600.
  const fs::path plain = dir.Write("zwykly.txt", "x");
  EXPECT_EQ(fs::status(dir / "nowy.txt").permissions(), fs::status(plain).permissions());
  // A replaced file keeps its own mode.
  fs::permissions(dir / "nowy.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  kx::ReplaceFileWhole(dir / "nowy.txt", "drugi");
  EXPECT_EQ(ReadFile(dir / "nowy.txt"), "drugi");
  EXPECT_EQ(fs::status(dir / "nowy.txt").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"nowy.txt", "zwykly.txt"}));
}

TEST(ReplaceFileWhole, AFailedStepLeavesTheOldFileWhole) {
  for (kx::FileStep step : {kx::FileStep::Write, kx::FileStep::Rename}) {
    TempDir dir;
    dir.Write("plik.txt", "stara treść");
    FaultHook fault(step);
    try {
      kx::ReplaceFileWhole(dir / "plik.txt", "nowa treść");
      ADD_FAILURE() << "no failure";
    } catch (const kx::Error& e) {
      EXPECT_NE(std::string(e.what()).find("Nie można zapisać pliku " + (dir / "plik.txt").string()), std::string::npos)
          << e.what();
    }
    EXPECT_EQ(ReadFile(dir / "plik.txt"), "stara treść");
    EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"plik.txt"});
  }
}

TEST(StagedFiles, MovesEveryFileInPlaceOnlyOnCommit) {
  TempDir dir;
  dir.Write("b.dbf", "stara");
  {
    kx::StagedFiles staged;
    for (const char* name : {"a.dbf", "b.dbf"}) {
      std::ofstream(staged.Stage(dir / name)) << "nowa " << name;
    }
    // Until the commit the outputs are private, hidden files.
    EXPECT_EQ(ReadFile(dir / "b.dbf"), "stara");
    EXPECT_FALSE(fs::exists(dir / "a.dbf"));
    staged.Commit();
  }
  EXPECT_EQ(ReadFile(dir / "a.dbf"), "nowa a.dbf");
  EXPECT_EQ(ReadFile(dir / "b.dbf"), "nowa b.dbf");
  EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"a.dbf", "b.dbf"}));
  EXPECT_EQ(fs::status(dir / "a.dbf").permissions(), fs::status(dir.Write("c", "")).permissions());
}

TEST(StagedFiles, WithoutCommitNothingIsLeft) {
  TempDir dir;
  dir.Write("b.dbf", "stara");
  {
    kx::StagedFiles staged;
    std::ofstream(staged.Stage(dir / "a.dbf")) << "nowa";
    std::ofstream(staged.Stage(dir / "b.dbf")) << "nowa";
  }
  EXPECT_EQ(ReadFile(dir / "b.dbf"), "stara");
  EXPECT_EQ(Listing(dir.Path()), std::vector<std::string>{"b.dbf"});
  // A folder that cannot take files is named.
  EXPECT_THROW(
      {
        kx::StagedFiles staged;
        staged.Stage(dir / "brak" / "a.dbf");
      },
      kx::Error);
  EXPECT_THROW(kx::RequireWritableFolder(dir / "brak"), kx::Error);
}
