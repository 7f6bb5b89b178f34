#include "platform/temp_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/error.h"
#include "platform/file_faults.h"

namespace kx {
namespace {

// A fixed table the signal handler can read without allocating.
constexpr size_t kSlots = 32;
constexpr size_t kPathSize = 4096;
struct Slot {
  std::atomic<bool> claimed{false};  // taken by a registration
  std::atomic<bool> used{false};     // the path is complete
  char path[kPathSize];
};
std::array<Slot, kSlots> g_slots;

void RemoveRegistered() {
  for (Slot& slot : g_slots) {
    if (slot.used.load()) ::unlink(slot.path);
  }
}

void OnSignal(int) {
  RemoveRegistered();
  static const char kMessage[] = "Przerwano: program zakończony sygnałem\n";
  [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  ::_exit(1);
}

// A fault inside a library (libxml2 may crash when memory runs out): the
// unfinished files go, the files being replaced were never touched.
void OnFault(int) {
  RemoveRegistered();
  static const char kMessage[] =
      "Błąd krytyczny programu (najczęściej brak pamięci). Niedokończone pliki robocze usunięto; pliki "
      "zastępowane w całości pozostały w poprzedniej postaci.\n";
  [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  ::_exit(1);
}

}  // namespace

void RegisterPrivateFile(const std::filesystem::path& path) {
  const std::string text = path.string();
  if (text.size() >= kPathSize) return;
  for (Slot& slot : g_slots) {
    bool expected = false;
    if (slot.claimed.compare_exchange_strong(expected, true)) {
      std::memcpy(slot.path, text.c_str(), text.size() + 1);
      slot.used.store(true);
      return;
    }
  }
}

void UnregisterPrivateFile(const std::filesystem::path& path) {
  const std::string text = path.string();
  for (Slot& slot : g_slots) {
    if (slot.used.load() && text == slot.path) {
      slot.used.store(false);
      slot.claimed.store(false);
      return;
    }
  }
}

void RemovePrivateFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
  struct sigaction fault {};
  fault.sa_handler = OnFault;
  sigemptyset(&fault.sa_mask);
  fault.sa_flags = SA_RESETHAND;
  for (int sig : {SIGSEGV, SIGBUS}) ::sigaction(sig, &fault, nullptr);
}

TempFile::TempFile(const std::filesystem::path& folder, std::string_view prefix, std::string_view suffix) {
  std::string pattern = (folder / (std::string(prefix) + "XXXXXX" + std::string(suffix))).string();
  // mkstemps creates the file with O_EXCL: an existing name, a link among them, is never used.
  const int injected = FileFault(FileStep::Create);
  const int fd = injected ? -1 : mkstemps(pattern.data(), static_cast<int>(suffix.size()));
  if (fd < 0) {
    throw Error(Format("Nie można utworzyć pliku roboczego w folderze %s: %s", folder.string().c_str(),
                       SystemErrorText(injected ? injected : errno).c_str()));
  }
  ::close(fd);
  m_path = pattern;
  RegisterPrivateFile(m_path);
}

TempFile::TempFile(const std::filesystem::path& target)
    : TempFile(target.has_parent_path() ? target.parent_path() : std::filesystem::path("."),
               "." + target.filename().string() + ".", ".tmp") {}

TempFile::~TempFile() {
  std::error_code ignored;
  std::filesystem::remove(m_path, ignored);
  UnregisterPrivateFile(m_path);
}

void GiveFinalMode(const std::filesystem::path& work, const std::filesystem::path& target) {
  struct stat old;
  mode_t mode = 0;
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::chmod(work.c_str(), mode);
}

StagedFiles::~StagedFiles() = default;

std::filesystem::path StagedFiles::Stage(const std::filesystem::path& target) {
  m_entries.push_back({target, std::make_unique<TempFile>(target)});
  return m_entries.back().work->Path();
}

void StagedFiles::Commit() {
  for (Entry& e : m_entries) {
    std::error_code ec;
    if (const int injected = FileFault(FileStep::Rename)) ec.assign(injected, std::generic_category());
    if (!ec) {
      GiveFinalMode(e.work->Path(), e.target);
      std::filesystem::rename(e.work->Path(), e.target, ec);
    }
    if (ec) {
      throw Error(
          Format("Nie można zapisać pliku %s: %s", e.target.string().c_str(), SystemErrorText(ec.value()).c_str()));
    }
  }
  m_entries.clear();
}

void ReplaceFileWhole(const std::filesystem::path& target, std::string_view bytes) {
  try {
    TempFile work(target);
    std::error_code ec;
    {
      std::ofstream out(work.Path(), std::ios::binary | std::ios::trunc);
      if (const int injected = FileFault(FileStep::Write)) ec.assign(injected, std::generic_category());
      if (!ec) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      if (!ec) out.flush();
      if (!ec && !out) ec.assign(errno != 0 ? errno : EIO, std::generic_category());
    }
    if (!ec) {
      if (const int injected = FileFault(FileStep::Rename)) ec.assign(injected, std::generic_category());
    }
    if (!ec) {
      GiveFinalMode(work.Path(), target);
      std::filesystem::rename(work.Path(), target, ec);
    }
    if (ec) throw Error(SystemErrorText(ec.value()));
  } catch (const Error& e) {
    throw Error(Format("Nie można zapisać pliku %s: %s", target.string().c_str(), ErrorReason(e).c_str()));
  }
}

void RequireWritableFolder(const std::filesystem::path& folder) {
  const std::filesystem::path dir = folder.empty() ? std::filesystem::path(".") : folder;
  if (::access(dir.c_str(), W_OK | X_OK) != 0) {
    throw Error(
        Format("Nie można utworzyć pliku w folderze %s: %s", dir.string().c_str(), SystemErrorText(errno).c_str()));
  }
}

}  // namespace kx
