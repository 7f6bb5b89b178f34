#include "editor/line_breaks.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "jpk/files/jpkTools.h"
#include "platform/error.h"
#include "platform/temp_file.h"
#include "platform/xml/pretty_print.h"
#include "platform/xml/xml_document.h"

namespace kx::editor {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(Format("Nie można odczytać pliku %s", path.string().c_str()));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  if (!out) throw Error(Format("Nie można zapisać pliku %s", path.string().c_str()));
}

// Rename, or copy and delete when the two names lie on different file systems.
void MoveFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    throw Error(Format("Nie można przenieść pliku %s do %s: %s", from.string().c_str(), to.string().c_str(),
                       ec.message().c_str()));
  }
  fs::remove(from, ec);
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

bool CleanLineBreaks(const std::string& fileName, const fs::path& workingDir, ui::UserPort& ui) {
  std::string backup = jpk::BackupJpkFile(fileName, '_');
  std::optional<TempFile> working;
  try {
    working.emplace(workingDir, kCleanTempPrefix, ".xml");
  } catch (...) {
    MoveFile(backup, fileName);
    throw;
  }
  const fs::path temp = working->Path();
  std::error_code ec;
  fs::copy_file(backup, temp, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    // Nothing was rewritten yet: the file goes back where it was.
    MoveFile(backup, fileName);
    throw Error(
        Format("Nie można skopiować pliku %s do %s: %s", backup.c_str(), temp.string().c_str(), ec.message().c_str()));
  }
  try {
    std::string bytes = ReadBytes(temp);
    if (bytes.empty()) {
      ui.Show(ui::BoxKind::Information, "Brak danych do odczytu");
      MoveFile(temp, fileName);
      return false;
    }
    WriteBytes(fileName, RemoveLineBreaks(bytes));
    xml::XmlDocument document;
    document.SetVersion("1.0");
    document.LoadFromFile(fileName);
    document.SetXml(xml::PrettyPrintXml(document.Xml()));
    document.SetEncoding("UTF-8");
    document.SaveToFile(fileName);
    if (fs::file_size(fileName) == fs::file_size(temp)) {
      // Nothing but the layout changed: the file keeps its former bytes.
      MoveFile(temp, fileName);
    } else {
      fs::remove(temp, ec);
    }
  } catch (...) {
    // The file keeps its former bytes; the failure goes on.
    std::error_code ignored;
    if (fs::exists(temp, ignored)) MoveFile(temp, fileName);
    throw;
  }
  return true;
}

}  // namespace kx::editor
