// kx2jpk-cli replacing a JPK_V7M file under stress: killed at random moments,
// two runs on one file at once, a disk too small for the new file. The old
// file stays whole until the new one replaces it; private files never stay
// behind (except after SIGKILL, which cannot be caught).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/statvfs.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/v7m_fixture.h"
#include "support/jpk_schema.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"

using kxtest::Purchase;
using kxtest::PurchaseCtrl;
using kxtest::ReadFile;
using kxtest::Sale;
using kxtest::SaleCtrl;
using kxtest::V7MFile;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr const char* kBig = "big.xml";
constexpr unsigned kSeed = 20260302;
constexpr int kKillRounds = 24;
constexpr int kConcurrentRounds = 5;

std::string Pair(int net, const std::string& netValue, const std::string& taxValue) {
  return "<K_" + std::to_string(net) + ">" + netValue + "</K_" + std::to_string(net) + "><K_" +
         std::to_string(net + 1) + ">" + taxValue + "</K_" + std::to_string(net + 1) + ">";
}

// A month of `sales` records, every one numbered 7 and the control sums
// wrong, so that recalc rewrites the whole file.
std::string WronglyNumbered(int sales) {
  std::string records;
  records.reserve(static_cast<size_t>(sales) * 400);
  for (int i = 0; i < sales; ++i) {
    records += Sale(7, Pair(19, std::to_string(100 + i % 900), std::to_string(23 + i % 200) + ".5"));
  }
  return V7MFile(records + SaleCtrl(1, "0") + Purchase(3, Pair(42, "400", "92")) + PurchaseCtrl(1, "0"));
}

// The creation time is set on every save; the rest of a result is exact.
std::string WithoutCreationTime(std::string text) {
  const std::string open = "<DataWytworzeniaJPK>", close = "</DataWytworzeniaJPK>";
  size_t from = text.find(open);
  size_t to = from == std::string::npos ? std::string::npos : text.find(close, from);
  if (to != std::string::npos) text.replace(from + open.size(), to - from - open.size(), "*");
  return text;
}

bool IsPrivateName(const std::string& name) {
  const bool dotTmp = name.size() > 5 && name[0] == '.' && name.compare(name.size() - 4, 4, ".tmp") == 0;
  return dotTmp || name.rfind("_tmp_V7M", 0) == 0;
}

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

// One run of the real program, started without waiting for it.
class Child {
 public:
  // memoryLimit: a cap on the address space in bytes (0: none), as `ulimit -v` sets.
  Child(const std::vector<std::string>& args, const fs::path& workingDir, const fs::path& outPath,
        const fs::path& errPath, rlim_t memoryLimit = 0)
      : m_err(errPath) {
    m_start = Clock::now();
    m_pid = fork();
    if (m_pid < 0) throw std::runtime_error("fork failed");
    if (m_pid == 0) {
      if (chdir(workingDir.c_str()) != 0) _exit(127);
      int in = open("/dev/null", O_RDONLY);
      int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      if (memoryLimit > 0) {
        struct rlimit limit {
          memoryLimit, memoryLimit
        };
        setrlimit(RLIMIT_AS, &limit);
      }
      std::string exe = kxtest::CliPath().string();
      std::vector<std::string> copy = args;
      std::vector<char*> argv{exe.data()};
      for (auto& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(exe.c_str(), argv.data());
      _exit(127);
    }
  }
  ~Child() {
    if (m_pid > 0 && !m_reaped) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void Signal(int sig) const { ::kill(m_pid, sig); }

  // Waits at most `limit`; a run still going then is killed and reported as
  // hung (false).
  bool Wait(Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    while (true) {
      int status = 0;
      pid_t done = ::waitpid(m_pid, &status, WNOHANG);
      if (done == m_pid) {
        m_status = status;
        m_reaped = true;
        m_elapsed = Clock::now() - m_start;
        return true;
      }
      if (Clock::now() >= deadline) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_reaped = true;
        return false;
      }
      std::this_thread::sleep_for(milliseconds(2));
    }
  }

  bool Exited(int code) const { return WIFEXITED(m_status) && WEXITSTATUS(m_status) == code; }
  bool KilledBy(int sig) const { return WIFSIGNALED(m_status) && WTERMSIG(m_status) == sig; }
  std::string Status() const {
    if (WIFEXITED(m_status)) return "exit " + std::to_string(WEXITSTATUS(m_status));
    if (WIFSIGNALED(m_status)) return std::string("signal ") + strsignal(WTERMSIG(m_status));
    return "?";
  }
  std::string Err() const { return ReadFile(m_err); }
  Clock::duration Elapsed() const { return m_elapsed; }

 private:
  pid_t m_pid = -1;
  fs::path m_err;
  Clock::time_point m_start;
  Clock::duration m_elapsed{};
  int m_status = 0;
  bool m_reaped = false;
};

// A generous bound against hangs, never a measure of speed.
Clock::duration HangLimit(Clock::duration undisturbed) {
  return std::max<Clock::duration>(std::chrono::seconds(120), undisturbed * 30);
}

// The large file and the result of one undisturbed recalc of it.
struct BigFile {
  std::string original;
  std::string result;
  Clock::duration duration{};
};

const BigFile& Big() {
  static const BigFile big = [] {
    BigFile b;
    b.original = WronglyNumbered(20000);
    kxtest::TempDir dir, capture;
    dir.Write(kBig, b.original);
    EXPECT_EQ(kxtest::SchemaErrors(dir / kBig), "");
    Child run({"v7m", "recalc", kBig}, dir.Path(), capture / "out", capture / "err");
    if (!run.Wait(std::chrono::minutes(10)) || !run.Exited(0)) {
      ADD_FAILURE() << "undisturbed recalc: " << run.Status() << " " << run.Err();
      return b;
    }
    b.duration = run.Elapsed();
    b.result = ReadFile(dir / kBig);
    EXPECT_EQ(kxtest::SchemaErrors(dir / kBig), "");
    return b;
  }();
  return big;
}

}  // namespace

// Killed at a random moment of the run, alternately with SIGTERM and SIGKILL:
// the file is the old one or the new one, always whole.
TEST(SaveSafety, KilledRecalcLeavesTheOldOrTheNewFile) {
  const BigFile& big = Big();
  ASSERT_FALSE(big.result.empty());
  ASSERT_NE(big.result, big.original);
  ASSERT_NE(big.result.find("<LpSprzedazy>20000</LpSprzedazy>"), std::string::npos);
  ASSERT_NE(big.result.find("<LiczbaWierszySprzedazy>20000</LiczbaWierszySprzedazy>"), std::string::npos);
  const std::string expected = WithoutCreationTime(big.result);
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(big.duration).count();

  kxtest::TempDir dir, capture;
  std::mt19937 random(kSeed);
  std::uniform_int_distribution<long long> delays(0, micros);
  int keptOld = 0, replaced = 0;
  for (int round = 0; round < kKillRounds; ++round) {
    const int sig = round % 2 == 0 ? SIGTERM : SIGKILL;
    const long long delay = delays(random);
    const std::string where = "seed " + std::to_string(kSeed) + ", round " + std::to_string(round) + " (" +
                              strsignal(sig) + " after " + std::to_string(delay / 1000) + " ms of " +
                              std::to_string(micros / 1000) + " ms)";
    dir.Write(kBig, big.original);

    Child run({"v7m", "recalc", kBig}, dir.Path(), capture / "out", capture / "err");
    std::this_thread::sleep_for(std::chrono::microseconds(delay));
    run.Signal(sig);
    ASSERT_TRUE(run.Wait(HangLimit(big.duration))) << where << ": did not end";
    // Done before the signal, ended by it, or (SIGTERM) cleaned up and exit 1.
    EXPECT_TRUE(run.Exited(0) || run.KilledBy(sig) || (sig == SIGTERM && run.Exited(1)))
        << where << ": " << run.Status() << " " << run.Err();

    const std::string now = ReadFile(dir / kBig);
    if (now == big.original) {
      ++keptOld;
    } else {
      ++replaced;
      ASSERT_EQ(WithoutCreationTime(now), expected)
          << where << ": the file is neither the old one nor the finished result (" << now.size() << " of "
          << big.result.size() << " bytes)";
    }

    std::vector<std::string> left = Entries(dir.Path());
    left.erase(std::remove(left.begin(), left.end(), kBig), left.end());
    if (sig == SIGTERM) {
      EXPECT_TRUE(left.empty()) << where << ": left behind: " << Joined(left);
    }
    for (const auto& name : left) {
      EXPECT_TRUE(IsPrivateName(name)) << where << ": unexpected file " << name;
      fs::remove_all(dir / name);
    }
  }
  std::cout << "[ info     ] seed " << kSeed << ", " << kKillRounds << " rounds over " << micros / 1000
            << " ms: old file kept " << keptOld << ", replaced " << replaced << "\n";
}

// Two recalcs of one file at once: one whole result, no crash, nothing left.
TEST(SaveSafety, TwoRecalcsOfOneFileAtOnce) {
  const BigFile& big = Big();
  ASSERT_FALSE(big.result.empty());
  const std::string expected = WithoutCreationTime(big.result);

  kxtest::TempDir dir, capture;
  for (int round = 0; round < kConcurrentRounds; ++round) {
    dir.Write(kBig, big.original);
    Child a({"v7m", "recalc", kBig}, dir.Path(), capture / "out_a", capture / "err_a");
    Child b({"v7m", "recalc", kBig}, dir.Path(), capture / "out_b", capture / "err_b");
    ASSERT_TRUE(a.Wait(HangLimit(big.duration))) << "round " << round << ": first run did not end";
    ASSERT_TRUE(b.Wait(HangLimit(big.duration))) << "round " << round << ": second run did not end";
    int failed = 0;
    for (const Child* run : {&a, &b}) {
      if (run->Exited(1)) {
        ++failed;
        EXPECT_FALSE(run->Err().empty()) << "round " << round << ": exit 1 without a message";
      } else {
        EXPECT_TRUE(run->Exited(0)) << "round " << round << ": " << run->Status() << " " << run->Err();
      }
    }
    EXPECT_LE(failed, 1) << "round " << round << ": " << a.Err() << " / " << b.Err();
    EXPECT_EQ(WithoutCreationTime(ReadFile(dir / kBig)), expected) << "round " << round;
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{kBig}) << "round " << round;
  }
}

// A disk with no room for the new file: exit 1 naming the file and the
// reason, the old file untouched, no output file, nothing left behind; with
// the working folder on that disk and elsewhere.
TEST(SaveSafety, FullDiskLeavesEverythingAsItWas) {
  kxtest::TempDir dir, capture;
  const fs::path disk = dir / "disk";
  fs::create_directory(disk);
  const std::string mount = "mount -t tmpfs -o size=2m tmpfs '" + disk.string() + "' 2>/dev/null";
  if (std::system(mount.c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a 2 MB tmpfs on " << disk << " (needs root and the mount command)";
  }
  struct Unmount {
    fs::path at;
    ~Unmount() {
      if (std::system(("umount '" + at.string() + "' 2>/dev/null").c_str()) != 0) {
        [[maybe_unused]] int ignored = std::system(("umount -l '" + at.string() + "'").c_str());
      }
    }
  } unmount{disk};

  const std::string month = WronglyNumbered(1500);  // about a quarter of the disk
  const auto freeBytes = [&disk] {
    struct statvfs s {};
    return statvfs(disk.c_str(), &s) == 0 ? static_cast<long long>(s.f_bavail) * s.f_frsize : -1LL;
  };
  ASSERT_LT(month.size() * 3, static_cast<size_t>(freeBytes()));
  dir.Write("luty.xml", month);
  EXPECT_EQ(kxtest::SchemaErrors(dir / "luty.xml"), "");
  fs::remove(dir / "luty.xml");

  // The month, then a filler leaving a quarter of the month's size free.
  const auto prepare = [&] {
    for (const auto& e : fs::directory_iterator(disk)) fs::remove_all(e.path());
    dir.Write("disk/luty.xml", month);
    int fd = open((disk / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(1 << 16, 'x');
    long long written = 0;
    for (ssize_t n; (n = write(fd, block.data(), block.size())) > 0;) written += n;
    ASSERT_EQ(ftruncate(fd, written - static_cast<long long>(month.size() / 4)), 0);
    close(fd);
    ASSERT_EQ(ReadFile(disk / "luty.xml"), month);
    ASSERT_LT(freeBytes(), static_cast<long long>(month.size()));
  };

  struct Case {
    const char* what;
    bool workOnDisk;  // the working folder is the small disk
    bool toOther;
  } cases[] = {
      {"in place, working folder on the disk", true, false},
      {"-o, working folder on the disk", true, true},
      {"in place, working folder elsewhere", false, false},
      {"-o, working folder elsewhere", false, true},
  };
  for (const Case& c : cases) {
    prepare();
    if (HasFatalFailure()) return;
    const fs::path workingDir = c.workOnDisk ? disk : dir.Path();
    const std::string prefix = c.workOnDisk ? "" : "disk/";
    std::vector<std::string> args{"v7m", "recalc", prefix + "luty.xml"};
    if (c.toOther) args.insert(args.end(), {"-o", prefix + "inny.xml"});

    Child run(args, workingDir, capture / "out", capture / "err");
    ASSERT_TRUE(run.Wait(std::chrono::minutes(2))) << c.what << ": did not end";
    const std::string err = run.Err();
    EXPECT_TRUE(run.Exited(1)) << c.what << ": " << run.Status() << " " << err;
    const bool named =
        err.find("luty.xml") != std::string::npos || (c.toOther && err.find("inny.xml") != std::string::npos);
    EXPECT_TRUE(named) << c.what << ": " << err;
    EXPECT_NE(err.find("brak miejsca na dysku"), std::string::npos) << c.what << ": " << err;
    EXPECT_EQ(ReadFile(disk / "luty.xml"), month) << c.what;
    EXPECT_FALSE(fs::exists(disk / "inny.xml")) << c.what;
    EXPECT_EQ(Entries(disk), (std::vector<std::string>{"filler", "luty.xml"})) << c.what;
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"disk"}) << c.what;
  }
}

// Under a memory cap the command fails with a Polish message or succeeds:
// never a crash, the file old or new and whole, nothing private left.
TEST(SaveSafety, MemoryCapGivesAMessageNotACrash) {
#if defined(__SANITIZE_ADDRESS__)
  // The address sanitizer reserves far more address space than any cap.
  GTEST_SKIP() << "address-space caps cannot be tested under the address sanitizer";
#endif
  const BigFile& big = Big();
  ASSERT_FALSE(big.result.empty());
  kxtest::TempDir capture;
  for (rlim_t megabytes : {60, 100, 140, 180, 200, 220, 260, 300, 400}) {
    SCOPED_TRACE(std::to_string(megabytes) + " MB");
    kxtest::TempDir dir;
    dir.Write(kBig, big.original);
    Child run({"v7m", "recalc", kBig}, dir.Path(), capture / "out", capture / "err", megabytes << 20);
    ASSERT_TRUE(run.Wait(HangLimit(big.duration)));
    EXPECT_TRUE(run.Exited(0) || run.Exited(1)) << run.Status() << " " << run.Err();
    if (run.Exited(1)) {
      const std::string err = run.Err();
      EXPECT_TRUE(err.rfind("Nie ", 0) == 0 || err.rfind("Błąd", 0) == 0) << err;
    }
    const std::string now = ReadFile(dir / kBig);
    EXPECT_TRUE(now == big.original || WithoutCreationTime(now) == WithoutCreationTime(big.result))
        << run.Status() << " " << run.Err() << " size " << now.size() << " of " << big.original.size() << " / "
        << big.result.size();
    EXPECT_EQ(Joined(Entries(dir.Path())), kBig);
  }
}
