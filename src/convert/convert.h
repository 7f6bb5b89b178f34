#pragma once
// The converter: an existing JPK file into another format. A JPK_FA(4) file
// into JPK_V7M(3) records, a JPK_V7M(3) file into the four dBase import
// tables of the Buchalter accounting program or into a Ramzes import file.
//
// Every conversion writes its files through StagedFiles: nothing in the
// output folder is created or changed until the whole conversion has
// succeeded (RunConversion commits at the end).

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "app/app_context.h"
#include "app/ramzes_document.h"
#include "jpk/model/Schemat_JPK_FA4_v10.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "platform/temp_file.h"
#include "platform/xml/xml_document.h"

namespace kx::convert {

// The formats, by the exact texts of the dialog's boxes.
enum class InputFormat { Other, JpkFa, JpkV7M };
enum class OutputFormat { Other, JpkV7M, Buchalter, Ramzes };
inline constexpr const char* kInputFa = "JPK_FA (4)";
inline constexpr const char* kInputV7M = "JPK_V7M (3)";
inline constexpr const char* kOutputV7M = "JPK_V7M (3)";
inline constexpr const char* kOutputBuchalter = "Buchalter";
inline constexpr const char* kOutputRamzes = "Ramzes";
InputFormat InputFormatFromText(std::string_view text);
OutputFormat OutputFormatFromText(std::string_view text);

// What lives as long as the converter: the "Tak wszyst." answer to the
// question about an empty KSeF reference.
struct ConverterState {
  bool alwaysMarkBfk = false;
};

// ---------------------------------------------------------------- JPK_FA -> JPK_V7M

// A new JPK_V7M document (header and subject from the firm profile, first
// submission) with one record per invoice of `input` (a sale when P_4B is
// the input's NIP, else a purchase), recalculated. Each record's empty KSeF
// reference goes through the KSeF question. Fails with kx::Error ("Brak
// faktur w pliku JPK_FA", "Brak NIP-u podatnika w pliku JPK_FA", ...).
jpk::v7m::IXMLJPK ConvertFaToV7M(AppContext& ctx, ConverterState& state, jpk::fa::IXMLJPKFA input);

// The output name: "JPK_FA_to_V7_" and the input file's name.
std::string FaToV7MFileName(const std::filesystem::path& inputFile);

// ---------------------------------------------------------------- JPK_V7M -> Buchalter

struct BuchalterCounts {
  int sales = 0;          // rows of B5SPEX
  int saleLines = 0;      // rows of B5ESEX
  int purchases = 0;      // rows of B5ZAEX
  int purchaseLines = 0;  // rows of B5EZEX
};

// The four tables B5SPEXyy, B5ESEXyy, B5ZAEXyy, B5EZEXyy.dbf in outputDir,
// each made from its empty template (FindDataFile "Buchalter/Empty/<base>.dbf")
// as a staged file of `staged`, filled from the records of `input`. Fails
// with kx::Error ("Brak elementu \"Ewidencja\" w pliku JPK", a missing
// template, a value too long for its field naming record, field and table).
BuchalterCounts ConvertV7MToBuchalter(AppContext& ctx, jpk::v7m::IXMLJPK input, const std::filesystem::path& outputDir,
                                      StagedFiles& staged);

// ---------------------------------------------------------------- JPK_V7M -> Ramzes

struct RamzesConversion {
  xml::XmlDocument document;
  int sales = 0;             // sales records written
  int purchasesLeftOut = 0;  // purchase records (the format has no purchase side)
};

// The Ramzes document of the sales records of `input`.
RamzesConversion ConvertV7MToRamzes(jpk::v7m::IXMLJPK input);
// The same records into an output (the file written record by record);
// the counts in the result, its document left empty.
RamzesConversion ConvertV7MToRamzes(jpk::v7m::IXMLJPK input, RamzesOutput& output);

// The output name: "JPKVAT_to_Ramzes_" and the input file's name.
std::string V7MToRamzesFileName(const std::filesystem::path& inputFile);

// ---------------------------------------------------------------- driver

struct ConversionRequest {
  std::string inputFormat;  // text of the input format box
  std::string inputFile;
  std::string outputFormat;  // text of the output format box
  std::string outputFolder;  // empty: the working folder
  // Given the documents the conversion held, once it succeeded, instead of
  // letting them go (the command line leaves them to the end of the program).
  std::function<void(xml::XmlDocument)> keep;
};

// The whole conversion run: the checks and their messages, loading with the
// prefix repair, the wrong-structure message, the chosen conversion, and the
// files moved into the output folder only at the end. Returns the completion
// text ("Zakończono konwersję\rSprawdź wygenerowane dane", for Ramzes with
// the number of purchase records left out); fails with kx::Error.
std::string RunConversion(AppContext& ctx, ConverterState& state, const ConversionRequest& request);

}  // namespace kx::convert
