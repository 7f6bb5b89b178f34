// kx2jpk-cli check: the schema and the rules over a JPK file before it is
// sent, each finding with its severity, place and element.

#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>

#include "cli/cli_env.h"
#include "editor/declaration_check.h"
#include "jpk/check/finding.h"
#include "platform/error.h"

namespace kx::cli {
namespace {

using jpk::check::Finding;
using jpk::check::Severity;

struct CheckOptions {
  std::string file;
  std::string schemas;
  std::string format = "text";
};

// "błąd: sprzedaż, Lp 3, NrKSeF: …"
std::string TextLine(const Finding& f) {
  std::string line = std::string(jpk::check::SeverityText(f.severity)) + ": " + f.section;
  if (f.lp > 0) line += ", Lp " + std::to_string(f.lp);
  if (!f.element.empty()) line += ", " + f.element;
  return line + ": " + f.message;
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += Format("\\u%04x", c);
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void PrintJson(std::ostream& out, const std::vector<Finding>& findings) {
  out << "[";
  for (size_t i = 0; i < findings.size(); ++i) {
    const Finding& f = findings[i];
    out << (i ? ",\n " : "\n ") << "{\"poziom\": " << JsonString(jpk::check::SeverityText(f.severity))
        << ", \"sekcja\": " << JsonString(f.section) << ", \"lp\": " << f.lp
        << ", \"element\": " << JsonString(f.element) << ", \"komunikat\": " << JsonString(f.message) << "}";
  }
  out << (findings.empty() ? "]\n" : "\n]\n");
}

void PrintText(std::ostream& out, const std::string& file, const std::vector<Finding>& findings) {
  int counts[3] = {0, 0, 0};
  for (const Finding& f : findings) {
    out << TextLine(f) << "\n";
    ++counts[static_cast<int>(f.severity)];
  }
  if (findings.empty()) {
    out << "Plik " << file << ": bez uwag\n";
  } else {
    out << "Plik " << file << ": błędów " << counts[0] << ", ostrzeżeń " << counts[1] << ", informacji " << counts[2]
        << "\n";
  }
}

void Check(CliEnv& env, const CheckOptions& o) {
  std::vector<Finding> findings = editor::CheckJpkFileWithDeclaration(o.file, SchemaFolder(env, o.schemas));
  if (o.format == "json") {
    PrintJson(env.Out(), findings);
  } else {
    PrintText(env.Out(), o.file, findings);
  }
  env.exitCode = jpk::check::HasError(findings) ? 1 : 0;
}

}  // namespace

void AddCheckCommand(CLI::App& app, CliEnv& env) {
  auto options = std::make_shared<CheckOptions>();
  auto* c = app.add_subcommand(
      "check", "Sprawdź plik JPK (JPK_V7M, JPK_FA, JPK_MAG, JPK_KR) ze schematem XSD i z regułami przed wysłaniem");
  c->add_option("PLIK", options->file, "Plik JPK")->required();
  c->add_option("--schemas", options->schemas, "Folder schematów XSD z plikiem catalog.xml");
  c->add_option("--format", options->format, "Postać wyniku: text (wiersze) albo json (lista)")
      ->check(CLI::IsMember({"text", "json"}));
  c->footer(
      "Kod wyjścia: 0 gdy nie ma błędów (ostrzeżenia i informacje nie są błędami), 1 gdy jest błąd, "
      "2 przy błędnym wywołaniu.");
  c->callback([&env, options] { Check(env, *options); });
}

}  // namespace kx::cli
