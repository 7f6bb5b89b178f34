#pragma once
// A private working file for the length of one operation: created
// exclusively under a unique name (a link of that name is never followed, a
// file of another run never touched), removed when the object goes unless it
// was moved away meanwhile.

#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace kx {

class TempFile {
 public:
  // In folder, named prefix + six random characters + suffix. Fails with
  // kx::Error naming the folder.
  TempFile(const std::filesystem::path& folder, std::string_view prefix, std::string_view suffix);
  // The private file of a write that replaces target: beside it, hidden,
  // ".NAME.XXXXXX.tmp", so the final rename stays on one file system.
  explicit TempFile(const std::filesystem::path& target);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

// Writes the bytes as the whole new content of target: into the private
// file beside it, renamed over it only when complete, so an older file stays
// whole after any failure. Fails with kx::Error "Nie można zapisać pliku …".
void ReplaceFileWhole(const std::filesystem::path& target, std::string_view bytes);

// Gives the private file of a write the mode of the file it replaces (a new
// one: the usual mode of a new file).
void GiveFinalMode(const std::filesystem::path& work, const std::filesystem::path& target);

// The output files of one job, written first as private files beside their
// targets and moved into place together by Commit, when the whole job has
// succeeded; without Commit (a failure) they are removed and the targets stay
// as they were.
class StagedFiles {
 public:
  StagedFiles() = default;
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  // The private file to write in place of target (created empty). Fails with
  // kx::Error naming the target's folder.
  std::filesystem::path Stage(const std::filesystem::path& target);
  // Renames every staged file over its target, in the order staged; the
  // finished files get the usual mode of a new file (or the replaced one's).
  // Fails with kx::Error "Nie można zapisać pliku …".
  void Commit();

 private:
  struct Entry {
    std::filesystem::path target;
    std::unique_ptr<TempFile> work;
  };
  std::vector<Entry> m_entries;
};

// Fails with kx::Error naming the folder when no file can be created in it.
void RequireWritableFolder(const std::filesystem::path& folder);

// Private files being written (the temporary files of atomic saves too) are
// registered, so that a signal that ends the program removes them. Registering
// copies the path; both calls are cheap.
void RegisterPrivateFile(const std::filesystem::path& path);
void UnregisterPrivateFile(const std::filesystem::path& path);

// Installs handlers for SIGTERM, SIGINT and SIGHUP that remove the registered
// files, write "Przerwano: program zakończony sygnałem" to standard error and
// end the program with exit code 1. The old files stay whole: nothing is
// renamed over them before a write is finished. A crash (SIGSEGV, SIGBUS)
// removes them too, with a Polish message, exit code 1.
void RemovePrivateFilesOnSignals();

}  // namespace kx
