// The converter's run: checks, loading with the prefix repair, the chosen
// conversion, and the output files moved into the folder at the very end.

#include <filesystem>
#include <vector>

#include "app/ramzes_document.h"
#include "convert/convert.h"
#include "jpk/files/jpkTools.h"
#include "platform/error.h"

namespace kx::convert {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDone = "Zakończono konwersję\rSprawdź wygenerowane dane";

const char* OutputName(OutputFormat format) {
  switch (format) {
    case OutputFormat::JpkV7M: return kOutputV7M;
    case OutputFormat::Buchalter: return kOutputBuchalter;
    case OutputFormat::Ramzes: return kOutputRamzes;
    case OutputFormat::Other: break;
  }
  return "";
}

// Loads a file of the kind, or fails with the binding's message and the
// wrong-structure line naming the chosen input format.
template <typename Load>
auto LoadInput(const std::string& file, const std::string& formatText, Load load) {
  try {
    return load(file);
  } catch (const Error& e) {
    // A file that is not well-formed XML is reported as it is.
    const std::string message = e.what();
    if (message.find("oczekiwano elementu JPK") == std::string::npos) throw;
    throw Error(message + "\nZła struktura pliku. Brak zgodności z " + formatText);
  }
}

}  // namespace

InputFormat InputFormatFromText(std::string_view text) {
  if (text == kInputFa) return InputFormat::JpkFa;
  if (text == kInputV7M) return InputFormat::JpkV7M;
  return InputFormat::Other;
}

OutputFormat OutputFormatFromText(std::string_view text) {
  if (text == kOutputV7M) return OutputFormat::JpkV7M;
  if (text == kOutputBuchalter) return OutputFormat::Buchalter;
  if (text == kOutputRamzes) return OutputFormat::Ramzes;
  return OutputFormat::Other;
}

std::string RunConversion(AppContext& ctx, ConverterState& state, const ConversionRequest& request) {
  if (request.inputFormat == request.outputFormat) {
    throw Error("Taki sam format danych źródłowych i wynikowych: " + request.inputFormat);
  }
  if (request.inputFile.empty()) throw Error("Nie wybrano pliku do konwersji");
  std::error_code ec;
  if (!fs::exists(request.inputFile, ec)) throw Error("Nie znaleziono pliku");
  RequireRegularFile(request.inputFile);

  const InputFormat input = InputFormatFromText(request.inputFormat);
  const OutputFormat output = OutputFormatFromText(request.outputFormat);
  if (output == OutputFormat::Other) return {};
  // Without a known input nothing could be converted; a file of the header
  // alone would not be a valid JPK file.
  if (input == InputFormat::Other) throw Error("Nieznany format danych źródłowych: " + request.inputFormat);
  if (output != OutputFormat::JpkV7M && input != InputFormat::JpkV7M) {
    throw Error(Format("Konwersja do formatu %s wymaga pliku JPK_V7M", OutputName(output)));
  }

  const fs::path folder = request.outputFolder.empty() ? fs::path(".") : fs::path(request.outputFolder);
  StagedFiles staged;
  std::vector<xml::XmlDocument> held;
  std::string done = kDone;
  if (input == InputFormat::JpkFa) {
    jpk::fa::IXMLJPKFA fa =
        LoadInput(request.inputFile, request.inputFormat, [](const std::string& f) { return jpk::fa::LoadJPKFA(f); });
    jpk::RepairFAPrefixes(ctx, fa, request.inputFile);
    jpk::v7m::IXMLJPK v7m = ConvertFaToV7M(ctx, state, fa);
    const fs::path target = folder / FaToV7MFileName(request.inputFile);
    jpk::SaveV7MFile(v7m, staged.Stage(target).string());
    held = {fa.Node().OwnerDocument(), v7m.Node().OwnerDocument()};
  } else {
    jpk::v7m::IXMLJPK v7m =
        LoadInput(request.inputFile, request.inputFormat, [](const std::string& f) { return jpk::v7m::LoadJPK(f); });
    jpk::RepairV7MPrefixes(ctx, v7m, request.inputFile);
    held = {v7m.Node().OwnerDocument()};
    if (output == OutputFormat::Buchalter) {
      ConvertV7MToBuchalter(ctx, v7m, folder, staged);
    } else {
      // Written record by record: the input is the only document held.
      RamzesFileOutput file(staged.Stage(folder / V7MToRamzesFileName(request.inputFile)));
      RamzesConversion ramzes = ConvertV7MToRamzes(v7m, file);
      file.Commit();
      if (ramzes.purchasesLeftOut > 0) {
        done += Format("\rPominięto wiersze zakupu (format Ramzes ich nie przyjmuje): %d", ramzes.purchasesLeftOut);
      }
    }
  }
  staged.Commit();
  if (request.keep) {
    for (xml::XmlDocument& document : held) request.keep(std::move(document));
  }
  return done;
}

}  // namespace kx::convert
