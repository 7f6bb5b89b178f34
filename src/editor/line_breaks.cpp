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

bool CleanLineBreaks(const std::string& fileName, ui::UserPort& ui) {
  // The old bytes go to the backup as a copy: the file itself stays whole
  // until the cleaned one replaces it in one rename.
  const std::string bytes = ReadBytes(fileName);
  jpk::CopyJpkFileToBackup(fileName, '_');
  if (bytes.empty()) {
    ui.Show(ui::BoxKind::Information, "Brak danych do odczytu");
    return false;
  }
  const fs::path target(fileName);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  TempFile work(folder, "." + target.filename().string() + ".", ".tmp");
  WriteBytes(work.Path(), RemoveLineBreaks(bytes));
  xml::XmlDocument document;
  document.SetVersion("1.0");
  document.LoadFromFile(work.Path());
  document.SetXml(xml::PrettyPrintXml(document.Xml()));
  document.SetEncoding("UTF-8");
  document.SaveToFile(work.Path());
  // Nothing but the layout changed: the file keeps its former bytes.
  if (fs::file_size(work.Path()) == bytes.size()) return true;
  std::error_code ec;
  fs::permissions(work.Path(), fs::status(target, ec).permissions(), ec);
  fs::rename(work.Path(), target, ec);
  if (ec) throw Error(Format("Nie można zapisać pliku %s: %s", fileName.c_str(), ec.message().c_str()));
  return true;
}

}  // namespace kx::editor
