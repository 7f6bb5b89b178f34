#include "editor/line_breaks.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "jpk/files/jpkTools.h"
#include "platform/error.h"
#include "platform/file_faults.h"
#include "platform/temp_file.h"
#include "platform/xml/xml_document.h"

namespace kx::editor {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(Format("Nie można odczytać pliku %s", path.string().c_str()));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes the bytes; a failure names the user's file (target) and its reason.
void WriteBytes(const fs::path& path, const std::string& bytes, const std::string& target) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  int error = out ? 0 : errno;
  if (out && std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) error = errno;
  if (out && std::fflush(out) != 0 && !error) error = errno;
  if (out && std::fclose(out) != 0 && !error) error = errno;
  if (!error) error = FileFault(FileStep::Write);
  if (error) throw Error(Format("Nie można zapisać pliku %s: %s", target.c_str(), SystemErrorText(error).c_str()));
}

}  // namespace

std::string RemoveLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char previous = '\r';
  for (char c : text) {
    if (c == '\n' && previous == '\r') {
      previous = c;  // the second half of CR LF
      continue;
    }
    if (c == '\r' || c == '\n') {
      if (previous != ' ' && previous != '>') out += ' ';
      previous = c;
      continue;
    }
    out += c;
    previous = c;
  }
  return out;
}

CleanedFile CleanLineBreaksAndRead(const std::string& fileName, ui::UserPort& ui,
                                   const std::function<bool(const xml::XmlDocument&)>& accept) {
  // The file itself stays whole until the cleaned one replaces it in one
  // rename; its old bytes go to the backup as a copy first.
  const std::string bytes = ReadBytes(fileName);
  if (bytes.empty()) {
    jpk::CopyJpkFileToBackup(fileName, '_');
    ui.Show(ui::BoxKind::Information, "Brak danych do odczytu");
    return {CleanUp::Empty, std::nullopt};
  }
  const fs::path target(fileName);
  std::optional<TempFile> work;
  xml::XmlDocument document;
  try {
    work.emplace(target);
    WriteBytes(work->Path(), RemoveLineBreaks(bytes), fileName);
    try {
      document.LoadFromFile(work->Path());
    } catch (const Error&) {
      // The message names the user's file and its line.
      xml::XmlDocument::FromFile(target);
      throw;
    }
    if (accept && !accept(document)) return {CleanUp::Refused, std::nullopt};
    jpk::CopyJpkFileToBackup(fileName, '_');
    // Read once and written indented straight from memory.
    document.SaveFormatted(work->Path());
  } catch (const Error& e) {
    // A file that is no XML keeps its message; a failed write names the user's file.
    const std::string text = e.what();
    if (text.rfind("Nie można ", 0) != 0) throw;
    throw Error(Format("Nie można zapisać pliku %s: %s", fileName.c_str(), ErrorReason(e).c_str()));
  }
  // Nothing but the layout changed: the file keeps its former bytes.
  if (fs::file_size(work->Path()) == bytes.size()) return {CleanUp::Done, std::nullopt};
  std::error_code ec;
  fs::permissions(work->Path(), fs::status(target, ec).permissions(), ec);
  if (const int injected = FileFault(FileStep::Rename)) ec.assign(injected, std::generic_category());
  if (!ec) fs::rename(work->Path(), target, ec);
  if (ec) throw Error(Format("Nie można zapisać pliku %s: %s", fileName.c_str(), SystemErrorText(ec.value()).c_str()));
  if (document.DroppedDoctype()) return {CleanUp::Done, std::nullopt};
  return {CleanUp::Done, std::move(document)};
}

bool CleanLineBreaks(const std::string& fileName, ui::UserPort& ui) {
  return CleanLineBreaksAndRead(fileName, ui, {}).status == CleanUp::Done;
}

}  // namespace kx::editor
