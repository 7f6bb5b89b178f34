#include "platform/tables/table_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/tables/dbase_reader.h"
#include "platform/tables/field.h"
#include "platform/tables/paradox_reader.h"

namespace kx::tables {

namespace fs = std::filesystem;

namespace {

std::string LowerExtension(const fs::path& p) { return FoldFieldName(p.extension().string()); }

// The path itself when it exists, else the one entry of its folder whose name
// differs only in letter case (the first by name when several do).
std::optional<fs::path> FindIgnoringCase(const fs::path& p) {
  std::error_code ec;
  if (fs::exists(p, ec)) return p;
  fs::path folder = p.parent_path();
  if (folder.empty()) folder = ".";
  std::string wanted = FoldFieldName(p.filename().string());
  std::vector<fs::path> matches;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (FoldFieldName(it->path().filename().string()) == wanted) matches.push_back(it->path());
  }
  if (matches.empty()) return std::nullopt;
  std::sort(matches.begin(), matches.end());
  return p.parent_path().empty() ? matches.front().filename() : matches.front();
}

std::string OpenFailureReason(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return "brak uprawnień do odczytu pliku";
    case EBUSY:
    case ETXTBSY:
    case EAGAIN: return "plik jest zablokowany przez inny program";
    case EISDIR: return "to jest folder, a nie plik tabeli";
    default: return std::strerror(error);
  }
}

}  // namespace

std::optional<TableFile> LocateTableFile(const fs::path& name) {
  std::string ext = LowerExtension(name);
  if (ext == ".db" || ext == ".dbf") {
    auto found = FindIgnoringCase(name);
    if (!found) return std::nullopt;
    return TableFile{*found, ext == ".db" ? TableFormat::Paradox : TableFormat::Dbase};
  }
  for (auto [suffix, format] : {std::pair{".db", TableFormat::Paradox}, std::pair{".dbf", TableFormat::Dbase}}) {
    fs::path candidate = name;
    candidate += suffix;
    if (auto found = FindIgnoringCase(candidate)) return TableFile{*found, format};
  }
  return std::nullopt;
}

std::unique_ptr<TableSource> OpenTableFile(const fs::path& name, const OpenOptions& options) {
  auto found = LocateTableFile(name);
  if (!found) {
    std::string ext = LowerExtension(name);
    if (ext == ".db" || ext == ".dbf")
      throw kx::Error(kx::Format("Nie znaleziono pliku tabeli %s", name.string().c_str()));
    throw kx::Error(kx::Format("Nie znaleziono tabeli %s (brak pliku .db ani .dbf)", name.string().c_str()));
  }
  const std::string shown = found->path.string();
  std::error_code ec;
  if (fs::is_directory(found->path, ec)) {
    throw kx::Error(kx::Format("Nie można otworzyć tabeli %s: %s", shown.c_str(), OpenFailureReason(EISDIR).c_str()));
  }
  if (std::FILE* f = std::fopen(shown.c_str(), "rb")) {
    std::fclose(f);
  } else {
    int error = errno;
    throw kx::Error(kx::Format("Nie można otworzyć tabeli %s: %s", shown.c_str(), OpenFailureReason(error).c_str()));
  }
  try {
    if (found->format == TableFormat::Paradox) return OpenParadoxTable(found->path, options);
    return OpenDbaseTable(found->path, options);
  } catch (const kx::Error&) {
    throw;
  } catch (const std::exception& e) {
    throw kx::Error(kx::Format("Nie można odczytać tabeli %s: %s", shown.c_str(), e.what()));
  }
}

}  // namespace kx::tables
